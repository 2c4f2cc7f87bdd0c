// tests/install/function/caller.cpp: calls scaled.mtrx compiled by the
// installed `mtrx build --function`: its outputs, its errors as the
// library's exception with the interpreter's message, and the calling
// thread's order kept; and stored.mtrx, whose save and load load the
// workspace-file module of the installed tree.
#include "scaled.h"
#include "stored.h"

#include <matrix/order.h>

#include <cstdio>
#include <string>

namespace km = kiv::matrix;

static bool Fails(const km::Array &s, const std::string &message) {
    try {
        scaled(km::Array{1, 2}, s);
    } catch (const km::CFunctionErrorException &e) {
        if (e.what() == message) return true;
        std::printf("unexpected message: %s\n", e.what());
    }
    return false;
}

int main() {
    km::SetOrder(km::Order::kStated);
    const auto [y, label] = scaled(km::Array{1, 2, 3}, 2);
    const bool ok = y.Numel() == 3 && y.At(3) == 6.0 && label.Numel() == 8 &&
                    km::GetOrder() == km::Order::kStated &&
                    Fails(-1.0, "scaled: output 'label' is a cell; only arrays are returned to C++") &&
                    Fails(km::Array{1, 2}, "scaled: the factor must be a scalar") &&
                    stored(km::Array{1.5, -2}).Numel() == 2 && stored(km::Array{1.5, -2}).At(2) == -2.0;
    std::printf(ok ? "consumer ok\n" : "consumer failed\n");
    return ok ? 0 : 1;
}
