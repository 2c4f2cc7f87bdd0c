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

#include <exception>
#include <typeinfo>
#include <functional>
#include <initializer_list>
#include <string>
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
        e.m_match = [](std::exception_ptr thrown, std::string &message) {
            try {
                std::rethrow_exception(thrown);
            } catch (const E &caught) {
                message = Narrow(caught.GetMessage());
                return true;
            } catch (...) {
                return false;
            }
        };
        return e;
    }

    const std::string &Message() const { return m_message; }
    const std::string &ClassName() const { return m_className; }
    /// True when `thrown` is of the class; its message goes to `message`.
    bool Matches(std::exception_ptr thrown, std::string &message) const {
        return m_match(thrown, message);
    }

private:
    std::string m_message;
    std::string m_className;
    std::function<bool(std::exception_ptr, std::string &)> m_match;
};

/// Shorthand for the refusal every numerical function gives an operand of a
/// class or complexity it does not take.
Expected NotImplemented();

/// Expects `call` to throw `expected` (class and message), to leave no block
/// behind and every array in `unchanged` as it was. `what` names the case in
/// failure messages.
void ExpectRefusal(const std::function<void()> &call, const Expected &expected,
                   const std::vector<const CMatrix *> &unchanged, const std::string &what = "");

/// One row of a subsystem's refusal table.
struct Refusal {
    std::string what;
    std::function<void()> call;
    Expected expected;
    std::vector<const CMatrix *> unchanged;
};

/// Runs ExpectRefusal on every row.
void ExpectRefusals(const std::vector<Refusal> &table);

}  // namespace matrix_test

#endif  // MATRIX_TESTS_SUPPORT_REFUSAL_H
