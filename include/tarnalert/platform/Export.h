// The one export macro of the library.
//
// The library is built with hidden symbol visibility; only the types and
// functions marked TARNALERT_EXPORT form its binary interface. The library's
// own build defines TARNALERT_COMPILE_LIBRARY (privately), which gives the
// marked names default visibility; in a consumer's code the macro is empty.
// It is written as a standard attribute so that it may follow others, as in
// `class [[nodiscard]] TARNALERT_EXPORT CYqError`.
#ifndef TARNALERT_PLATFORM_EXPORT_H_
#define TARNALERT_PLATFORM_EXPORT_H_

#if defined(TARNALERT_COMPILE_LIBRARY)
#define TARNALERT_EXPORT [[gnu::visibility("default")]]
#else
#define TARNALERT_EXPORT
#endif

#endif  // TARNALERT_PLATFORM_EXPORT_H_
