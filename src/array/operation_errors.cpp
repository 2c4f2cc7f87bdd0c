// src/array/operation_errors.cpp: messages of failed Array operations that name the operation and its operands.
#include <matrix/array.h>

#include <string>

namespace kiv {
namespace matrix {

namespace {

// The class name the language reports for an array; null is a double scalar.
const char *ClassName(const CMatrix *a) {
    if (!a) return "double";
    if (a->IsLogical()) return "logical";
    switch (a->GetClassID()) {
        case mxClassCell: return "cell";
        case mxClassStruct: return "struct";
        case mxClassChar: return "char";
        case mxClassSingle: return "single";
        case mxClassInt8: return "int8";
        case mxClassUint8: return "uint8";
        case mxClassInt16: return "int16";
        case mxClassUint16: return "uint16";
        case mxClassInt32: return "int32";
        case mxClassUint32: return "uint32";
        case mxClassInt64: return "int64";
        case mxClassUint64: return "uint64";
        default: return "double";
    }
}

// The class, with "complex " before it for a complex array: the library
// refuses many operations only for the complex ones.
std::string Described(const CMatrix *a) {
    return std::string(a && a->IsComplex() ? "complex " : "") + ClassName(a);
}

// "2x3" (every dimension); null is 1x1.
std::string SizeText(const CMatrix *a) {
    if (!a) return "1x1";
    std::string text;
    const unsigned int *d = a->GetDimensions();
    for (unsigned int k = 0; k < a->GetNoDimensions(); ++k) {
        if (k) text += 'x';
        text += std::to_string(d[k]);
    }
    return text;
}

// The messages hold ASCII here: each byte is one character.
kiv::WString Widen(const std::wstring &head, const std::string &tail) {
    std::wstring text = head;
    text.append(tail.begin(), tail.end());
    return kiv::WString(text.c_str());
}

// Replaces the message of `e` (its class stays as it is) with `text`.
void SetMessage(kiv::IException &e, const kiv::WString &text) { e = CFunctionErrorException(text); }

}  // namespace

std::string OperationNotDefinedLine(const char *operation, unsigned int operands, const CMatrix *a,
                                    const CMatrix *b) {
    std::string line = std::string("'") + operation + "' is not defined for ";
    if (operands >= 2)
        line += "operands of class " + Described(a) + " and " + Described(b);
    else
        line += "an operand of class " + Described(a);
    return line;
}

std::string OperandSizesText(const char *operation, const CMatrix *a, const CMatrix *b) {
    // The matrix product reads as "times"; the other operations by name.
    const std::string word = std::string(operation) == "mtimes" ? "times" : operation;
    return "(" + SizeText(a) + " " + word + " " + SizeText(b) + ")";
}

void RethrowForOperation(const char *operation, unsigned int operands, const CMatrix *a,
                         const CMatrix *b) {
    try {
        throw;
    } catch (CNotImplementedException &e) {
        // A message that has its second line already (a nested wrapper)
        // keeps it; a failure to build the text leaves the message as it was.
        try {
            const std::wstring message = e.GetMessage().c_str();
            if (message.find(L'\n') == std::wstring::npos)
                SetMessage(
                    e, Widen(message + L"\n", OperationNotDefinedLine(operation, operands, a, b)));
        } catch (...) {}
        throw;
    } catch (IMatrixException &e) {
        const bool dimensions = dynamic_cast<CInnerMatrixDimsMustAgreeException *>(&e) ||
                                dynamic_cast<CMatrixDimsMustAgreeException *>(&e) ||
                                dynamic_cast<CArrayDimsMustMatchForBinaryOpException *>(&e);
        if (dimensions && operands >= 2) {
            try {
                const std::wstring message = e.GetMessage().c_str();
                if (message.find(L'(') == std::wstring::npos)
                    SetMessage(e, Widen(message + L" ", OperandSizesText(operation, a, b)));
            } catch (...) {}
        }
        throw;
    }
}

}  // namespace matrix
}  // namespace kiv
