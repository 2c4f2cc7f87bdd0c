// src/mtrx/lib/workspace_hdf5.cpp: workspace files read and written through
// the HDF5 C library (the layout: docs/hdf5-layout.md). lib/workspace_files.cpp
// parses the arguments of save, load and whos -file and calls the entry
// points here: built as a module of its own (mtrx_hdf5.so) that mtrx and
// compiled programs load the first time a workspace file is used, or into the
// interpreter where modules are not built (the fuzz build).
#include "lib/workspace_files.h"

#include "evaluator.h"
#include "lib/files.h"
#include "text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include <unistd.h>

#include <hdf5.h>

namespace mtrx {

namespace km = kiv::matrix;
namespace fs = std::filesystem;

namespace {
// Files of the fuzz build that load may read: the images save wrote in this
// process. Generated programs can write any bytes to a file, and the HDF5
// library is not built to meet hostile files; the round trips stay tested.
#ifdef MTRX_FILE_SANDBOX
std::set<std::size_t> &SavedImages() {
    static std::set<std::size_t> images;
    return images;
}

// The bytes of the numbers and texts of `v`: charged before a save writes,
// so that the fuzz build's limit holds before the disk fills.
std::size_t PayloadBytes(const Value &v) {
    std::size_t sum = 0;
    switch (v.tag()) {
        case Tag::Cell:
            for (const Value &item : v.cell().items) sum += PayloadBytes(item);
            return sum;
        case Tag::Struct:
            for (const Value &item : v.structure().values) sum += PayloadBytes(item);
            return sum;
        case Tag::String:
            for (const std::string &t : v.strings().items) sum += t.size();
            return sum;
        case Tag::Handle:
            for (const Value &item : v.handle().captured)
                if (!item.IsUnset()) sum += PayloadBytes(item);
            return sum;
        case Tag::Unset: return 0;
        default: {
            const km::CMatrix *m = v.array().get();
            return std::size_t(m->GetNoElems()) * m->GetElementSize() * (m->IsComplex() ? 2 : 1);
        }
    }
}
#endif

// How deep cells, structs and captured values may nest in a file: a file
// whose groups link back to their parents must not recurse without end.
constexpr int kMaxDepth = 200;

// One HDF5 identifier, closed by the function of its kind when it dies.
class Hid {
public:
    Hid() = default;
    Hid(hid_t id, herr_t (*close)(hid_t)) : m_id(id), m_close(close) {}
    Hid(const Hid &) = delete;
    Hid &operator=(const Hid &) = delete;
    Hid(Hid &&o) noexcept : m_id(o.m_id), m_close(o.m_close) { o.m_id = -1; }
    Hid &operator=(Hid &&o) noexcept {
        if (this != &o) {
            Reset();
            m_id = o.m_id;
            m_close = o.m_close;
            o.m_id = -1;
        }
        return *this;
    }
    ~Hid() { Reset(); }
    hid_t get() const { return m_id; }
    bool ok() const { return m_id >= 0; }
    // Gives up the identifier, to close it by hand and see the result.
    hid_t Release() {
        const hid_t id = m_id;
        m_id = -1;
        return id;
    }

private:
    void Reset() {
        if (m_id >= 0 && m_close) m_close(m_id);
        m_id = -1;
    }
    hid_t m_id = -1;
    herr_t (*m_close)(hid_t) = nullptr;
};

// The library prints its own error stack unless told not to; our messages
// say what failed.
void QuietLibrary() {
    static const bool quiet = [] {
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
        return true;
    }();
    (void)quiet;
}

// Who is working on which file, for the messages.
struct Io {
    std::string who;
    std::string file;
    [[noreturn]] void Fail(const std::string &what) const {
        throw Error("'" + who + "': " + what + " ('" + file + "')");
    }
};

// The memory and file types of a numeric class or char; -1 for the others.
hid_t MemoryType(km::mxClassID id) {
    switch (id) {
        case km::mxClassDouble: return H5T_NATIVE_DOUBLE;
        case km::mxClassSingle: return H5T_NATIVE_FLOAT;
        case km::mxClassInt8: return H5T_NATIVE_INT8;
        case km::mxClassUint8: return H5T_NATIVE_UINT8;
        case km::mxClassInt16: return H5T_NATIVE_INT16;
        case km::mxClassUint16: return H5T_NATIVE_UINT16;
        case km::mxClassInt32: return H5T_NATIVE_INT32;
        case km::mxClassUint32: return H5T_NATIVE_UINT32;
        case km::mxClassInt64: return H5T_NATIVE_INT64;
        case km::mxClassUint64: return H5T_NATIVE_UINT64;
        case km::mxClassChar: return H5T_NATIVE_UINT16;
        default: return -1;
    }
}

hid_t FileType(km::mxClassID id) {
    switch (id) {
        case km::mxClassDouble: return H5T_IEEE_F64LE;
        case km::mxClassSingle: return H5T_IEEE_F32LE;
        case km::mxClassInt8: return H5T_STD_I8LE;
        case km::mxClassUint8: return H5T_STD_U8LE;
        case km::mxClassInt16: return H5T_STD_I16LE;
        case km::mxClassUint16: return H5T_STD_U16LE;
        case km::mxClassInt32: return H5T_STD_I32LE;
        case km::mxClassUint32: return H5T_STD_U32LE;
        case km::mxClassInt64: return H5T_STD_I64LE;
        case km::mxClassUint64: return H5T_STD_U64LE;
        case km::mxClassChar: return H5T_STD_U16LE;
        default: return -1;
    }
}

// The class a real numeric HDF5 type reads as: floats of 4 and 8 bytes,
// integers of 1 to 8; mxClassNone for any other.
km::mxClassID ClassOfType(hid_t type) {
    const H5T_class_t kind = H5Tget_class(type);
    const std::size_t size = H5Tget_size(type);
    if (kind == H5T_FLOAT) {
        if (size == 8) return km::mxClassDouble;
        if (size == 4) return km::mxClassSingle;
        return km::mxClassNone;
    }
    if (kind != H5T_INTEGER) return km::mxClassNone;
    const bool sign = H5Tget_sign(type) == H5T_SGN_2;
    switch (size) {
        case 1: return sign ? km::mxClassInt8 : km::mxClassUint8;
        case 2: return sign ? km::mxClassInt16 : km::mxClassUint16;
        case 4: return sign ? km::mxClassInt32 : km::mxClassUint32;
        case 8: return sign ? km::mxClassInt64 : km::mxClassUint64;
        default: return km::mxClassNone;
    }
}

// The class of a numeric or char class name; mxClassNone for others.
km::mxClassID NumericClass(const std::string &name) {
    static const std::pair<const char *, km::mxClassID> kClasses[] = {
        {"double", km::mxClassDouble}, {"single", km::mxClassSingle}, {"int8", km::mxClassInt8},
        {"uint8", km::mxClassUint8},   {"int16", km::mxClassInt16},   {"uint16", km::mxClassUint16},
        {"int32", km::mxClassInt32},   {"uint32", km::mxClassUint32}, {"int64", km::mxClassInt64},
        {"uint64", km::mxClassUint64}, {"char", km::mxClassChar}};
    for (const auto &entry : kClasses)
        if (name == entry.first) return entry.second;
    return km::mxClassNone;
}

// {r, i} of `part`: the compound type h5py reads as complex numbers.
Hid ComplexType(hid_t part) {
    const std::size_t size = H5Tget_size(part);
    Hid t(H5Tcreate(H5T_COMPOUND, 2 * size), H5Tclose);
    if (!t.ok() || H5Tinsert(t.get(), "r", 0, part) < 0 || H5Tinsert(t.get(), "i", size, part) < 0)
        return Hid();
    return t;
}

// The enumeration of one byte h5py reads as booleans.
Hid BoolType() {
    Hid t(H5Tenum_create(H5T_NATIVE_INT8), H5Tclose);
    const signed char no = 0, yes = 1;
    if (!t.ok() || H5Tenum_insert(t.get(), "FALSE", &no) < 0 ||
        H5Tenum_insert(t.get(), "TRUE", &yes) < 0)
        return Hid();
    return t;
}

// A variable-length UTF-8 string type.
Hid TextType() {
    Hid t(H5Tcopy(H5T_C_S1), H5Tclose);
    if (!t.ok() || H5Tset_size(t.get(), H5T_VARIABLE) < 0 ||
        H5Tset_cset(t.get(), H5T_CSET_UTF8) < 0)
        return Hid();
    return t;
}

// The lengths above 1: they alone decide where an element goes.
std::vector<std::size_t> LongAxes(const std::vector<std::size_t> &dims) {
    std::vector<std::size_t> out;
    for (std::size_t d : dims)
        if (d > 1) out.push_back(d);
    return out;
}

// True when column-major and row-major order differ for `dims`.
bool NeedsReorder(const std::vector<std::size_t> &dims) { return LongAxes(dims).size() > 1; }

// The transposition of an m x n matrix of S-byte elements in tiles, so that
// both sides move through the cache a line at a time: `toRows` copies the
// column-major from(i, j) to row-major to(i, j), else the other way.
template <std::size_t S>
void Transpose(const unsigned char *from, unsigned char *to, std::size_t m, std::size_t n,
               bool toRows) {
    constexpr std::size_t kTile = 32;
    for (std::size_t j0 = 0; j0 < n; j0 += kTile) {
        const std::size_t j1 = std::min(n, j0 + kTile);
        for (std::size_t i0 = 0; i0 < m; i0 += kTile) {
            const std::size_t i1 = std::min(m, i0 + kTile);
            for (std::size_t j = j0; j < j1; ++j)
                for (std::size_t i = i0; i < i1; ++i) {
                    const std::size_t column = i + j * m, row = i * n + j;
                    if (toRows)
                        std::memcpy(to + row * S, from + column * S, S);
                    else
                        std::memcpy(to + column * S, from + row * S, S);
                }
        }
    }
}

// Reorders the elements of `size` bytes of an array of `dims` between the
// library's column-major order and the row-major order of an HDF5 dataset
// of the same dimensions: `toRows` copies from[k] to to[r(k)], else
// from[r(k)] to to[k], r(k) the row-major position of the column-major k.
void Reorder(const unsigned char *from, unsigned char *to, std::size_t size,
             const std::vector<std::size_t> &all, bool toRows) {
    const std::vector<std::size_t> dims = LongAxes(all);
    std::size_t n = 1;
    for (std::size_t d : all) n *= d;
    if (n == 0) return;
    if (dims.size() <= 1) {
        std::memcpy(to, from, n * size);
        return;
    }
    if (dims.size() == 2) {
        switch (size) {
            case 1: return Transpose<1>(from, to, dims[0], dims[1], toRows);
            case 2: return Transpose<2>(from, to, dims[0], dims[1], toRows);
            case 4: return Transpose<4>(from, to, dims[0], dims[1], toRows);
            case 8: return Transpose<8>(from, to, dims[0], dims[1], toRows);
            case 16: return Transpose<16>(from, to, dims[0], dims[1], toRows);
            default: break;
        }
    }
    const std::size_t rank = dims.size();
    std::vector<std::size_t> stride(rank), sub(rank, 0);
    std::size_t s = 1;
    for (std::size_t d = rank; d-- > 0;) stride[d] = s, s *= dims[d];
    std::size_t r = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (toRows)
            std::memcpy(to + r * size, from + k * size, size);
        else
            std::memcpy(to + k * size, from + r * size, size);
        for (std::size_t d = 0; d < rank; ++d) {
            if (++sub[d] < dims[d]) {
                r += stride[d];
                break;
            }
            r -= (dims[d] - 1) * stride[d];
            sub[d] = 0;
        }
    }
}

// The link names of a group: in the order they were made when the group
// tracks it, else by name.
std::vector<std::string> Members(hid_t group, const Io &io) {
    H5G_info_t info;
    if (H5Gget_info(group, &info) < 0) io.Fail("the file is damaged");
    std::vector<std::string> names;
    for (const H5_index_t index : {H5_INDEX_CRT_ORDER, H5_INDEX_NAME}) {
        names.clear();
        for (hsize_t k = 0; k < info.nlinks; ++k) {
            const ssize_t n = H5Lget_name_by_idx(group, ".", index, H5_ITER_INC, k, nullptr, 0,
                                                 H5P_DEFAULT);
            if (n < 0) break;
            std::string name(static_cast<std::size_t>(n) + 1, '\0');
            H5Lget_name_by_idx(group, ".", index, H5_ITER_INC, k, &name[0], name.size(),
                               H5P_DEFAULT);
            name.resize(static_cast<std::size_t>(n));
            names.push_back(name);
        }
        if (names.size() == info.nlinks) return names;
    }
    io.Fail("the file is damaged");
}

// ------------------------------------------------------------------------
// Writing.

class Writer {
public:
    explicit Writer(const Io &io) : m_io(io) {}

