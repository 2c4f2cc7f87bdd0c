// include/kiv/print.h: formatted wide-character output.
#ifndef KIV_PRINT_H
#define KIV_PRINT_H

#include <kiv/export.h>

/// Formats like swprintf (%x, %d, %e, %ls, ...) and writes the text to
/// standard output as UTF-8. Output of any length is written whole. Standard
/// output stays byte-oriented, so calls may be mixed freely with printf.
/// Returns the number of wide characters written, or a negative value when
/// the format cannot be applied or the write fails.
KIV0LANG_API int kiv_wprintf(const wchar_t *format, ...);

#endif  // KIV_PRINT_H
