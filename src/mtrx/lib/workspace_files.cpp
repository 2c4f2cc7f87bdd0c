// src/mtrx/lib/workspace_files.cpp: the arguments of save, load and whos
// -file for workspace files, which the HDF5 entry points read and write
// (lib/workspace_hdf5.cpp, loaded on first use where it is a module); without
// HDF5 both say so when called. docs/hdf5-layout.md describes the layout.
#include "lib/workspace_files.h"

#include "evaluator.h"
#include "lib/files.h"
#include "modules.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace mtrx {

namespace km = kiv::matrix;
namespace fs = std::filesystem;

namespace {

// True when `name` matches `pattern`, where '*' matches any run of
// characters (the last star backtracks only: linear in practice).
bool Glob(const std::string &pattern, const std::string &name) {
    std::size_t i = 0, j = 0, star = std::string::npos, mark = 0;
    while (j < name.size()) {
        if (i < pattern.size() && pattern[i] != '*' && pattern[i] == name[j]) {
            ++i, ++j;
        } else if (i < pattern.size() && pattern[i] == '*') {
            star = i++;
            mark = j;
        } else if (star != std::string::npos) {
            i = star + 1;
            j = ++mark;
        } else {
            return false;
        }
    }
    while (i < pattern.size() && pattern[i] == '*') ++i;
    return i == pattern.size();
}

bool ValidName(const std::string &name) {
    if (name.empty() || name.size() > 63 || !std::isalpha(static_cast<unsigned char>(name[0])))
        return false;
    return std::all_of(name.begin(), name.end(), [](char ch) {
        return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_';
    });
}

// The file a workspace name means: ".mat" added when it has no extension.
std::string WorkspacePath(const std::string &file, const std::string &who) {
    const std::string path = fs::path(file).extension().empty() ? file + ".mat" : file;
    return CheckedPath(path, who);
}

}  // namespace

std::vector<bool> SelectedVariables(const std::vector<std::string> &names,
                           const std::vector<std::string> &patterns, BuiltinCall &c,
                           const std::string &who, const std::string &missing) {
    std::vector<bool> taken(names.size(), patterns.empty());
    for (const std::string &p : patterns) {
        bool found = false;
        for (std::size_t k = 0; k < names.size(); ++k)
            if (Glob(p, names[k])) taken[k] = found = true;
        if (found) continue;
        if (p.find('*') == std::string::npos)
            throw Error("'" + who + "': there is no variable '" + p + "'" + missing);
        c.evaluator.Warn("mtrx:" + who + ":noMatch",
                         "No variable matches '" + p + "'" + missing + ".");
    }
    return taken;
}

namespace {

// The values of `all` that the patterns select, in the order of `all`.
NamedValues Select(NamedValues all, const std::vector<std::string> &patterns, BuiltinCall &c,
                   const std::string &who, const std::string &missing) {
    std::vector<std::string> names;
    for (const auto &entry : all) names.push_back(entry.first);
    const std::vector<bool> taken = SelectedVariables(names, patterns, c, who, missing);
    NamedValues out;
    for (std::size_t k = 0; k < all.size(); ++k)
        if (taken[k]) out.push_back(std::move(all[k]));
    return out;
}

// The HDF5 entry points, loaded on first use; throws naming `who` when this
// build has no HDF5 or its module or libraries cannot be loaded.
const WorkspaceModule &Hdf5(const std::string &who) {
#if defined(MTRX_HDF5) && defined(MTRX_MODULES)
    return *static_cast<const WorkspaceModule *>(
        LoadModule(Module::kHdf5, who, "HDF5 support is not available"));
#elif defined(MTRX_HDF5)
    (void)who;
    return *static_cast<const WorkspaceModule *>(mtrx_hdf5_module());
#else
    throw Error("'" + who + "': this build has no HDF5 library, so no workspace files (-ascii " +
                "reads and writes numeric text)");
#endif
}

}  // namespace