    // Writes `v` as the member `name` of `parent`.
    void Put(hid_t parent, const std::string &name, const Value &v, int depth) {
        if (depth > kMaxDepth) m_io.Fail("'" + name + "' is nested too deeply to save");
        switch (v.tag()) {
            case Tag::Cell: PutCell(parent, name, v.cell(), depth); break;
            case Tag::Struct: PutStruct(parent, name, v.structure(), depth); break;
            case Tag::String: PutStrings(parent, name, v.strings()); break;
            case Tag::Handle: PutHandle(parent, name, v.handle(), depth); break;
            case Tag::Unset: m_io.Fail("'" + name + "' has no value"); break;
            default: PutArray(parent, name, v.array()); break;
        }
    }

private:
    [[noreturn]] void Failed(const std::string &name) const {
        m_io.Fail("cannot write '" + name + "'");
    }

    Hid Group(hid_t parent, const std::string &name, const char *cls, const Dims &dims) {
        // Creation order kept: struct fields and captured values come back
        // in their order.
        Hid plist(H5Pcreate(H5P_GROUP_CREATE), H5Pclose);
        if (!plist.ok() ||
            H5Pset_link_creation_order(plist.get(), H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED) < 0)
            Failed(name);
        Hid g(H5Gcreate2(parent, name.c_str(), H5P_DEFAULT, plist.get(), H5P_DEFAULT), H5Gclose);
        if (!g.ok()) Failed(name);
        SetText(g.get(), "class", cls, name);
        SetSize(g.get(), dims, name);
        return g;
    }

