// src/mtrx/calls.cpp: the evaluator's calls: resolving a name to a variable, a
// built-in, a function or a script on the path; calling user functions,
// anonymous functions and handles; the frames, stacks and call-site cache.
#include "evaluator.h"

#include "arrays.h"
#include "error.h"
#include "lexer.h"
#include "lib/operators.h"
#include "outputs.h"
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

#include <stdlib.h>


namespace mtrx {

namespace km = kiv::matrix;

namespace {

std::string Folder(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

std::vector<Value> Evaluator::CallName(const Expr &e, unsigned int nargout) {
    if (Value *v = Lookup(e.slot)) {
        if (e.kind == Expr::Kind::Name) {
            // The call holds its own copy: a script it runs may clear the name.
            if (v->IsHandle() && nargout == 0) {
                const Value handle = *v;
                return Invoke(handle, {}, 0);
            }
            return {*v};
        }
        if (v->IsHandle()) {
            const Value handle = *v;
            return Invoke(handle, Arguments(e.args), nargout);
        }
        const Value base = *v;
        return {Subscripted(base, e)};
    }
    Frame &frame = Top();
    if (frame.function && (e.text == "nargin" || e.text == "nargout") && e.args.empty())
        return {Array(e.text == "nargin" ? frame.nargin : frame.nargout)};
    std::vector<Value> args = Arguments(e.args);
    m_site = &e;
    return CallFunction(e.text, args, nargout, frame.unit, e.site);
}

bool Evaluator::Resolve(const std::string &name, const std::shared_ptr<const Unit> &from,
                        Found &f) {
    if (from) {
        auto local = from->functions.find(name);
        if (local != from->functions.end()) {
            f.unit = from;
            f.function = local->second;
            return true;
        }
    }
    auto defined = m_defined.find(name);
    if (defined != m_defined.end()) {
        f = defined->second;
        return true;
    }
    // Then name.mtrx in the caller's folder, the current folder and MTRXPATH.
    const std::string first = from && !from->folder.empty() ? from->folder : ".";
    const std::string key = first + '\n' + name;
    auto cached = m_files.find(key);
    if (cached == m_files.end()) {
        Found found;
        std::vector<std::string> folders{first, "."};
        folders.insert(folders.end(), m_path.begin(), m_path.end());
        for (const std::string &folder : folders) {
            const std::string path = folder + "/" + name + ".mtrx";
            std::shared_ptr<const Unit> compiled = CompiledFile(path);
            if (!compiled && !std::ifstream(path)) continue;
            found.unit = compiled ? std::move(compiled) : Load(path);
            auto main = found.unit->functions.find(name);
            if (!found.unit->program.functions.empty())
                found.function = main != found.unit->functions.end()
                                     ? main->second
                                     : &found.unit->program.functions.front();
            break;
        }
        cached = m_files.emplace(key, std::move(found)).first;
    }
    if (!cached->second.unit) return false;
    f = cached->second;
    return true;
}

std::shared_ptr<const Unit> Evaluator::Load(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    auto unit = std::make_shared<Unit>();
    unit->file = path;
    unit->folder = Folder(path);
    try {
        const std::string source = text.str();
        unit->program = Parse(Lex(source), source);
    } catch (const Error &e) {
        m_located = true;
        m_failedFile = path;
        m_failedLine = e.Line();
        TakeStack();
        throw;
    }
    ResolveProgram(unit->program);
    for (const Function &f : unit->program.functions) unit->functions.emplace(f.name, &f);
    // A file read (again) may change what any call site stands for.
    ++m_generation;
    return unit;
}

void Evaluator::AddCompiledFile(const std::string &path, std::shared_ptr<const Unit> unit) {
    char *canonical = realpath(path.c_str(), nullptr);
    if (canonical) {
        m_compiledFiles["\n" + std::string(canonical)] = unit;
        std::free(canonical);
    }
    m_compiledFiles[path] = std::move(unit);
}

std::shared_ptr<const Unit> Evaluator::CompiledFile(const std::string &path) const {
    if (m_compiledFiles.empty()) return nullptr;
    const auto same = m_compiledFiles.find(path);
    if (same != m_compiledFiles.end()) return same->second;
    // The same file by another name: canonical paths start with a newline,
    // which no path of a lookup holds.
    char *canonical = realpath(path.c_str(), nullptr);
    if (!canonical) return nullptr;
    const auto found = m_compiledFiles.find("\n" + std::string(canonical));
    std::free(canonical);
    return found != m_compiledFiles.end() ? found->second : nullptr;
}

Evaluator::SiteEntry &Evaluator::Callee(const std::string &name,
                                       const std::shared_ptr<const Unit> &from, int site,
                                       SiteEntry &scratch) {
    SiteEntry *entry = &scratch;
    if (site >= 0) {
        if (static_cast<std::size_t>(site) >= m_sites.size())
            m_sites.resize(static_cast<std::size_t>(site) + 1);
        entry = &m_sites[static_cast<std::size_t>(site)];
    }
    // A site number is reused once its program dies: the serial tells.
    const std::uint64_t serial = from ? from->program.serial : 0;
    if (entry->generation != m_generation || entry->serial != serial) {
        Found found;
        if (Resolve(name, from, found)) {
            entry->unit = found.unit;
            entry->function = found.function;
            entry->builtin = nullptr;
            entry->script = !found.function;
        } else {
            entry->builtin = FindBuiltin(name);
            if (!entry->builtin) {
                // A parameter the call left out, read as a name.
                const Function *running = m_top && m_top->unit == from ? m_top->function : nullptr;
                if (running && std::find(running->params.begin(), running->params.end(), name) !=
                                   running->params.end())
                    throw Error("Not enough input arguments.");
                throw Error("Undefined function or variable '" + name + "'");
            }
            entry->unit.reset();
            entry->function = nullptr;
            entry->script = false;
        }
        // Resolve may have read a file, which moves the generation on.
        entry->generation = m_generation;
        entry->serial = serial;
    }
    return *entry;
}

bool Evaluator::CallDirect(const Expr &e, Value &out) {
    // Up to this many arguments are held on the stack.
    constexpr std::size_t kDirect = 8;
    const std::size_t count = e.args.size();
    if (e.site < 0 || count > kDirect) return false;
    const Frame &frame = Top();
    if (frame.function && count == 0 && (e.text == "nargin" || e.text == "nargout")) return false;
    for (const ExprPtr &a : e.args)
        if (a->kind == Expr::Kind::Colon || a->kind == Expr::Kind::CellIndex ||
            a->kind == Expr::Kind::Field)
            return false;  // a list may give any number of arguments
    // Only the arguments there are are made (and destroyed, also when one
    // of them fails).
    struct Arguments {
        alignas(Value) unsigned char storage[kDirect * sizeof(Value)];
        std::size_t made = 0;
        Value *data() { return reinterpret_cast<Value *>(storage); }
        ~Arguments() {
            for (std::size_t k = 0; k < made; ++k) data()[k].~Value();
        }
    } held;
    Value *args = held.data();
    for (std::size_t k = 0; k < count; ++k) {
        new (args + k) Value(Evaluate(*e.args[k]));
        held.made = k + 1;
    }
    SiteEntry scratch;
    const SiteEntry &entry = Callee(e.text, Top().unit, e.site, scratch);
    const Function *f = entry.function;
    if (f && !f->varargin && count <= f->params.size() && !f->outputs.empty()) {
        // The callee's frame holds the unit before the body runs: a clear
        // inside it may drop the entry's.
        RunUser(entry.unit, *f, args, count, 1, nullptr, &out);
        return true;
    }
    std::vector<Value> list(std::make_move_iterator(args), std::make_move_iterator(args + count));
    m_site = &e;
    std::vector<Value> results = CallFunction(e.text, list, 1, Top().unit, e.site);
    if (results.empty()) throw Error("'" + e.text + "' returns no value");
    out = std::move(results[0]);
    return true;
}

std::vector<Value> Evaluator::CallFunction(const std::string &name, const std::vector<Value> &args,
                                           unsigned int nargout,
                                           const std::shared_ptr<const Unit> &from, int site) {
    const Expr *written = m_site;
    m_site = nullptr;
    SiteEntry scratch;
    SiteEntry *entry = &Callee(name, from, site, scratch);
    if (entry->function) {
        // The callee's frame holds the unit before the body runs: a clear
        // inside it may drop the entry's.
        return CallUser(entry->unit, *entry->function, args, nargout);
    }
    if (entry->script) {
        const std::shared_ptr<const Unit> unit = entry->unit;
        return RunScript(name, unit, args);
    }
    BuiltinCall call{*this, m_display, name, nargout, written};
    std::vector<Value> out = CallBuiltin(*entry->builtin, args, call);
    if (nargout > 1 && out.size() < nargout)
        throw Error("Too many output arguments for '" + name + "'");
    return out;
}

std::vector<Value> Evaluator::RunScript(const std::string &name,
                                        const std::shared_ptr<const Unit> &unit,
                                        const std::vector<Value> &args) {
    // A script file runs in the caller's workspace. Its calls count toward
    // the depth limit too: a script may call itself.
    if (!args.empty()) throw Error("Script '" + name + "' takes no arguments");
    CheckDepth(name);
    const std::shared_ptr<const Unit> saved = Top().unit;
    Top().unit = unit;
    ++m_scriptDepth;
    m_calls.push_back({unit.get(), nullptr, 0});
    try {
        const auto native =
            m_nativeScripts.empty() ? m_nativeScripts.end() : m_nativeScripts.find(unit.get());
        if (native != m_nativeScripts.end())
            native->second();
        else
            RunStatements(*unit);
    } catch (...) {
        m_calls.pop_back();
        --m_scriptDepth;
        Top().unit = saved;
        throw;
    }
    m_calls.pop_back();
    --m_scriptDepth;
    Top().unit = saved;
    return {};
}

void Evaluator::RunHere(const std::shared_ptr<const Unit> &unit) {
    const std::size_t ends = m_ends.size();
    try {
        RunScript("keyboard", unit, {});
    } catch (...) {
        m_ends.resize(ends);
        m_located = false;
        throw;
    }
}

void Evaluator::Rethrow(const Error &error, std::vector<StackEntry> stack) {
    if (!stack.empty() && !m_located) {
        m_located = true;
        m_failedFile = stack.front().file;
        m_failedLine = stack.front().line;
        for (const StackEntry &frame : stack)
            if (frame.line > 0) {
                m_failedFile = frame.file;
                m_failedLine = frame.line;
                break;
            }
        m_failedStack = std::move(stack);
    }
    throw error;
}

Value Evaluator::EvaluateHere(const std::shared_ptr<const Unit> &unit) {
    const Block &statements = unit->program.statements;
    if (statements.size() != 1 || statements[0].kind != Stmt::Kind::Expression)
        throw Error("Expected one expression");
    Frame &frame = Top();
    std::vector<std::uint32_t> map;
    for (const std::string &name : unit->program.names) map.push_back(frame.Add(name));
    struct Restore {
        Evaluator &e;
        Frame &frame;
        const std::vector<std::uint32_t> *map;
        std::shared_ptr<const Unit> unit;
        std::size_t ends;
        ~Restore() {
            frame.map = map;
            frame.unit = std::move(unit);
            e.m_ends.resize(ends);
            e.Sync();
        }
    } restore{*this, frame, frame.map, frame.unit, m_ends.size()};
    frame.map = &map;
    frame.unit = unit;
    Sync();
    try {
        return Evaluate(*statements[0].value);
    } catch (...) {
        m_located = false;
        throw;
    }
}

std::vector<Value> Evaluator::CallUser(const std::shared_ptr<const Unit> &unit, const Function &f,
                                       const std::vector<Value> &args, unsigned int nargout) {
    std::vector<Value> out;
    RunUser(unit, f, args.data(), args.size(), nargout, &out, nullptr);
    return out;
}

void Evaluator::RunUser(const std::shared_ptr<const Unit> &unit, const Function &f,
                        const Value *args, std::size_t count, unsigned int nargout,
                        std::vector<Value> *outs, Value *first) {
    if (!m_natives.empty()) {
        const auto native = m_natives.find(&f);
        if (native != m_natives.end()) {
            std::vector<Value> out = native->second(std::vector<Value>(args, args + count), nargout);
            if (first) {
                if (out.empty()) throw Error("'" + f.name + "' returns no value");
                *first = std::move(out[0]);
            } else {
                for (Value &v : out) outs->push_back(std::move(v));
            }
            return;
        }
    }
    const bool varargin = f.varargin;
    const std::size_t named = f.params.size() - (varargin ? 1 : 0);
    CheckCallCounts(f, count, nargout);
    CheckDepth(f.name);
    Frame &frame = PushFrame(&f.names);
    // Field by field: a whole-struct store here is read back at once.
    Activation &call = m_calls.emplace_back();
    call.unit = unit.get();
    call.function = &f;
    call.line = f.line;
    struct Pop {
        Evaluator &e;
        ~Pop() {
            e.m_calls.pop_back();
            e.PopFrame();
        }
    } pop{*this};
    // A frame reused for the same function keeps its unit: no count to move.
    if (frame.unit != unit) frame.unit = unit;
    frame.function = &f;
    frame.nargin = static_cast<unsigned int>(count);
    frame.nargout = nargout;
    for (std::size_t k = 0; k < count && k < named; ++k)
        if (f.paramSlots[k] >= 0) frame.slots[static_cast<std::size_t>(f.paramSlots[k])] = args[k];
    if (varargin) {
        const auto extra = static_cast<unsigned int>(count > named ? count - named : 0);
        CellArray cell;
        cell.dims = {1, extra};
        if (extra) cell.items.assign(args + named, args + count);
        frame.slots[static_cast<std::size_t>(f.paramSlots.back())] = Value(std::move(cell));
    }
    Execute(f.body);
    // A script run in the function may have moved the frame's slots.
    CollectOutputs(
        f, [this](std::size_t s) -> Value & { return Top().slots[s]; }, nargout, outs, first);
}

std::vector<Value> Evaluator::CallAnonymous(const Handle &h, const std::vector<Value> &args,
                                            unsigned int nargout) {
    const std::vector<std::string> &params = h.anon->params;
    if (args.size() > params.size()) throw Error("Too many input arguments for '" + h.text + "'");
    CheckDepth(h.text);
    Frame &frame = PushFrame(&h.anon->scope);
    m_calls.push_back({h.unit.get(), nullptr, 0, &h});
    struct Pop {
        Evaluator &e;
        ~Pop() {
            e.m_calls.pop_back();
            e.PopFrame();
        }
    } pop{*this};
    frame.unit = h.unit;
    frame.slots = h.captured;
    Sync();
    for (std::size_t k = 0; k < args.size(); ++k)
        if (params[k] != "~") frame.slots[k] = args[k];
    try {
        if (!m_nativeBodies.empty()) {
            const auto native = m_nativeBodies.find(h.anon);
            if (native != m_nativeBodies.end()) return native->second(nargout);
        }
        return EvaluateMulti(*h.body, nargout);
    } catch (...) {
        // The body has no statement to place the failure: it takes the
        // caller's, with this function still on the stack.
        if (!m_located) {
            const Activation &caller = m_calls[m_calls.size() - 2];
            m_located = true;
            m_failedFile = caller.unit ? caller.unit->file : std::string();
            m_failedLine = caller.line;
            TakeStack();
        }
        throw;
    }
}

std::vector<Value> Evaluator::Invoke(const Value &f, const std::vector<Value> &args,
                                     unsigned int nargout) {
    if (f.IsHandle()) {
        const Handle &h = f.handle();
        if (h.body) return CallAnonymous(h, args, nargout);
        return CallFunction(h.name, args, nargout, h.unit);
    }
    std::string name;
    if (WordOf(f, name)) return CallFunction(name, args, nargout, Top().unit);
    throw Error("Expected a function handle or a function name");
}

std::pair<int, int> Evaluator::Arity(const Value &f) {
    std::string name;
    std::shared_ptr<const Unit> from = Top().unit;
    if (f.IsHandle()) {
        const Handle &h = f.handle();
        if (h.body) {
            const std::vector<std::string> &p = h.anon->params;
            const int n = static_cast<int>(p.size());
            return {!p.empty() && p.back() == "varargin" ? -n : n, -1};
        }
        name = h.name;
        from = h.unit;
    } else if (!WordOf(f, name)) {
        throw Error("Expected a function handle or a function name");
    }
    Found found;
    if (Resolve(name, from, found) && found.function) {
        const Function &fn = *found.function;
        const int in = static_cast<int>(fn.params.size());
        const int out = static_cast<int>(fn.outputs.size());
        const bool varargout = !fn.outputs.empty() && fn.outputs.back() == "varargout";
        return {fn.varargin ? -in : in, varargout ? -out : out};
    }
    if (const BuiltinEntry *b = FindBuiltin(name)) {
        const int in = b->max_inputs == kAny ? -static_cast<int>(b->min_inputs + 1)
                                             : static_cast<int>(b->max_inputs);
        return {in, b->max_outputs == kAny ? -1 : static_cast<int>(b->max_outputs)};
    }
    throw Error("'" + name + "' is not a function");
}

Value Evaluator::MakeHandle(const Expr &e) {
    auto h = std::make_shared<Handle>();
    h->unit = Top().unit;
    if (e.kind == Expr::Kind::FuncHandle) {
        h->name = e.text;
        h->text = "@" + e.text;
    } else {
        h->anon = &e;
        h->body = e.args[0].get();
        h->text = CompactText(e.text);
        h->captured.assign(e.scope.size(), Value::Unset());
        for (std::size_t k = 0; k < e.captures.size(); ++k)
            if (const Value *v = Lookup(e.captures[k])) h->captured[e.params.size() + k] = *v;
    }
    return Value(std::shared_ptr<const Handle>(std::move(h)));
}

}  // namespace mtrx
