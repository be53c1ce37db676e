#pragma once

// Symbols of the runtime library that users may link against.
#if defined(_WIN32)
#  if defined(KVSOACOMMON_BUILD)
#    define KVSOA_API __declspec(dllexport)
#  else
#    define KVSOA_API __declspec(dllimport)
#  endif
#  define KVSOA_HIDDEN
#else
#  define KVSOA_API __attribute__((visibility("default")))
/// Private members of exported classes stay out of the library's interface.
#  define KVSOA_HIDDEN __attribute__((visibility("hidden")))
#endif