    void SetText(hid_t object, const char *attribute, const std::string &text,
                 const std::string &name) {
        Hid type = TextType();
        Hid space(H5Screate(H5S_SCALAR), H5Sclose);
        if (!type.ok() || !space.ok()) Failed(name);
        Hid a(H5Acreate2(object, attribute, type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT),
              H5Aclose);
        const char *p = text.c_str();
        if (!a.ok() || H5Awrite(a.get(), type.get(), &p) < 0) Failed(name);
    }

    void SetSize(hid_t object, const Dims &dims, const std::string &name) {
        const hsize_t rank = dims.size();
        std::vector<std::uint64_t> sizes(dims.begin(), dims.end());
        Hid space(H5Screate_simple(1, &rank, nullptr), H5Sclose);
        if (!space.ok()) Failed(name);
        Hid a(H5Acreate2(object, "size", H5T_STD_U64LE, space.get(), H5P_DEFAULT, H5P_DEFAULT),
              H5Aclose);
        if (!a.ok() || H5Awrite(a.get(), H5T_NATIVE_UINT64, sizes.data()) < 0) Failed(name);
    }

    // A dataset of `dims` and type `fileType`, the n elements of `size`
    // bytes at `data` (column-major) written through `memType`.
    void PutData(hid_t parent, const std::string &name, const Dims &dims, hid_t fileType,
                 hid_t memType, const unsigned char *data, std::size_t size, const char *cls) {
        if (dims.size() > H5S_MAX_RANK)
            m_io.Fail("cannot save '" + name + "': HDF5 holds at most " +
                      std::to_string(H5S_MAX_RANK) + " dimensions");
        const std::vector<std::size_t> lengths(dims.begin(), dims.end());
        const std::vector<hsize_t> shape(dims.begin(), dims.end());
        Hid space(H5Screate_simple(static_cast<int>(shape.size()), shape.data(), nullptr),
                  H5Sclose);
        if (!space.ok() || fileType < 0 || memType < 0) Failed(name);
        Hid set(H5Dcreate2(parent, name.c_str(), fileType, space.get(), H5P_DEFAULT, H5P_DEFAULT,
                           H5P_DEFAULT),
                H5Dclose);
        if (!set.ok()) Failed(name);
        const std::size_t n = Count(dims);
        if (n > 0) {
            // A vector's elements are in the same order either way.
            std::unique_ptr<unsigned char[]> rows;
            if (NeedsReorder(lengths)) {
                rows.reset(new unsigned char[n * size]);
                Reorder(data, rows.get(), size, lengths, true);
                data = rows.get();
            }
            if (H5Dwrite(set.get(), memType, H5S_ALL, H5S_ALL, H5P_DEFAULT, data) < 0)
                Failed(name);
        }
        SetText(set.get(), "class", cls, name);
    }

