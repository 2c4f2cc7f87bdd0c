// src/mtrx/runtime/library.cpp: the calls into a function compiled into a
// C++ library: the interpreter state it runs in, its order, and its
// failures as the library's exception.
#include "runtime/runtime.h"

#include "error.h"
#include "evaluator.h"

#include <kiv/exception.h>
#include <matrix/exceptions.h>
#include <matrix/order.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <mutex>
#include <string>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

// UTF-8 as the wide characters of a library message; a byte that starts no
// valid sequence stands for itself, as Latin-1.
kiv::WString Wide(const std::string &text) {
    std::wstring out;
    for (std::size_t k = 0; k < text.size();) {
        const auto c = static_cast<unsigned char>(text[k]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        char32_t code = length == 1 ? c : length == 2 ? (c & 0x1f) : length == 3 ? (c & 0x0f) : (c & 0x07);
        bool valid = length != 0 && k + length <= text.size();
        for (std::size_t j = 1; valid && j < length; ++j) {
            const auto d = static_cast<unsigned char>(text[k + j]);
            valid = (d >> 6) == 2;
            code = (code << 6) | (d & 0x3f);
        }
        if (!valid) {
            out += static_cast<wchar_t>(c);
            ++k;
            continue;
        }
        out += static_cast<wchar_t>(code);
        k += length;
    }
    return kiv::WString(out.c_str());
}

[[noreturn]] void Fail(const std::string &message) {
    throw km::CFunctionErrorException(Wide(message));
}

// Sets the interpreter's order for one call and gives the caller's back.
class OrderFor {
public:
    OrderFor() : m_saved(km::GetOrder()) {
        if (std::getenv("RUL2MTRX_ORDER") == nullptr) km::SetOrder(km::Order::kFast);
    }
    ~OrderFor() { km::SetOrder(m_saved); }
    OrderFor(const OrderFor &) = delete;
    OrderFor &operator=(const OrderFor &) = delete;

private:
    km::Order m_saved;
};

}  // namespace

Values Runtime::CallLibrary(const std::vector<SourceFile> &sources, Entry entry, Values args,
                            unsigned int nargout) {
    // The interpreter's state is not shared between threads: one call at
    // a time, whichever library it belongs to.
    static std::recursive_mutex lock;
    // Never destroyed: its interpreters outlive every static a call at exit
    // might still make, and stay reachable for leak checkers.
    static auto *runtimes = new std::map<const char *, Runtime *>();
    const std::lock_guard<std::recursive_mutex> guard(lock);
    const OrderFor order;
    try {
        Runtime *&rt = (*runtimes)[sources[0].text];
        if (!rt) {
            auto made = std::unique_ptr<Runtime, void (*)(Runtime *)>(new Runtime(),
                                                                      [](Runtime *r) { delete r; });
            made->Load(sources);
            Evaluator &e = *made->m_evaluator;
            e.Top().unit = made->m_units[0];
            e.m_calls.push_back({made->m_units[0].get(), nullptr, 0});
            rt = made.release();
        }
        Evaluator &e = *rt->m_evaluator;
        // As each call from the prompt starts: no failure located yet.
        e.m_located = false;
        e.m_failedLine = 0;
        return entry(*rt, args, nargout);
    } catch (const kiv::CExhaustedMemoryException &) {
        throw;
    } catch (const km::CFunctionErrorException &) {
        throw;
    } catch (const kiv::IException &error) {
        throw km::CFunctionErrorException(error.GetMessage());
    } catch (const ExitError &error) {
        Fail(std::string(sources[0].path) + ": exit(" + std::to_string(error.Status()) +
             ") called inside a compiled function");
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    } catch (const std::exception &error) {
        Fail(error.what());
    }
}

Value Runtime::LibraryInput(const km::Array &a, const char *function, const char *input) {
    if (!a.get()) Fail(std::string(function) + ": input '" + input + "' is a null (moved-from) array");
    return Value(a);
}

km::Array Runtime::LibraryOutput(const Values &outputs, std::size_t k, const char *function,
                                 const char *output) {
    if (k >= outputs.size())
        Fail(std::string(function) + ": output '" + output + "' was not returned");
    const Value &v = outputs[k];
    if (!v.IsArray())
        Fail(std::string(function) + ": output '" + output + "' is a " + v.ClassName() +
             "; only arrays are returned to C++");
    return v.array();
}

namespace {

// The name of item k of a list whose first `names` are named, the rest
// parts of `rest` (varargin or varargout).
std::string ItemName(std::size_t k, std::initializer_list<const char *> names, const char *rest) {
    if (k < names.size()) return names.begin()[k];
    return std::string(rest) + "{" + std::to_string(k - names.size() + 1) + "}";
}

}  // namespace

void Runtime::LibraryInputs(Values &args, const std::vector<km::Array> &inputs,
                            const char *function, std::initializer_list<const char *> names) {
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        const std::string name = ItemName(args.size(), names, "varargin");
        args.push_back(LibraryInput(inputs[k], function, name.c_str()));
    }
}

std::vector<km::Array> Runtime::LibraryOutputs(const Values &outputs, unsigned int nargout,
                                               const char *function,
                                               std::initializer_list<const char *> names) {
    std::vector<km::Array> out;
    out.reserve(nargout);
    for (std::size_t k = 0; k < nargout; ++k)
        out.push_back(LibraryOutput(outputs, k, function, ItemName(k, names, "varargout").c_str()));
    return out;
}

}  // namespace mtrx
