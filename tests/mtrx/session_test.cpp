// tests/mtrx/session_test.cpp: the prompt's completeness check and the run limits.
#include "session.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

TEST(MtrxSession, NeedsMoreInputOnlyForUnfinishedPrograms) {
    const struct {
        const char *source;
        bool more;
    } rows[] = {
        {"x = 1", false},
        {"for i = 1:3", true},
        {"if x, y = 1", true},
        {"x = [1 2", true},
        {"f(1,", true},
        {"x = (1 + ", true},
        {"x = 1 +* 2", false},
        {"end", false},
        {"function y = f(x)", false},
        {"try, x = 1", true},
        {"switch x, case 1", true},
        {"", false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(mtrx::NeedsMoreInput(row.source), row.more) << row.source;
}

TEST(MtrxSession, LimitsEndEveryRunAndEscapeTryCatch) {
    const char *const programs[] = {
        "while true, end",
        "while true, try, x = 1; catch, end, end",
        "for i = 1:1e6, end",
        "f(1)\nfunction f(n), f(n), end",
    };
    for (const char *program : programs) {
        std::ostringstream out;
        mtrx::Limits limits;
        limits.max_steps = 10000;
        limits.max_call_depth = 32;
        mtrx::Session session(out, limits);
        try {
            session.Run(program);
            ADD_FAILURE() << program << " ran to the end";
        } catch (const mtrx::ScriptError &e) {
            const std::string message = e.what();
            EXPECT_TRUE(message == "Step limit reached" ||
                        message == "Maximum recursion depth of 32 reached in 'f'")
                << program << ": " << message;
        }
    }
}

}  // namespace
