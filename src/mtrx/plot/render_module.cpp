// src/mtrx/plot/render_module.cpp: the renderer of a build with PLplot:
// Render hands the figure to plot/render_plplot.cpp, a module loaded the
// first time a figure is written where modules are built.
#include "plot/render.h"

#include "modules.h"

namespace mtrx::plot {

bool CanRender() { return true; }

void Render(const Figure &figure, const std::string &path, Format format, double dpi) {
#ifdef MTRX_MODULES
    // The caller names its function in the message.
    const void *entry = LoadModule(Module::kPlplot, "", "drawing is not available");
    static_cast<const RenderModule *>(entry)->render(figure, path, format, dpi);
#else
    static_cast<const RenderModule *>(mtrx_plplot_module())->render(figure, path, format, dpi);
#endif
}

}  // namespace mtrx::plot