    void PutArray(hid_t parent, const std::string &name, const Array &a) {
        const km::CMatrix *m = a.get();
        const km::mxClassID id = m->GetClassID();
        Dims dims(m->GetDimensions(), m->GetDimensions() + m->GetNoDimensions());
        const std::size_t n = m->GetNoElems();
        if (a.IsLogical()) {
            const Array d = Array::Adopt(km::Cast(m, km::mxClassDouble));
            std::vector<unsigned char> bytes(n);
            for (std::size_t k = 0; k < n; ++k) bytes[k] = d.Data()[k] != 0;
            Hid type = BoolType();
            PutData(parent, name, dims, type.get(), type.get(), bytes.data(), 1, "logical");
            return;
        }
        if (MemoryType(id) < 0)
            m_io.Fail("cannot save '" + name + "' of class " + ClassName(a));
        const std::size_t size = m->GetElementSize();
        const auto *re = static_cast<const unsigned char *>(m->GetPr());
        if (!m->IsComplex()) {
            PutData(parent, name, dims, FileType(id), MemoryType(id), re, size, ClassName(a));
            return;
        }
        // Each element as its two parts side by side.
        const auto *im = static_cast<const unsigned char *>(m->GetPi());
        std::vector<unsigned char> pairs(2 * n * size);
        for (std::size_t k = 0; k < n; ++k) {
            std::memcpy(&pairs[2 * k * size], re + k * size, size);
            std::memcpy(&pairs[(2 * k + 1) * size], im + k * size, size);
        }
        Hid fileType = ComplexType(FileType(id));
        Hid memType = ComplexType(MemoryType(id));
        PutData(parent, name, dims, fileType.get(), memType.get(), pairs.data(), 2 * size,
                ClassName(a));
    }

    void PutStrings(hid_t parent, const std::string &name, const StringArray &s) {
        std::vector<const char *> texts;
        for (const std::string &t : s.items) texts.push_back(t.c_str());
        Hid type = TextType();
        PutData(parent, name, s.dims, type.get(), type.get(),
                reinterpret_cast<const unsigned char *>(texts.data()), sizeof(const char *),
                "string");
    }

    void PutCell(hid_t parent, const std::string &name, const CellArray &c, int depth) {
        Hid g = Group(parent, name, "cell", c.dims);
        for (std::size_t k = 0; k < c.items.size(); ++k)
            Put(g.get(), std::to_string(k + 1), c.items[k], depth + 1);
    }

    void PutStruct(hid_t parent, const std::string &name, const StructArray &s, int depth) {
        for (const std::string &f : s.fields)
            if (f.empty() || f == "." || f.find('/') != std::string::npos)
                m_io.Fail("cannot save the field '" + f + "' of '" + name + "'");
        Hid g = Group(parent, name, "struct", s.dims);
        const std::size_t n = Count(s.dims);
        const bool scalar = s.dims.size() == 2 && s.dims[0] == 1 && s.dims[1] == 1;
        for (std::size_t f = 0; f < s.fields.size(); ++f) {
            if (scalar) {
                Put(g.get(), s.fields[f], s.At(0, f), depth + 1);
                continue;
            }
            // A struct array keeps each field as a cell of the struct's shape.
            CellArray column;
            column.dims = s.dims;
            for (std::size_t e = 0; e < n; ++e) column.items.push_back(s.At(e, f));
            PutCell(g.get(), s.fields[f], column, depth + 1);
        }
    }

    void PutHandle(hid_t parent, const std::string &name, const Handle &h, int depth) {
        Hid g = Group(parent, name, "function_handle", Dims{1, 1});
        SetText(g.get(), "text", h.text, name);
        if (!h.anon) return;
        // The values the anonymous function captured, by name.
        for (std::size_t k = h.anon->params.size(); k < h.anon->scope.size(); ++k)
            if (k < h.captured.size() && !h.captured[k].IsUnset())
                Put(g.get(), h.anon->scope[k], h.captured[k], depth + 1);
    }

    const Io &m_io;
};

// ------------------------------------------------------------------------
// Reading.

class Reader {
public:
    Reader(const Io &io, BuiltinCall &c) : m_io(io), m_call(c) {}

