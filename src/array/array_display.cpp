// src/array/array_display.cpp: Array's display members, through the library's formatter.
#include <matrix/array.h>
#include <matrix/display.h>

#include <cstdio>
#include <ostream>

namespace kiv {
namespace matrix {

std::string Array::ToString(const std::string &name) const { return DisplayText(m_a, name); }

void Array::Disp() const {
    // Written as bytes, as kiv_wprintf writes its UTF-8, so the stream's
    // orientation stays as it was.
    const std::string text = DisplayText(m_a, std::string());
    std::fwrite(text.data(), 1, text.size(), stdout);
}

std::ostream &operator<<(std::ostream &out, const Array &a) { return out << a.ToString(); }

std::ostream &operator<<(std::ostream &out, ElementRef &&e) {
    return out << static_cast<double>(std::move(e));
}

}  // namespace matrix
}  // namespace kiv
