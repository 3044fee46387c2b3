// The one export macro of the library.
//
// The library is built with hidden symbol visibility; only the types and
// functions marked TARNALERT_EXPORT form its binary interface. Everything else
// stays internal to libtarnalert.so.
#ifndef TARNALERT_PLATFORM_EXPORT_H_
#define TARNALERT_PLATFORM_EXPORT_H_

#if defined(TARNALERT_STATIC_DEFINE)
#define TARNALERT_EXPORT
#else
#define TARNALERT_EXPORT __attribute__((visibility("default")))
#endif

#endif  // TARNALERT_PLATFORM_EXPORT_H_
