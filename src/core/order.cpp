// src/core/order.cpp: the per-thread order of operations and its process default.
#include <matrix/order.h>

#include <cstdlib>
#include <cstring>

namespace kiv {
namespace matrix {

namespace {

// Read once, on first use by any thread: a change of the environment later
// in the process's life does not move threads between orders.
Order ProcessDefault() {
    static const Order order = [] {
        const char *text = std::getenv("RUL2MTRX_ORDER");
        return text != nullptr && std::strcmp(text, "fast") == 0 ? Order::kFast : Order::kStated;
    }();
    return order;
}

Order &ThreadOrder() {
    thread_local Order order = ProcessDefault();
    return order;
}

}  // namespace

void SetOrder(Order order) { ThreadOrder() = order; }

Order GetOrder() { return ThreadOrder(); }

}  // namespace matrix
}  // namespace kiv
