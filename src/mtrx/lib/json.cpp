// src/mtrx/lib/json.cpp: jsonencode and jsondecode, through nlohmann/json
// when the build found it (MTRX_JSON); without it both say so when called.
#include "lib/support.h"
#include "text.h"

#include <cmath>
#include <string>

#ifdef MTRX_JSON
#include <nlohmann/json.hpp>
#endif

namespace mtrx {

namespace km = kiv::matrix;

namespace {

#ifdef MTRX_JSON

using Json = nlohmann::ordered_json;

// A number: whole values below 2^53 as integers, so that they print without
// a fraction; NaN and Inf as null.
Json Number(double x) {
    if (std::isnan(x) || std::isinf(x)) return nullptr;
    if (x == std::floor(x) && std::fabs(x) < 9007199254740992.0)
        return static_cast<std::int64_t>(x);
    return x;
}

// The element k (column-major) of a real array as JSON: logical as a
// boolean, others as a number.
Json Element(const Array &d, bool logical, std::size_t k) {
    const double x = d.Data()[k];
    if (logical) return x != 0;
    return Number(x);
}

// The elements of dims[axis...] from offset `base`, nested by dimension,
// first dimension outermost.
Json Nested(const Array &d, bool logical, const Dims &dims, std::size_t axis, std::size_t base,
            std::size_t stride) {
    Json out = Json::array();
    for (unsigned int i = 0; i < dims[axis]; ++i) {
        const std::size_t at = base + i * stride;
        if (axis + 1 == dims.size()) {
            out.push_back(Element(d, logical, at));
        } else {
            out.push_back(Nested(d, logical, dims, axis + 1, at, stride * dims[axis]));
        }
    }
    return out;
}

Json Encode(const Value &v, const std::string &who);

Json EncodeArray(const Array &a, const std::string &who) {
    if (IsComplex(a)) throw Error("'" + who + "' cannot encode complex numbers");
    Dims dims;
    for (unsigned int k = 0; k < a.NDims(); ++k) dims.push_back(a.get()->GetDimensions()[k]);
    if (IsChar(a)) {
        // A char row is a string; a char matrix an array of its rows.
        if (dims.size() == 2 && dims[0] <= 1) return Text(a);
        Json rows = Json::array();
        const unsigned int m = dims[0];
        for (unsigned int i = 1; i <= m; ++i)
            rows.push_back(Text(a(km::Subscript(i), km::Subscript(km::All))));
        return rows;
    }
    const bool logical = a.get()->IsLogical();
    const Array d = Array::Adopt(km::Cast(a.get(), km::mxClassDouble));
    const std::size_t n = d.Numel();
    if (n == 0) return Json::array();
    if (n == 1) return Element(d, logical, 0);
    // A vector is one array, whichever way it lies.
    std::size_t longAxes = 0;
    for (unsigned int len : dims) longAxes += len > 1;
    if (longAxes == 1) {
        Json out = Json::array();
        for (std::size_t k = 0; k < n; ++k) out.push_back(Element(d, logical, k));
        return out;
    }
    return Nested(d, logical, dims, 0, 0, 1);
}

Json Encode(const Value &v, const std::string &who) {
    switch (v.tag()) {
        case Tag::Cell: {
            Json out = Json::array();
            for (const Value &item : v.cell().items) out.push_back(Encode(item, who));
            return out;
        }
        case Tag::Struct: {
            const StructArray &s = v.structure();
            const std::size_t n = Count(s.dims);
            Json all = Json::array();
            for (std::size_t e = 0; e < n; ++e) {
                Json object = Json::object();
                for (std::size_t f = 0; f < s.fields.size(); ++f)
                    object[s.fields[f]] = Encode(s.At(e, f), who);
                all.push_back(std::move(object));
            }
            if (n == 1 && s.dims.size() == 2 && s.dims[0] == 1 && s.dims[1] == 1) return all[0];
            return all;
        }
        case Tag::String: {
            const StringArray &s = v.strings();
            if (s.items.size() == 1) return s.items[0];
            Json out = Json::array();
            for (const std::string &t : s.items) out.push_back(t);
            return out;
        }
        case Tag::Handle:
            throw Error("'" + who + "' cannot encode a function handle");
        default:
            return EncodeArray(v.array(), who);
    }
}

// Outs of jsonencode(value, 'PrettyPrint', tf, 'ConvertInfAndNaN', true).
Outs Jsonencode(const Args &args, BuiltinCall &c) {
    bool pretty = false;
    for (std::size_t k = 1; k < args.size(); k += 2) {
        if (!args.IsText(k)) args.Refuse(k, "an option name");
        const std::string option = args.GetText(k);
        if (!args.Has(k + 1)) throw Error("'jsonencode': the option '" + option + "' needs a value");
        if (option == "PrettyPrint") {
            pretty = args.GetScalar(k + 1) != 0;
        } else if (option == "ConvertInfAndNaN") {
            if (args.GetScalar(k + 1) == 0)
                throw Error("'jsonencode' writes NaN and Inf only as null");
        } else {
            throw Error("'jsonencode': unknown option '" + option +
                        "': use 'PrettyPrint' or 'ConvertInfAndNaN'");
        }
    }
    const Json json = Encode(args[0], c.name);
    return {Value(CharArray(json.dump(pretty ? 2 : -1)))};
}

// A struct field name from a JSON key: characters a name cannot hold become
// '_', and one that does not start with a letter gets an 'x' in front.
std::string FieldName(const std::string &key) {
    std::string name;
    for (char ch : key)
        name += std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' ? ch : '_';
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) name = "x" + name;
    return name.substr(0, 63);
}

Value Decode(const Json &j);

// A column of the numbers of a JSON array of numbers and nulls (NaN).
Array NumberColumn(const Json &j) {
    Array out = Array::Zeros(static_cast<unsigned int>(j.size()), 1);
    double *d = out.MutableData().begin();
    std::size_t k = 0;
    for (const Json &x : j) d[k++] = x.is_null() ? std::nan("") : x.get<double>();
    return out;
}

bool AllNumbers(const Json &j) {
    bool any = false;
    for (const Json &x : j) {
        if (!x.is_number() && !x.is_null()) return false;
        any = any || x.is_number();
    }
    return any;
}

Value Decode(const Json &j) {
    if (j.is_null()) return Value();
    if (j.is_boolean()) return Value(Logical(j.get<bool>()));
    if (j.is_number()) return Value(j.get<double>());
    if (j.is_string()) return Value(CharArray(j.get<std::string>()));
    if (j.is_object()) {
        StructArray s;
        for (auto it = j.begin(); it != j.end(); ++it) {
            const std::size_t f = s.AddField(FieldName(it.key()));
            s.values[f] = Decode(it.value());
        }
        return Value(std::move(s));
    }
    // Arrays.
    if (j.empty()) return Value();
    if (AllNumbers(j)) return Value(NumberColumn(j));
    const std::size_t n = j.size();
    bool booleans = true, rows = true, objects = true;
    for (const Json &x : j) {
        booleans = booleans && x.is_boolean();
        rows = rows && x.is_array() && AllNumbers(x) && x.size() == j[0].size();
        objects = objects && x.is_object();
    }
    if (booleans) {
        Array out = Array::Zeros(static_cast<unsigned int>(n), 1);
        for (std::size_t k = 0; k < n; ++k) out.MutableData().begin()[k] = j[k].get<bool>();
        km::mxSetLogical(out.get());
        return Value(out);
    }
    if (rows) {
        // Arrays of numbers of one length are the rows of a matrix.
        const std::size_t m = j[0].size();
        Array out = Array::Zeros(static_cast<unsigned int>(n), static_cast<unsigned int>(m));
        double *d = out.MutableData().begin();
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t k = 0; k < m; ++k)
                d[k * n + i] = j[i][k].is_null() ? std::nan("") : j[i][k].get<double>();
        return Value(out);
    }
    if (objects) {
        // Objects with the same keys in the same order make a struct array.
        std::vector<std::string> keys;
        for (auto it = j[0].begin(); it != j[0].end(); ++it) keys.push_back(it.key());
        bool same = true;
        for (const Json &x : j) {
            std::size_t k = 0;
            for (auto it = x.begin(); same && it != x.end(); ++it, ++k)
                same = k < keys.size() && it.key() == keys[k];
            same = same && k == keys.size();
        }
        if (same) {
            StructArray s;
            s.dims = {static_cast<unsigned int>(n), 1};
            for (const std::string &key : keys) s.fields.push_back(FieldName(key));
            for (const Json &x : j)
                for (auto it = x.begin(); it != x.end(); ++it) s.values.push_back(Decode(it.value()));
            return Value(std::move(s));
        }
    }
    CellArray cell;
    cell.dims = {static_cast<unsigned int>(n), 1};
    for (const Json &x : j) cell.items.push_back(Decode(x));
    return Value(std::move(cell));
}

