// include/kiv/export.h: symbol visibility macros of kiv0lang and kiv1math.
#ifndef KIV_EXPORT_H
#define KIV_EXPORT_H

#if defined(_WIN32)
#define KIV_EXPORT_DECL __declspec(dllexport)
#define KIV_IMPORT_DECL __declspec(dllimport)
#else
#define KIV_EXPORT_DECL __attribute__((visibility("default")))
#define KIV_IMPORT_DECL __attribute__((visibility("default")))
#endif

#if defined(KIV0LANG_BUILDING)
#define KIV0LANG_API KIV_EXPORT_DECL
#else
#define KIV0LANG_API KIV_IMPORT_DECL
#endif

#if defined(KIV1MATH_BUILDING)
#define KIV1MATH_API KIV_EXPORT_DECL
#else
#define KIV1MATH_API KIV_IMPORT_DECL
#endif

#endif  // KIV_EXPORT_H
