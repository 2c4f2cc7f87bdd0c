// src/mtrx/plot/render_none.cpp: the renderer of a build without PLplot (and
// of the fuzz build): figures stay in memory and nothing is written.
#include "plot/render.h"

#include <stdexcept>

namespace mtrx::plot {

bool CanRender() { return false; }

void Render(const Figure &, const std::string &, Format, double) {
    throw std::runtime_error("this mtrx was built without PLplot and cannot write figures");
}

}  // namespace mtrx::plot
