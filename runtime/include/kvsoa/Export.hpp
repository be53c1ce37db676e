#pragma once

// Symbols of the runtime library that users may link against.
#if defined(_WIN32)
#  if defined(KVSOACOMMON_BUILD)
#    define KVSOA_API __declspec(dllexport)
#  else
#    define KVSOA_API __declspec(dllimport)
#  endif
#else
#  define KVSOA_API __attribute__((visibility("default")))
#endif
