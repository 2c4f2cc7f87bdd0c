// tests/mtrx/registry_test.cpp: the built-in tables joined by the registry,
// and the operator table they share with the evaluator.
#include "lib/operators.h"
#include "lib/registry.h"

#include <gtest/gtest.h>

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
