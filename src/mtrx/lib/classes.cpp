// src/mtrx/lib/classes.cpp: the numeric classes: conversions to each, cast,
// the class tests and the limits of the integer classes.
#include "lib/options.h"
#include "lib/support.h"

#include "arrays.h"
#include "error.h"

#include <matrix/elementwise.h>

#include <cstdint>
#include <limits>
#include <string>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

struct NamedClass {
    const char *name;
    km::mxClassID id = km::mxClassDouble;
};

// The classes cast() and the conversion functions reach, by name.
constexpr NamedClass kClasses[] = {
    {"double", km::mxClassDouble}, {"single", km::mxClassSingle}, {"int8", km::mxClassInt8},
    {"uint8", km::mxClassUint8},   {"int16", km::mxClassInt16},   {"uint16", km::mxClassUint16},
    {"int32", km::mxClassInt32},   {"uint32", km::mxClassUint32}, {"int64", km::mxClassInt64},
    {"uint64", km::mxClassUint64}, {"char", km::mxClassChar},
};

// The class named `name`, or false.
bool ClassNamed(const std::string &name, km::mxClassID &id) {
    for (const NamedClass &c : kClasses) {
        if (name == c.name) {
            id = c.id;
            return true;
        }
    }
    return false;
}

bool IsIntegerClass(km::mxClassID id) {
    return id >= km::mxClassInt8 && id <= km::mxClassUint64;
}

// int8(x) ... uint64(x), single(x): the value converted, its logical flag
// dropped. The call's name is the class.
Outs Convert(const Args &args, BuiltinCall &c) {
    km::mxClassID id = km::mxClassDouble;
    ClassNamed(c.name, id);
    const Array &a = args.GetArray(0);
    if (IsCell(a)) args.Refuse(0, "a numeric, char or logical array");
    // The integer classes hold real values only: a complex value is refused
    // by name rather than silently losing its imaginary part.
    if (IsIntegerClass(id) && a.get()->IsComplex())
        throw Error(c.name + ": complex values cannot be converted to an integer class; use real() first");
    return {Array::Adopt(km::Cast(a.get(), id))};
}

// cast(x, 'class').
Outs CastBuiltin(const Args &args, BuiltinCall &) {
    const std::string name = args.GetText(1);
    km::mxClassID id = km::mxClassDouble;
    if (name == "logical") return {Array::Adopt(km::Logical(args.GetArray(0).get()))};
    if (!ClassNamed(name, id)) args.Refuse(1, "the name of a numeric class, char or logical");
    const Array &a = args.GetArray(0);
    if (IsCell(a)) args.Refuse(0, "a numeric, char or logical array");
    return {Array::Adopt(km::Cast(a.get(), id))};
}

// isa(x, 'class'): the class itself, or one of the groups 'numeric',
// 'float' and 'integer'.
Outs Isa(const Args &args, BuiltinCall &) {
    const std::string name = args.GetText(1);
    const std::string own = args[0].ClassName();
    if (name == own) return {Logical(true)};
    km::mxClassID id = km::mxClassDouble;
    const bool numeric = ClassNamed(own, id) && id != km::mxClassChar;
    if (name == "numeric") return {Logical(numeric)};
    if (name == "float") return {Logical(numeric && !IsIntegerClass(id))};
    if (name == "integer") return {Logical(numeric && IsIntegerClass(id))};
    if (name == "MException") {
        // The error records of a catch and of MException.
        const Value &v = args[0];
        if (!v.IsStruct() || Count(v.structure().dims) != 1) return {Logical(false)};
        const StructArray &r = v.structure();
        return {Logical(r.Field("message") >= 0 && r.Field("identifier") >= 0 &&
                        r.Field("stack") >= 0)};
    }
    return {Logical(false)};
}

template <bool kInteger>
Outs IsKind(const Args &args, BuiltinCall &) {
    km::mxClassID id = km::mxClassDouble;
    if (!ClassNamed(args[0].ClassName(), id) || id == km::mxClassChar) return {Logical(false)};
    return {Logical(IsIntegerClass(id) == kInteger)};
}

