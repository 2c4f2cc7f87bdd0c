// include/matrix/export.h: symbol visibility macro of the array library.
#ifndef MATRIX_EXPORT_H
#define MATRIX_EXPORT_H

#if defined(_WIN32)
#if defined(MATRIX_BUILDING)
#define MATRIX_API __declspec(dllexport)
#else
#define MATRIX_API __declspec(dllimport)
#endif
#else
#define MATRIX_API __attribute__((visibility("default")))
#endif

#endif  // MATRIX_EXPORT_H
