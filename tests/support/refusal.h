// tests/support/refusal.h: the one check of a refused call.
//
// A refused call must throw the expected exception class with that class's
// message, leave no block behind and leave its arguments as they were. The
// message comes from the class itself (a default-constructed instance, or an
// instance the test builds for the classes that carry an argument), so each
// message is spelled out once in the tests: where the exception classes are
// pinned to their texts.
#ifndef MATRIX_TESTS_SUPPORT_REFUSAL_H
#define MATRIX_TESTS_SUPPORT_REFUSAL_H

#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "support/matrix_test.h"

namespace matrix_test {

/// An exception class and the message it must carry.
class Expected {
public:
    /// The class E with the message of `prototype`: a default-constructed E
    /// unless E's message depends on a constructor argument.
    template <typename E>
    static Expected Throws(const E &prototype = E()) {
        Expected e;
        e.m_message = Narrow(prototype.GetMessage());
        e.m_className = typeid(E).name();
        e.m_run = [](const std::function<void()> &call) -> std::string {
            try {
                call();
            } catch (const E &caught) {
                return "threw " + Narrow(caught.GetMessage());
            } catch (...) {
                return "threw another class";
            }
            return "did not throw";
        };
        return e;
    }

    const std::string &Message() const { return m_message; }
    const std::string &ClassName() const { return m_className; }
    /// Runs `call`; says whether it threw the class, and with what message.
    std::string Run(const std::function<void()> &call) const { return m_run(call); }

private:
    std::string m_message;
    std::string m_className;
    std::function<std::string(const std::function<void()> &)> m_run;
};

/// Shorthand for the refusal every numerical function gives an operand of a
/// class or complexity it does not take.
inline Expected NotImplemented() { return Expected::Throws<CNotImplementedException>(); }

/// Expects `call` to throw `expected` (class and message), to leave no block
/// behind and every array in `unchanged` as it was. `what` names the case in
/// failure messages.
inline void ExpectRefusal(const std::function<void()> &call, const Expected &expected,
                          const std::vector<const CMatrix *> &unchanged,
                          const std::string &what = "") {
    const Snapshots before(unchanged);
    const LiveBlocks blocks;
    EXPECT_EQ(expected.Run(call), "threw " + expected.Message())
        << what << ": expected " << expected.ClassName();
    EXPECT_EQ(blocks.Delta(), 0) << what << ": leaked";
    EXPECT_TRUE(before.Unchanged()) << what << ": changed an argument";
}

/// One row of a subsystem's refusal table.
struct Refusal {
    std::string what;
    std::function<void()> call;
    Expected expected;
    std::vector<const CMatrix *> unchanged;
};

/// Runs ExpectRefusal on every row.
inline void ExpectRefusals(const std::vector<Refusal> &table) {
    for (const Refusal &row : table) ExpectRefusal(row.call, row.expected, row.unchanged, row.what);
}

}  // namespace matrix_test

#endif  // MATRIX_TESTS_SUPPORT_REFUSAL_H