    // The value of the member `name` of `parent`.
    Value Get(hid_t parent, const std::string &name, int depth) {
        if (depth > kMaxDepth) Damaged(name);
        Hid object(H5Oopen(parent, name.c_str(), H5P_DEFAULT), H5Oclose);
        if (!object.ok()) Damaged(name);
        const std::string cls = Attribute(object.get(), "class", name, true);
        switch (H5Iget_type(object.get())) {
            case H5I_DATASET: return GetDataset(object.get(), name, cls);
            case H5I_GROUP: return GetGroup(object.get(), name, cls, depth);
            default: m_io.Fail("cannot read '" + name + "': neither data nor a group");
        }
    }

private:
    [[noreturn]] void Damaged(const std::string &name) const {
        m_io.Fail("cannot read '" + name + "': the file is damaged");
    }

    // The text attribute of `object`; "" when it is missing and `optional`.
    std::string Attribute(hid_t object, const char *attribute, const std::string &name, bool optional) {
        if (H5Aexists(object, attribute) <= 0) {
            if (optional) return "";
            Damaged(name);
        }
        Hid a(H5Aopen(object, attribute, H5P_DEFAULT), H5Aclose);
        Hid type(a.ok() ? H5Aget_type(a.get()) : -1, H5Tclose);
        Hid space(a.ok() ? H5Aget_space(a.get()) : -1, H5Sclose);
        if (!type.ok() || !space.ok() || H5Tget_class(type.get()) != H5T_STRING ||
            H5Sget_simple_extent_npoints(space.get()) != 1)
            Damaged(name);
        if (H5Tis_variable_str(type.get()) > 0) {
            char *p = nullptr;
            if (H5Aread(a.get(), type.get(), &p) < 0) Damaged(name);
            std::string out = p ? p : "";
            H5free_memory(p);
            return out;
        }
        std::string out(H5Tget_size(type.get()), '\0');
        if (H5Aread(a.get(), type.get(), &out[0]) < 0) Damaged(name);
        return out.substr(0, out.find('\0'));
    }

    // The "size" attribute of a group.
    Dims Size(hid_t object, const std::string &name) {
        if (H5Aexists(object, "size") <= 0) return Dims{1, 1};
        Hid a(H5Aopen(object, "size", H5P_DEFAULT), H5Aclose);
        Hid space(a.ok() ? H5Aget_space(a.get()) : -1, H5Sclose);
        const hssize_t rank = space.ok() ? H5Sget_simple_extent_npoints(space.get()) : -1;
        if (rank < 0 || rank > 64) Damaged(name);
        std::vector<std::uint64_t> sizes(static_cast<std::size_t>(rank));
        if (rank > 0 && H5Aread(a.get(), H5T_NATIVE_UINT64, sizes.data()) < 0) Damaged(name);
        return Checked(std::vector<hsize_t>(sizes.begin(), sizes.end()), name);
    }

    // Lengths as the interpreter holds them: at least two, each and their
    // product within 32 bits; one length is a row.
    Dims Checked(const std::vector<hsize_t> &lengths, const std::string &name) {
        Dims dims;
        if (lengths.size() == 1) dims.push_back(1);
        std::uint64_t n = 1;
        for (hsize_t len : lengths) {
            if (len > 0xFFFFFFFFu || (len && n > 0xFFFFFFFFu / len))
                m_io.Fail("cannot read '" + name + "': it is too large");
            n *= len;
            dims.push_back(static_cast<unsigned int>(len));
        }
        while (dims.size() < 2) dims.push_back(1);
        while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
        return dims;
    }

