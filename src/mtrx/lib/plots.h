// src/mtrx/lib/plots.h: what the plot built-ins share: the session's
// figures, numbers out of arguments, and properties given as name-value
// pairs.
#ifndef MTRX_LIB_PLOTS_H
#define MTRX_LIB_PLOTS_H

#include "lib/support.h"
#include "plot/figure.h"

#include <string>
#include <vector>

namespace mtrx {

/// The figures of the running session.
plot::FigureSet &FiguresOf(BuiltinCall &c);

/// The elements of numeric or logical argument k as doubles, column-major
/// (the real parts of a complex array). Refuses text and other values.
std::vector<double> Numbers(const Args &args, std::size_t k);

/// Sets `property` of a series from its value, as 'LineWidth', 'Color',
/// 'MarkerSize', 'DisplayName', 'LineStyle', 'Marker' (any case). Throws
/// "'NAME': unknown property 'P'" and refuses a bad value.
void SetSeriesProperty(plot::Series &s, const std::string &property, const Value &value,
                       const std::string &name);

/// Applies the name-value pairs of args[first..] to each of `series`.
void ApplyPairs(const Args &args, std::size_t first, std::vector<plot::Series> &series);

/// The colour of a value: a letter or name, or three numbers in [0, 1].
plot::Color ColorValue(const Value &value, const std::string &name);

/// Session::WriteUnsavedFigures: every unsaved figure with axes as
/// FOLDER/figureN.png.
std::vector<std::string> WriteUnsavedFigures(Evaluator &evaluator, const std::string &folder);

/// The handles of series as a column of doubles (empty when none).
Value Handles(const std::vector<double> &handles);

}  // namespace mtrx

#endif  // MTRX_LIB_PLOTS_H