Outs Jsondecode(const Args &args, BuiltinCall &) {
    if (!args.IsText(0)) args.Refuse(0, "JSON text");
    const std::string text = args.GetText(0);
    Json json;
    try {
        // Nesting deeper than the interpreter's values can hold is refused
        // by the parser's own limit on recursion through the callback.
        json = Json::parse(text, [](int depth, Json::parse_event_t, Json &) {
            if (depth > 200) throw Error("'jsondecode': the text nests deeper than 200 levels");
            return true;
        });
    } catch (const Json::exception &e) {
        std::string what = e.what();
        const std::size_t bracket = what.find("] ");
        if (bracket != std::string::npos) what = what.substr(bracket + 2);
        throw Error("'jsondecode': the text is not valid JSON: " + what);
    }
    return {Decode(json)};
}

#else

Outs Jsonencode(const Args &, BuiltinCall &) {
    throw Error("'jsonencode' is unavailable: mtrx was built without nlohmann/json");
}

Outs Jsondecode(const Args &, BuiltinCall &) {
    throw Error("'jsondecode' is unavailable: mtrx was built without nlohmann/json");
}

#endif

const BuiltinEntry kEntries[] = {
    {"jsonencode", Jsonencode, 1, kAny, 1, "text = jsonencode(value, 'PrettyPrint', true)",
     "JSON text of numbers, logicals, text, cells and structs (NaN and Inf as null)."},
    {"jsondecode", Jsondecode, 1, 1, 1, "value = jsondecode(text)",
     "The value of JSON text: objects as structs, arrays as columns, matrices, struct arrays "
     "or cells, null as []."},
};

}  // namespace

Library JsonLibrary() {
    return {"json", "JSON text", kEntries, sizeof kEntries / sizeof kEntries[0]};
}

}  // namespace mtrx