    Value GetDataset(hid_t set, const std::string &name, const std::string &cls) {
        Hid space(H5Dget_space(set), H5Sclose);
        Hid type(H5Dget_type(set), H5Tclose);
        if (!space.ok() || !type.ok()) Damaged(name);
        Dims dims{0, 0};
        if (H5Sget_simple_extent_type(space.get()) != H5S_NULL) {
            const int rank = H5Sget_simple_extent_ndims(space.get());
            if (rank < 0 || rank > 64) Damaged(name);
            std::vector<hsize_t> lengths(static_cast<std::size_t>(rank));
            if (rank > 0 && H5Sget_simple_extent_dims(space.get(), lengths.data(), nullptr) < 0)
                Damaged(name);
            dims = Checked(lengths, name);
        }
        const std::size_t n = Count(dims);
        const std::vector<std::size_t> lengths(dims.begin(), dims.end());
        // Reads the whole dataset through `memType` into column-major `out`.
        const auto read = [&](hid_t memType, unsigned char *out, std::size_t size) {
            if (n == 0) return;
            if (!NeedsReorder(lengths)) {
                if (H5Dread(set, memType, H5S_ALL, H5S_ALL, H5P_DEFAULT, out) < 0) Damaged(name);
                return;
            }
            std::unique_ptr<unsigned char[]> rows(new unsigned char[n * size]);
            if (H5Dread(set, memType, H5S_ALL, H5S_ALL, H5P_DEFAULT, rows.get()) < 0)
                Damaged(name);
            Reorder(rows.get(), out, size, lengths, false);
        };
        const H5T_class_t kind = H5Tget_class(type.get());
        if (kind == H5T_STRING) {
            Value texts = GetStrings(set, type.get(), dims, name);
            if (cls == "char") return Value(CharRows(texts.strings().items));
            if (!cls.empty() && cls != "string")
                m_io.Fail("cannot read '" + name + "': unknown class '" + cls + "'");
            return texts;
        }
        if (kind == H5T_ENUM || cls == "logical") {
            // Logical: one byte per element, nonzero true.
            Hid memType(kind == H5T_ENUM ? H5Tget_native_type(type.get(), H5T_DIR_ASCEND)
                                         : H5Tcopy(H5T_NATIVE_UINT8),
                        H5Tclose);
            if (!memType.ok() || H5Tget_size(memType.get()) != 1) Unsupported(name);
            std::vector<unsigned char> bytes(n);
            read(memType.get(), bytes.data(), 1);
            Array out = Array::Adopt(km::mxCreateNumericArray(
                static_cast<unsigned int>(dims.size()), dims.data(), km::mxClassDouble,
                km::mxComplexityReal));
            double *d = km::mxGetPr(out.get());
            for (std::size_t k = 0; k < n; ++k) d[k] = bytes[k] != 0;
            km::mxSetLogical(out.get());
            return Value(out);
        }
        km::mxClassID id = ClassOfType(type.get());
        bool complex = false;
        if (kind == H5T_COMPOUND) {
            // {r, i} of one numeric type: complex.
            if (H5Tget_nmembers(type.get()) != 2) Unsupported(name);
            Hid re(H5Tget_member_type(type.get(), 0), H5Tclose);
            Hid im(H5Tget_member_type(type.get(), 1), H5Tclose);
            char *first = H5Tget_member_name(type.get(), 0);
            char *second = H5Tget_member_name(type.get(), 1);
            const bool named = first && second && std::strcmp(first, "r") == 0 &&
                               std::strcmp(second, "i") == 0;
            H5free_memory(first);
            H5free_memory(second);
            if (!named || !re.ok() || !im.ok()) Unsupported(name);
            id = ClassOfType(re.get());
            if (id != ClassOfType(im.get())) Unsupported(name);
            complex = true;
        }
        if (id == km::mxClassNone) Unsupported(name);
        // The class attribute decides among the numeric classes and char:
        // stored numbers of another type convert as the language converts.
        km::mxClassID target = id;
        if (!cls.empty()) {
            target = NumericClass(cls);
            if (target == km::mxClassNone)
                m_io.Fail("cannot read '" + name + "': unknown class '" + cls + "'");
            if (target == km::mxClassChar && complex) Unsupported(name);
        }
        Array out = Array::Adopt(km::mxCreateNumericArray(
            static_cast<unsigned int>(dims.size()), dims.data(), id,
            complex ? km::mxComplexityComplex : km::mxComplexityReal));
        km::CMatrix *m = out.get();
        const std::size_t size = m->GetElementSize();
        auto *re = static_cast<unsigned char *>(m->GetPr());
        const auto converted = [&]() {
            return target == id ? Value(out) : Value(Array::Adopt(km::Cast(out.get(), target)));
        };
        if (!complex) {
            read(MemoryType(id), re, size);
            return converted();
        }
        std::vector<unsigned char> pairs(2 * n * size);
        Hid memType = ComplexType(MemoryType(id));
        if (!memType.ok()) Damaged(name);
        read(memType.get(), pairs.data(), 2 * size);
        auto *im = static_cast<unsigned char *>(m->GetPi());
        for (std::size_t k = 0; k < n; ++k) {
            std::memcpy(re + k * size, &pairs[2 * k * size], size);
            std::memcpy(im + k * size, &pairs[(2 * k + 1) * size], size);
        }
        return converted();
    }

    [[noreturn]] void Unsupported(const std::string &name) const {
        m_io.Fail("cannot read '" + name + "': its type has no class here");
    }

    Value GetStrings(hid_t set, hid_t type, const Dims &dims, const std::string &name) {
        const std::size_t n = Count(dims);
        const std::vector<std::size_t> lengths(dims.begin(), dims.end());
        StringArray s;
        s.dims = dims;
        s.items.resize(n);
        if (n == 0) return Value(std::move(s));
        Hid memType(H5Tcopy(type), H5Tclose);
        if (!memType.ok()) Damaged(name);
        std::vector<std::string> rows(n);
        if (H5Tis_variable_str(type) > 0) {
            std::vector<char *> texts(n, nullptr);
            if (H5Dread(set, memType.get(), H5S_ALL, H5S_ALL, H5P_DEFAULT, texts.data()) < 0)
                Damaged(name);
            for (std::size_t k = 0; k < n; ++k) {
                rows[k] = texts[k] ? texts[k] : "";
                H5free_memory(texts[k]);
            }
        } else {
            const std::size_t width = H5Tget_size(type);
            std::vector<char> bytes(n * width);
            if (H5Dread(set, memType.get(), H5S_ALL, H5S_ALL, H5P_DEFAULT, bytes.data()) < 0)
                Damaged(name);
            for (std::size_t k = 0; k < n; ++k) {
                const char *p = &bytes[k * width];
                rows[k].assign(p, strnlen(p, width));
            }
        }
        // Row-major texts to column-major items.
        std::vector<std::size_t> order(n);
        for (std::size_t k = 0; k < n; ++k) order[k] = k;
        std::vector<std::size_t> columns(n);
        Reorder(reinterpret_cast<const unsigned char *>(order.data()),
                reinterpret_cast<unsigned char *>(columns.data()), sizeof(std::size_t), lengths,
                false);
        for (std::size_t k = 0; k < n; ++k) s.items[k] = std::move(rows[columns[k]]);
        return Value(std::move(s));
    }

