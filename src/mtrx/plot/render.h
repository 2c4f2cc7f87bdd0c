// src/mtrx/plot/render.h: turns a figure of the model into a picture file.
#ifndef MTRX_PLOT_RENDER_H
#define MTRX_PLOT_RENDER_H

#include "plot/figure.h"

#include <string>

namespace mtrx::plot {

enum class Format { kPng, kSvg, kPdf };

/// The width and height of a figure in inches: at 100 dots per inch a PNG
/// is 640 x 480 pixels.
constexpr double kFigureWidthInches = 6.4, kFigureHeightInches = 4.8;

/// True when this build can write pictures (it was built with PLplot).
bool CanRender();

/// Writes `figure` to the file `path` as `format`, a PNG at `dpi` dots per
/// inch. Throws std::runtime_error with a reason ("cannot write to
/// 'PATH'", a missing driver) and leaves no partial file it could avoid.
/// Not thread-safe: PLplot keeps its streams in process-wide state.
void Render(const Figure &figure, const std::string &path, Format format, double dpi);

/// The entry points of the PLplot renderer (plot/render_plplot.cpp): `render`
/// is Render's work once the renderer is loaded.
struct RenderModule {
    void (*render)(const Figure &figure, const std::string &path, Format format, double dpi);
};

}  // namespace mtrx::plot

/// The entry of the PLplot renderer: its mtrx::plot::RenderModule, which lives
/// as long as the process. Exported: the interpreter finds it with dlsym.
extern "C" __attribute__((visibility("default"))) const void *mtrx_plplot_module();

#endif  // MTRX_PLOT_RENDER_H
