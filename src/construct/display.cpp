// src/construct/display.cpp: a plain rendering of arrays, until the full formatter lands.
#include <matrix/display.h>
#include <matrix/mx.h>

#include <cstdio>

namespace kiv {
namespace matrix {

std::string DisplayText(const CMatrix *a, const std::string &name) {
    std::string text;
    if (!name.empty()) text += name + " =\n\n";
    const unsigned int m = a->GetDimensions()[0];
    const unsigned int n = m ? a->GetNoElems() / m : 0;
    if (!a->IsDouble() || a->IsComplex() || a->GetNoElems() == 0) {
        text += "   []\n\n";
        return text;
    }
    const double *pr = mxGetPr(a);
    char cell[32];
    for (unsigned int i = 0; i < m; ++i) {
        for (unsigned int j = 0; j < n; ++j) {
            std::snprintf(cell, sizeof cell, " %10.4g", pr[static_cast<std::size_t>(j) * m + i]);
            text += cell;
        }
        text += '\n';
    }
    text += '\n';
    return text;
}

}  // namespace matrix
}  // namespace kiv