    Value GetGroup(hid_t g, const std::string &name, const std::string &cls, int depth) {
        const Dims dims = Size(g, name);
        if (cls == "cell") return Value(GetCell(g, name, dims, depth));
        if (cls == "function_handle") return GetHandle(g, name, depth);
        if (cls != "struct" && !cls.empty())
            m_io.Fail("cannot read '" + name + "': unknown class '" + cls + "'");
        // A struct, or a group some other program wrote: a struct of its
        // members.
        StructArray s;
        s.dims = cls.empty() ? Dims{1, 1} : dims;
        s.fields = Members(g, m_io);
        const std::size_t n = Count(s.dims);
        s.values.resize(n * s.fields.size());
        const bool scalar = s.dims.size() == 2 && s.dims[0] == 1 && s.dims[1] == 1;
        for (std::size_t f = 0; f < s.fields.size(); ++f) {
            if (scalar) {
                s.At(0, f) = Get(g, s.fields[f], depth + 1);
                continue;
            }
            const Value column = Get(g, s.fields[f], depth + 1);
            if (!column.IsCell() || column.cell().items.size() != n) Damaged(name);
            for (std::size_t e = 0; e < n; ++e) s.At(e, f) = column.cell().items[e];
        }
        return Value(std::move(s));
    }

    CellArray GetCell(hid_t g, const std::string &name, const Dims &dims, int depth) {
        CellArray c;
        c.dims = dims;
        const std::size_t n = Count(dims);
        H5G_info_t info;
        if (H5Gget_info(g, &info) < 0 || info.nlinks != n) Damaged(name);
        for (std::size_t k = 0; k < n; ++k) c.items.push_back(Get(g, std::to_string(k + 1), depth + 1));
        return c;
    }

    Value GetHandle(hid_t g, const std::string &name, int depth) {
        const std::string text = Attribute(g, "text", name, false);
        const std::size_t start = text.find_first_not_of(" \t");
        std::shared_ptr<const Unit> unit;
        try {
            if (start == std::string::npos || text[start] != '@') throw Error("");
            unit = Compile(text, "");
        } catch (const Error &) {
            m_io.Fail("cannot read '" + name + "': '" + text + "' is no function handle");
        }
        // Only a handle expression runs: evaluating one makes the handle
        // and nothing else.
        const Block &statements = unit->program.statements;
        if (statements.size() != 1 || statements[0].kind != Stmt::Kind::Expression ||
            (statements[0].value->kind != Expr::Kind::AnonFunction &&
             statements[0].value->kind != Expr::Kind::FuncHandle))
            m_io.Fail("cannot read '" + name + "': '" + text + "' is no function handle");
        const Value made = m_call.evaluator.EvaluateHere(unit);
        if (!made.IsHandle()) Damaged(name);
        const Handle &h = made.handle();
        if (!h.anon) return made;
        // The captured values are the file's, not the workspace's.
        auto copy = std::make_shared<Handle>(h);
        for (std::size_t k = h.anon->params.size(); k < h.anon->scope.size() && k < copy->captured.size(); ++k) {
            const std::string &var = h.anon->scope[k];
            copy->captured[k] = H5Lexists(g, var.c_str(), H5P_DEFAULT) > 0 ? Get(g, var, depth + 1)
                                                                           : Value::Unset();
        }
        return Value(std::shared_ptr<const Handle>(std::move(copy)));
    }

