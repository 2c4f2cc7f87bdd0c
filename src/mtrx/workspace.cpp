// src/mtrx/workspace.cpp: the evaluator's workspace queries and warnings: who,
// whos, clear, exist, and the warning switches.
#include "evaluator.h"

#include "arrays.h"
#include "error.h"
#include "lexer.h"
#include "lib/operators.h"
#include "resolver.h"
#include "subscripts.h"
#include "text.h"

#include <matrix/exceptions.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <new>
#include <set>
#include <sstream>


namespace mtrx {

namespace km = kiv::matrix;

void Evaluator::Warn(const std::string &id, const std::string &message) {
    if (!WarningOn(id)) return;
    m_display.flush();
    std::cerr << "Warning: " << message << '\n';
    std::cerr.flush();
}

void Evaluator::SetWarning(const std::string &id, bool on) {
    if (id == "all") {
        m_allWarningsOff = !on;
        m_warningsOff.clear();
        return;
    }
    if (on)
        m_warningsOff.erase(id);
    else
        m_warningsOff.insert(id);
}

bool Evaluator::WarningOn(const std::string &id) const {
    return !m_allWarningsOff && (id.empty() || m_warningsOff.count(id) == 0);
}

namespace {

// True when `name` matches `pattern`, whose * matches any run of characters.
bool Matches(const char *pattern, const char *name) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') return Matches(pattern + 1, name) || (*name && Matches(pattern, name + 1));
    return *pattern == *name && Matches(pattern + 1, name + 1);
}

}  // namespace

std::vector<VariableInfo> Evaluator::Variables() {
    std::vector<VariableInfo> out;
    const Frame &frame = Top();
    for (std::size_t k = 0; k < frame.slots.size(); ++k)
        if (!frame.slots[k].IsUnset()) out.push_back({(*frame.names)[k], &frame.slots[k]});
    std::sort(out.begin(), out.end(),
              [](const VariableInfo &a, const VariableInfo &b) { return a.name < b.name; });
    return out;
}

void Evaluator::ClearVariables(const std::vector<std::string> &patterns) {
    // The slots stay, unset: the running code and the name table keep them.
    Frame &frame = Top();
    for (std::size_t k = 0; k < frame.slots.size(); ++k) {
        bool hit = patterns.empty();
        for (const std::string &p : patterns)
            hit = hit || Matches(p.c_str(), (*frame.names)[k].c_str());
        if (hit) frame.slots[k] = Value::Unset();
    }
}

int Evaluator::Exist(const std::string &name) {
    if (Lookup(name)) return 1;
    // A function of the running file or typed at the prompt, or a file in
    // the folders Resolve searches, without reading the file.
    const std::shared_ptr<const Unit> &from = Top().unit;
    if ((from && from->functions.count(name)) || m_defined.count(name)) return 2;
    std::vector<std::string> folders{from && !from->folder.empty() ? from->folder : ".", "."};
    folders.insert(folders.end(), m_path.begin(), m_path.end());
    for (const std::string &folder : folders) {
        const std::string path = folder + "/" + name + ".mtrx";
        if (std::ifstream(path) || CompiledFile(path)) return 2;
    }
    if (name.find('/') != std::string::npos ||
        (name.size() > 5 && name.compare(name.size() - 5, 5, ".mtrx") == 0))
        if (std::ifstream(name)) return 2;
    if (FindBuiltin(name)) return 5;
    return 0;
}

}  // namespace mtrx
