#pragma once

// Symbols of the types library that users may link against.
#if defined(_WIN32)
#  if defined(KVSOAMESTYPES_BUILD)
#    define WI_API __declspec(dllexport)
#  else
#    define WI_API __declspec(dllimport)
#  endif
#  define WI_HIDDEN
#else
#  define WI_API __attribute__((visibility("default")))
#  define WI_HIDDEN __attribute__((visibility("hidden")))
#endif
