// src/mtrx/display.h: the text of shown values (a statement without ';',
// display, disp) and the display state `format` sets.
#ifndef MTRX_DISPLAY_H
#define MTRX_DISPLAY_H

#include "value.h"

#include <matrix/display.h>

#include <ostream>
#include <string>
#include <vector>

namespace mtrx {

/// How values are shown: the number format and whether blank lines are
/// left out. The default is format short, loose.
struct DisplayState {
    kiv::matrix::NumberFormat format = kiv::matrix::NumberFormat::kShort;
    bool compact = false;

    /// The library's options for the session layout in this state.
    kiv::matrix::DisplayOptions Options() const {
        return {format, kiv::matrix::DisplayLayout::kSession, compact};
    }
};

/// Applies the words of a format command to `state`: none resets it to
/// short and loose; each of short, long, short e, long e (also shortE,
/// longE), short g, long g, rat, compact and loose sets its part, case
/// ignored. Throws mtrx::Error naming format and the word for an unknown
/// mode, leaving `state` unchanged.
void ApplyFormat(DisplayState &state, const std::vector<std::string> &words);

/// Shows `value` under `name` as a statement without ';' does: arrays, and
/// cells of arrays, as the library's session layout writes them; structs,
/// string arrays, handles and cells holding them in the same layout.
void Show(std::ostream &out, const std::string &name, const Value &value,
          const DisplayState &state);

/// Shows `value` as disp does: its value lines alone, without the name,
/// the class line or blank lines.
void ShowValue(std::ostream &out, const Value &value, const DisplayState &state);

}  // namespace mtrx

#endif  // MTRX_DISPLAY_H