bool LoadsWorkspace(const Args &args) {
    std::string file;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (!args.IsText(k)) continue;  // refused by either reader
        const std::string word = args.GetText(k);
        if (word == "-ascii") return false;
        if (word == "-mat") return true;
        if (file.empty() && !word.empty() && word[0] != '-') file = word;
    }
    if (file.empty()) return false;
    const std::string ext = fs::path(file).extension().string();
    if (ext.empty() || ext == ".mat") return true;
    // Any other name: HDF5 when the file says so, else numeric text.
    try {
        CheckedPath(file, "load");
    } catch (const Error &) {
        return false;  // refused by the numeric text reader
    }
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return false;
    std::FILE *f = std::fopen(file.c_str(), "rb");
    if (!f) return false;
    char head[8] = {};
    const bool hdf5 = std::fread(head, 1, 8, f) == 8 && std::memcmp(head, "\x89HDF\r\n\x1a\n", 8) == 0;
    std::fclose(f);
    return hdf5;
}

NamedValues ReadWorkspaceFile(const std::string &file, const std::vector<std::string> &patterns,
                              BuiltinCall &c, const std::string &who) {
    const std::string path = WorkspacePath(file, who);
    return Hdf5(who).read(who, path, patterns, c);
}

Outs LoadWorkspace(const Args &args, BuiltinCall &c) {
    std::string file;
    std::vector<std::string> names;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (!args.IsText(k)) args.Refuse(k, "a file name, a variable name or an option");
        const std::string word = args.GetText(k);
        if (word == "-mat") continue;
        if (!word.empty() && word[0] == '-') throw Error("'load': unknown option '" + word + "'");
        if (file.empty())
            file = word;
        else
            names.push_back(word);
    }
    if (file.empty()) throw Error("'load' needs a file name");
    NamedValues values = ReadWorkspaceFile(file, names, c, "load");
    if (c.nargout > 0) {
        StructArray s;
        for (auto &entry : values) s.values[s.AddField(entry.first)] = std::move(entry.second);
        return {Value(std::move(s))};
    }
    for (auto &entry : values) {
        if (!ValidName(entry.first)) {
            c.evaluator.Warn("mtrx:load:badName", "'" + entry.first +
                                                      "' is not a valid variable name: not loaded.");
            continue;
        }
        c.evaluator.SetVariable(entry.first, std::move(entry.second));
    }
    return {};
}

Outs SaveWorkspace(const Args &args, BuiltinCall &c) {
    std::string file, structName;
    std::vector<std::string> names;
    bool append = false, fromStruct = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (!args.IsText(k)) args.Refuse(k, "a file name, a variable name or an option");
        const std::string word = args.GetText(k);
        if (word == "-append") {
            append = true;
        } else if (word == "-struct") {
            fromStruct = true;
        } else if (word == "-mat" || word == "-v7.3") {
            // The only format written.
        } else if (!word.empty() && word[0] == '-') {
            throw Error("'save': unknown option '" + word + "'");
        } else if (file.empty()) {
            file = word;
        } else if (fromStruct && structName.empty()) {
            structName = word;
        } else {
            names.push_back(word);
        }
    }
    if (file.empty()) throw Error("'save' needs a file name");
    const std::string path = WorkspacePath(file, "save");
    if (fromStruct && structName.empty())
        throw Error("'save': -struct needs the name of a struct variable");
    NamedValues values;
    if (fromStruct) {
        const Value *v = c.evaluator.Variable(structName);
        if (!v) throw Error("'save': there is no variable '" + structName + "'");
        if (!v->IsStruct() || Count(v->structure().dims) != 1)
            throw Error("'save': -struct needs a 1x1 struct; '" + structName + "' is not one");
        const StructArray &s = v->structure();
        NamedValues fields;
        for (std::size_t f = 0; f < s.fields.size(); ++f) fields.push_back({s.fields[f], s.At(0, f)});
        values = Select(std::move(fields), names, c, "save", " among the fields of '" + structName + "'");
    } else {
        NamedValues all;
        for (const VariableInfo &v : c.evaluator.Variables()) all.push_back({v.name, *v.value});
        values = Select(std::move(all), names, c, "save", "");
    }
    Hdf5("save").write(path, values, append, c);
    return {};
}

}  // namespace mtrx
