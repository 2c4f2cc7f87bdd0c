// tests/mtrx/registry_test.cpp: the built-in tables joined by the registry,
// the operator table they share with the evaluator, and the reader of
// option words and dimension arguments they share.
#include "arrays.h"
#include "lib/operators.h"
#include "lib/options.h"
#include "lib/registry.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

namespace {

TEST(MtrxRegistry, EveryEntryIsFoundUnderItsOwnNameOnce) {
    std::set<std::string> names;
    for (const mtrx::Library &library : mtrx::Libraries()) {
        ASSERT_GT(library.count, 0u) << library.name;
        for (std::size_t k = 0; k < library.count; ++k) {
            const mtrx::BuiltinEntry &e = library.entries[k];
            // A name in two tables would leave one entry unreachable.
            EXPECT_TRUE(names.insert(e.name).second) << e.name << " is in two tables";
            EXPECT_EQ(mtrx::FindBuiltin(e.name), &e) << e.name;
            EXPECT_LE(e.min_inputs, e.max_inputs) << e.name;
            EXPECT_NE(std::string(e.usage).find(e.name), std::string::npos)
                << e.name << ": the usage line shows the name";
            EXPECT_FALSE(std::string(e.help).empty()) << e.name;
        }
    }
    EXPECT_EQ(mtrx::FindBuiltin("no_such_builtin"), nullptr);
}

TEST(MtrxRegistry, OperatorFunctionsCallTheirOwnOperator) {
    // plus(1, 2) must be 1 + 2: each entry calls the row of the operator
    // table that its name says.
    const char *const binary[] = {"+", "-", "*", "/", "\\", "^", ".*", "./", ".\\",
                                  ".^", "|", "&", "==", "~=", "<", "<=", ">", ">="};
    for (const char *op : binary) {
        // The parser's operator and the table's row for it agree.
        const mtrx::Op parsed = mtrx::BinaryOp(op);
        ASSERT_NE(parsed, mtrx::Op::None) << op;
        const mtrx::BinaryOperator &o = mtrx::BinaryRow(parsed);
        EXPECT_STREQ(o.op, op);
        const mtrx::BuiltinEntry *e = mtrx::FindBuiltin(o.function);
        ASSERT_NE(e, nullptr) << o.function;
        EXPECT_EQ(std::string(e->help).find(std::string("A ") + op + " "), 0u)
            << o.function << " says it is " << e->help;
    }
    for (const char *op : {"-", "+", "~"}) {
        const mtrx::Op parsed = mtrx::UnaryOp(op);
        ASSERT_NE(parsed, mtrx::Op::None) << op;
        const mtrx::UnaryOperator &o = mtrx::UnaryRow(parsed);
        EXPECT_STREQ(o.op, op);
        const mtrx::BuiltinEntry *e = mtrx::FindBuiltin(o.function);
        ASSERT_NE(e, nullptr) << o.function;
        EXPECT_EQ(std::string(e->help), std::string(op) + "A.") << o.function;
    }
    for (const char *op : {"'", ".'"}) EXPECT_STREQ(mtrx::UnaryRow(mtrx::UnaryOp(op)).op, op);
    EXPECT_EQ(mtrx::BinaryOp("**"), mtrx::Op::None);
}

}  // namespace

namespace {

using mtrx::Value;

Value Word(const char *w) { return Value(mtrx::CharArray(w)); }

std::string MessageOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const std::exception &e) {
        return e.what();
    }
    return "";
}

TEST(MtrxOptionReader, MatchesWordsIgnoringCaseAndTakesThemOffTheBack) {
    const std::string name = "f";
    const std::vector<Value> values{Value(1.0), Word("all"), Word("OmitNaN"), Word("native"), Value(2.0)};
    const mtrx::Args args(values, name);
    EXPECT_EQ(mtrx::WordIndex(args, 2, {"includenan", "omitnan"}), 1);
    EXPECT_EQ(mtrx::WordIndex(args, 0, {"omitnan"}), -1);  // not text
    EXPECT_EQ(mtrx::WordIndex(args, 9, {"omitnan"}), -1);  // no such argument
    EXPECT_FALSE(mtrx::IsWord(args, 3, "nat"));
    // A number last ends the walk at once; without it, the words after
    // 'all' are taken and 'all' is left where take() refuses to take it.
    EXPECT_EQ(mtrx::TakeTrailingWords(args, 1, {"omitnan"}, [](int, std::size_t) { return true; }), 5u);
    const std::vector<Value> tail(values.begin(), values.end() - 1);
    const mtrx::Args words(tail, name);
    std::vector<int> seen;
    const std::size_t left = mtrx::TakeTrailingWords(words, 1, {"all", "omitnan"}, [&](int w, std::size_t) {
        seen.push_back(w);
        return w != 0;
    });
    EXPECT_EQ(left, 2u);
    EXPECT_EQ(seen, (std::vector<int>{-1, 1, 0}));
    EXPECT_EQ(MessageOf([&] { mtrx::RefuseOption(words, 3); }), "'f' does not take the option 'native'");
}

TEST(MtrxOptionReader, ReadsDimensionsAndRefusesTheRest) {
    const std::string name = "g";
    const std::vector<Value> values{Word("ALL"), Value(mtrx::Array(1, 2, std::vector<double>{3, 1})),
                                    Value(0.0), Value(mtrx::Array()), Value(2.5), Word("any")};
    const mtrx::Args args(values, name);
    EXPECT_TRUE(mtrx::GetDimensions(args, 0).all);
    EXPECT_EQ(mtrx::GetDimensions(args, 1).dims, (std::vector<unsigned int>{3, 1}));
    for (std::size_t k = 2; k < values.size(); ++k)
        EXPECT_EQ(MessageOf([&] { mtrx::GetDimensions(args, k); }),
                  "Argument " + std::to_string(k + 1) + " of 'g' must be a dimension, a vector of them or 'all'");
    EXPECT_EQ(mtrx::GetDimension(args, 9), 0u);
    EXPECT_EQ(MessageOf([&] { mtrx::GetDimension(args, 2); }), "Argument 3 of 'g' must be a positive whole number");
}

}  // namespace