// intmax('class') and intmin('class'), int32 when no class is named;
// intmax('like', p) takes the class of p.
template <bool kMax>
Outs IntegerLimit(const Args &args, BuiltinCall &) {
    const bool like = args.size() == 2;
    if (like && !IsWord(args, 0, "like")) args.Refuse(0, "'like' before an integer array");
    const std::string name = like ? args[1].ClassName() : args.GetText(0, "int32");
    km::mxClassID id = km::mxClassDouble;
    if (!ClassNamed(name, id) || !IsIntegerClass(id))
        args.Refuse(like ? 1 : 0, like ? "an integer array" : "the name of an integer class");
    double value = 0;
    switch (id) {
        case km::mxClassInt8: value = kMax ? 127.0 : -128.0; break;
        case km::mxClassUint8: value = kMax ? 255.0 : 0.0; break;
        case km::mxClassInt16: value = kMax ? 32767.0 : -32768.0; break;
        case km::mxClassUint16: value = kMax ? 65535.0 : 0.0; break;
        case km::mxClassInt32: value = kMax ? 2147483647.0 : -2147483648.0; break;
        case km::mxClassUint32: value = kMax ? 4294967295.0 : 0.0; break;
        // 2^63 and 2^64 saturate to the 64-bit limits exactly.
        case km::mxClassInt64: value = kMax ? 9223372036854775808.0 : -9223372036854775808.0; break;
        default: value = kMax ? 18446744073709551616.0 : 0.0; break;
    }
    const Array limit(value);
    return {Array::Adopt(km::Cast(limit.get(), id))};
}

}  // namespace

Library ClassesLibrary() {
    static const BuiltinEntry kEntries[] = {
        {"single", Convert, 1, 1, 1, "single(x)", "x in single precision."},
        {"int8", Convert, 1, 1, 1, "int8(x)",
         "x as 8-bit integers: rounded half away from zero, saturated, NaN as 0."},
        {"uint8", Convert, 1, 1, 1, "uint8(x)", "x as unsigned 8-bit integers, as int8 rounds."},
        {"int16", Convert, 1, 1, 1, "int16(x)", "x as 16-bit integers, as int8 rounds."},
        {"uint16", Convert, 1, 1, 1, "uint16(x)", "x as unsigned 16-bit integers."},
        {"int32", Convert, 1, 1, 1, "int32(x)", "x as 32-bit integers, as int8 rounds."},
        {"uint32", Convert, 1, 1, 1, "uint32(x)", "x as unsigned 32-bit integers."},
        {"int64", Convert, 1, 1, 1, "int64(x)", "x as 64-bit integers, as int8 rounds."},
        {"uint64", Convert, 1, 1, 1, "uint64(x)", "x as unsigned 64-bit integers."},
        {"cast", CastBuiltin, 2, 2, 1, "cast(x, 'class')",
         "x converted to a numeric class, char or logical, as the conversion of that name does."},
        {"isa", Isa, 2, 2, 1, "isa(x, 'class')",
         "True when x is of the class, or of the group 'numeric', 'float' or 'integer'."},
        {"isinteger", IsKind<true>, 1, 1, 1, "isinteger(x)", "True for an integer class."},
        {"isfloat", IsKind<false>, 1, 1, 1, "isfloat(x)", "True for double or single."},
        {"intmax", IntegerLimit<true>, 0, 2, 1, "intmax, intmax('class'), intmax('like', p)",
         "The largest value of an integer class (int32 by default)."},
        {"intmin", IntegerLimit<false>, 0, 2, 1, "intmin, intmin('class'), intmin('like', p)",
         "The smallest value of an integer class (int32 by default)."},
    };
    return {"classes", "Numeric classes: conversions, cast and class tests", kEntries,
            std::size(kEntries)};
}

}  // namespace mtrx
