// tests/mtrx/session_test.cpp: the prompt's completeness check, the run
// limits and interrupts.
#include "session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

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
        {"function y = f(x)", true},
        {"function y = f(x)\ny = x;", true},
        {"function y = f(x)\n  if x, y = 1; end", true},
        {"function y = f(x)\ny = x;\nend", false},
        {"function y = f(x), y = x; end", false},
        {"function f\nfunction g", false},
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
        // Callbacks of built-ins run no statement: each call is a step.
        "try, ode45(@(t, y) -1e6*y, [0 1e6], 1), catch, end",
        "arrayfun(@(x) x, zeros(1, 1e6));",
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

TEST(MtrxSession, StepLimitIsExactAndCountsEachRunAfresh) {
    // Three statements: a limit of 3 lets every run through, 2 stops the
    // third statement before it shows anything.
    const char *const program = "x = 1; x = 2; disp(x)";
    for (const std::uint64_t limit : {3, 2}) {
        std::ostringstream out;
        mtrx::Limits limits;
        limits.max_steps = limit;
        mtrx::Session session(out, limits);
        for (int run = 0; run < 2; ++run) {
            try {
                session.Run(program);
                EXPECT_EQ(limit, 3u) << "run " << run << " passed a limit of " << limit;
            } catch (const mtrx::ScriptError &e) {
                EXPECT_EQ(limit, 2u) << e.what();
                EXPECT_STREQ(e.what(), "Step limit reached");
            }
        }
        EXPECT_EQ(out.str(), limit == 3 ? "     2\n     2\n" : "");
    }
}

// Display text that asks for an interrupt as soon as anything is shown, as a
// Ctrl-C during the program's first output would.
class InterruptOnOutput : public std::stringbuf {
public:
    bool armed = false;

protected:
    std::streamsize xsputn(const char *s, std::streamsize n) override {
        if (armed) mtrx::Interrupt();
        return std::stringbuf::xsputn(s, n);
    }
    int_type overflow(int_type c) override {
        if (armed) mtrx::Interrupt();
        return std::stringbuf::overflow(c);
    }
};

TEST(MtrxSession, InterruptStopsTheProgramAndKeepsTheWorkspace) {
    InterruptOnOutput buffer;
    std::ostream out(&buffer);
    mtrx::Session session(out);
    session.Run("x = 5; n = 0;");
    // A loop, a loop inside try/catch and a recursion each stop at the
    // first step after their first output.
    const char *const programs[] = {
        "while true, n = n + 1; disp(n), end",
        "try, while true, n = n + 1; disp(n), end, catch, disp('caught'), end",
        "f(1)\nfunction f(k), disp(k), f(k + 1), end",
    };
    for (const char *program : programs) {
        buffer.str("");
        buffer.armed = true;
        try {
            session.Run(program);
            ADD_FAILURE() << program << " ran to the end";
        } catch (const mtrx::Interrupted &e) {
            EXPECT_STREQ(e.what(), "Operation terminated by user") << program;
        }
        buffer.armed = false;
        EXPECT_EQ(mtrx::TakeInterrupt(), false) << program << ": the request was not taken";
    }
    EXPECT_EQ(buffer.str(), "     1\n");
    // The workspace survives, and the next program runs to its end.
    buffer.str("");
    session.Run("disp([x, n])");
    EXPECT_EQ(buffer.str(), "     5     2\n");
}

TEST(MtrxSession, InterruptFromAnotherThreadStopsAnEndlessLoop) {
    std::ostringstream out;
    mtrx::Session session(out);
    std::thread interrupter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        mtrx::Interrupt();
    });
    EXPECT_THROW(session.Run("x = 1; while true, x = x + 1; end"), mtrx::Interrupted);
    interrupter.join();
    session.Run("disp(x > 1)");
    EXPECT_EQ(out.str(), "   1\n");
}

}  // namespace

TEST(MtrxSession, ExitEndsTheRunWithItsStatusPastTryCatch) {
    std::ostringstream out;
    mtrx::Session session(out);
    try {
        session.Run("x = 1;\ntry\n  exit(7)\ncatch\n  x = 2;\nend\nx = 3;");
        ADD_FAILURE() << "exit did not end the run";
    } catch (const mtrx::Exit &e) {
        EXPECT_EQ(e.Status(), 7);
        EXPECT_EQ(e.Line(), 3);
    }
    // The workspace keeps what ran before exit, and the session goes on.
    session.Run("disp(x)");
    EXPECT_EQ(out.str(), "     1\n");
}

TEST(MtrxSession, ClearedNamesAreLookedUpAgain) {
    // A statement run many times caches where its names live; clear must
    // make those caches look again, in the base workspace and in a call.
    std::ostringstream out;
    mtrx::Session session(out);
    session.Run(
        "for k = 1:3\n"
        "  if k == 2, clear v, end\n"
        "  try, disp(v), catch, disp('none'), end\n"
        "  v = k * 10;\n"
        "end\n"
        "f(2)\n"
        "function f(n)\n"
        "  for k = 1:n, w = k; clear w, w = -k; disp(w), end\n"
        "end");
    EXPECT_EQ(out.str(), "none\nnone\n    20\n    -1\n    -2\n");
}

TEST(MtrxSession, CallSitesFindTheFunctionAgainAfterClearFunctions) {
    // A call site keeps the function it found until the function files are
    // forgotten: a file changed on disk is read again after clear functions
    // (and clear all), by the same site as by a new one.
    const std::string folder = ::testing::TempDir();
    const std::string file = folder + "/site_cache_probe.mtrx";
    const auto write = [&](const char *body) {
        std::ofstream(file) << "function r = site_cache_probe()\n  r = " << body << ";\nend\n";
    };
    write("1");
    std::ostringstream out;
    mtrx::Session session(out);
    const std::string loop = "for k = 1:2, disp(site_cache_probe()), if k == 1, " + std::string("%s") +
                             " end, end";
    const auto run = [&](const std::string &between) {
        std::string source = loop;
        source.replace(source.find("%s"), 2, between);
        session.Run(source, folder + "/caller.mtrx");
    };
    run("write_nothing = 0;");
    EXPECT_EQ(out.str(), "     1\n     1\n");
    out.str("");
    write("2");
    run("write_nothing = 0;");  // the file is not read again by itself
    EXPECT_EQ(out.str(), "     1\n     1\n");
    out.str("");
    write("3");
    run("clear functions,");
    EXPECT_EQ(out.str(), "     1\n     3\n");
    out.str("");
    write("4");
    run("clear all,");
    EXPECT_EQ(out.str(), "     3\n     4\n");
    std::remove(file.c_str());
}

TEST(MtrxSession, PauseDoesNotWaitInABoundedRun) {
    std::ostringstream out;
    mtrx::Limits limits;
    limits.max_steps = 100;
    mtrx::Session session(out, limits);
    const auto start = std::chrono::steady_clock::now();
    session.Run("pause(30), pause, disp('done')");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(out.str(), "done\n");
}