    const Io &m_io;
    BuiltinCall &m_call;
};

// A file access list: the library's file locks off (save writes a private
// temporary file; load only reads, and locks fail on some file systems),
// every object closed with the file.
Hid Access(const Io &io) {
    Hid fapl(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
    if (!fapl.ok() || H5Pset_fclose_degree(fapl.get(), H5F_CLOSE_STRONG) < 0)
        io.Fail("cannot use the HDF5 library");
#if H5_VERSION_GE(1, 10, 7)
    if (H5Pset_file_locking(fapl.get(), false, true) < 0) io.Fail("cannot use the HDF5 library");
#endif
    return fapl;
}

// Checks that `io.file` exists and is HDF5: the signature opens the file or
// follows a user block of 512, 1024, 2048... bytes.
void CheckHdf5(const Io &io) {
    std::error_code ec;
    if (!fs::exists(io.file, ec))
        throw Error("'" + io.who + "': cannot find the file '" + io.file + "'");
    if (!fs::is_regular_file(io.file, ec))
        throw Error("'" + io.who + "': '" + io.file + "' is not a file");
    const std::uintmax_t size = fs::file_size(io.file, ec);
    std::FILE *f = std::fopen(io.file.c_str(), "rb");
    if (!f) throw Error("'" + io.who + "': cannot open '" + io.file + "': " + std::strerror(errno));
    bool hdf5 = false;
    for (std::uintmax_t at = 0; !ec && at + 8 <= size && !hdf5; at = at ? 2 * at : 512) {
        char head[8];
        hdf5 = std::fseek(f, static_cast<long>(at), SEEK_SET) == 0 && std::fread(head, 1, 8, f) == 8 &&
               std::memcmp(head, "\x89HDF\r\n\x1a\n", 8) == 0;
    }
    std::fclose(f);
    if (!hdf5) throw Error("'" + io.who + "': '" + io.file + "' is not an HDF5 workspace file");
#ifdef MTRX_FILE_SANDBOX
    if (!SavedImages().count(std::hash<std::string>()(ReadWholeFile(io.file, io.who))))
        throw Error("'" + io.who + "': this build reads only workspace files that save wrote");
#endif
}

// The variables of the file the patterns select, in its order; the others
// are not read.
NamedValues ReadAll(const Io &io, const std::vector<std::string> &patterns, BuiltinCall &c) {
    QuietLibrary();
    CheckHdf5(io);
    Hid fapl = Access(io);
    Hid file(H5Fopen(io.file.c_str(), H5F_ACC_RDONLY, fapl.get()), H5Fclose);
    if (!file.ok())
        throw Error("'" + io.who + "': cannot read '" + io.file + "': the file is truncated or damaged");
    Hid root(H5Gopen2(file.get(), "/", H5P_DEFAULT), H5Gclose);
    if (!root.ok()) io.Fail("the file is damaged");
    Reader reader(io, c);
    const std::vector<std::string> names = Members(root.get(), io);
    const std::vector<bool> taken = SelectedVariables(names, patterns, c, io.who, " in '" + io.file + "'");
    NamedValues out;
    for (std::size_t k = 0; k < names.size(); ++k)
        if (taken[k]) out.push_back({names[k], reader.Get(root.get(), names[k], 0)});
    return out;
}

// A temporary file in the folder of `target`, removed when it dies unless
// Keep() renamed it over the target.
class TempFile {
public:
    TempFile(const std::string &target, const Io &io) : m_target(target) {
        const fs::path t(target);
        const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
        std::string pattern = (folder / ("." + t.filename().string() + ".XXXXXX")).string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        const int fd = mkstemp(buffer.data());
        if (fd < 0) throw Error("'save': cannot write '" + io.file + "': " + std::strerror(errno));
        ::close(fd);
        m_name = buffer.data();
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    ~TempFile() {
        if (!m_name.empty()) std::remove(m_name.c_str());
    }
    const std::string &name() const { return m_name; }
    // Renames the file over the target, with the target's permissions or,
    // for a new one, the usual ones rather than mkstemp's private ones.
    void Keep(const Io &io) {
        std::error_code ec;
        const fs::file_status old = fs::status(m_target, ec);
        fs::permissions(m_name,
                        fs::exists(old) ? old.permissions()
                                        : fs::perms::owner_read | fs::perms::owner_write |
                                              fs::perms::group_read | fs::perms::others_read,
                        ec);
        if (std::rename(m_name.c_str(), m_target.c_str()) != 0)
            throw Error("'save': cannot write '" + io.file + "': " + std::strerror(errno));
        m_name.clear();
    }

private:
    std::string m_target;
    std::string m_name;
};

NamedValues Read(const std::string &who, const std::string &path, const std::vector<std::string> &patterns,
                 BuiltinCall &c) {
    const Io io{who, path};
    return ReadAll(io, patterns, c);
}

void Write(const std::string &path, const NamedValues &values, bool append, BuiltinCall &c) {
    (void)c;  // the fuzz build charges its writes to the call
    QuietLibrary();
    const Io io{"save", path};
    std::error_code ec;
    const bool extend = append && fs::exists(path, ec);
    if (extend) CheckHdf5(io);
#ifdef MTRX_FILE_SANDBOX
    std::size_t payload = 0;
    for (const auto &entry : values) payload += PayloadBytes(entry.second);
    ChargeWrite(c, payload);
#endif
    TempFile temp(path, io);
    {
        Hid fapl = Access(io);
        Hid h5;
        if (extend) {
            fs::copy_file(path, temp.name(), fs::copy_options::overwrite_existing, ec);
            if (ec) throw Error("'save': cannot copy '" + path + "': " + ec.message());
            h5 = Hid(H5Fopen(temp.name().c_str(), H5F_ACC_RDWR, fapl.get()), H5Fclose);
            if (!h5.ok())
                throw Error("'save': cannot append to '" + path + "': the file is truncated or damaged");
        } else {
            Hid fcpl(H5Pcreate(H5P_FILE_CREATE), H5Pclose);
            if (!fcpl.ok() || H5Pset_link_creation_order(fcpl.get(), H5P_CRT_ORDER_TRACKED |
                                                                       H5P_CRT_ORDER_INDEXED) < 0)
                io.Fail("cannot use the HDF5 library");
            h5 = Hid(H5Fcreate(temp.name().c_str(), H5F_ACC_TRUNC, fcpl.get(), fapl.get()),
                     H5Fclose);
            if (!h5.ok()) io.Fail("cannot create the file");
        }
        Writer writer(io);
        for (const auto &entry : values) {
            if (H5Lexists(h5.get(), entry.first.c_str(), H5P_DEFAULT) > 0 &&
                H5Ldelete(h5.get(), entry.first.c_str(), H5P_DEFAULT) < 0)
                io.Fail("cannot replace '" + entry.first + "'");
            writer.Put(h5.get(), entry.first, entry.second, 0);
        }
        if (H5Fclose(h5.Release()) < 0) io.Fail("cannot write the file");
    }
#ifdef MTRX_FILE_SANDBOX
    const std::string image = ReadWholeFile(temp.name(), "save");
    ChargeWrite(c, image.size() - std::min(payload, image.size()));
    SavedImages().insert(std::hash<std::string>()(image));
#endif
    temp.Keep(io);
}

const WorkspaceModule kModule{Read, Write};

}  // namespace

}  // namespace mtrx

extern "C" const void *mtrx_hdf5_module() { return &mtrx::kModule; }
