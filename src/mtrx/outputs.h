// src/mtrx/outputs.h: the contract of a call of a user function, shared by
// the evaluator and compiled programs: the counts it accepts and the
// outputs it gives back.
#ifndef MTRX_OUTPUTS_H
#define MTRX_OUTPUTS_H

#include "error.h"
#include "parser.h"
#include "value.h"

#include <algorithm>
#include <string>
#include <vector>

namespace mtrx {

/// Refuses a call of `f` with `count` arguments for `nargout` outputs.
inline void CheckCallCounts(const Function &f, std::size_t count, unsigned int nargout) {
    const std::size_t named = f.params.size() - (f.varargin ? 1 : 0);
    if (count > named && !f.varargin) throw Error("Too many input arguments for '" + f.name + "'");
    const bool varargout = !f.outputs.empty() && f.outputs.back() == "varargout";
    if (!varargout && nargout > std::max<std::size_t>(f.outputs.size(), 1))
        throw Error("Too many output arguments for '" + f.name + "'");
}

/// The outputs of a finished call of `f`: appended to `outs`, or the first
/// (when set) moved into `first`. `slot(s)` is the variable of the
/// function's slot s. Throws for an output the caller needs but `f` left
/// unset.
template <class Slot>
void CollectOutputs(const Function &f, Slot slot, unsigned int nargout, std::vector<Value> *outs,
                    Value *first) {
    const bool varargout = !f.outputs.empty() && f.outputs.back() == "varargout";
    const std::size_t namedOut = f.outputs.size() - (varargout ? 1 : 0);
    const std::size_t wanted =
        varargout ? (first ? 1 : std::max(nargout, 1u))
        : first   ? std::min<std::size_t>(1, f.outputs.size())
                  : std::min<std::size_t>(std::max(nargout, 1u), f.outputs.size());
    for (std::size_t k = 0; k < wanted; ++k) {
        if (k >= namedOut) {
            const Value &rest = slot(static_cast<std::size_t>(f.outputSlots.back()));
            const std::size_t j = k - namedOut;
            if (rest.IsUnset() || !rest.IsCell() || j >= rest.cell().items.size()) {
                if (k == 0 && nargout == 0) break;
                if (!rest.IsUnset() && !rest.IsCell())
                    throw Error("varargout of '" + f.name + "' must be a cell array");
                throw Error("Output argument 'varargout{" + std::to_string(j + 1) +
                            "}' is not assigned in '" + f.name + "'");
            }
            if (first)
                *first = rest.cell().items[j];
            else
                outs->push_back(rest.cell().items[j]);
            continue;
        }
        Value &v = slot(static_cast<std::size_t>(f.outputSlots[k]));
        if (v.IsUnset()) {
            if (k == 0 && nargout == 0) break;
            throw Error("Output argument '" + f.outputs[k] + "' is not assigned in '" + f.name +
                        "'");
        }
        if (first)
            *first = std::move(v);
        else
            outs->push_back(std::move(v));
    }
}

}  // namespace mtrx

#endif  // MTRX_OUTPUTS_H
