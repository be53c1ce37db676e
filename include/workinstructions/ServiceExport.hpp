#pragma once

// Symbols of the service library that users may link against.
#if defined(_WIN32)
#  if defined(KVSOAMESSERVICE_BUILD)
#    define WI_SERVICE_API __declspec(dllexport)
#  else
#    define WI_SERVICE_API __declspec(dllimport)
#  endif
#  define WI_SERVICE_HIDDEN
#else
#  define WI_SERVICE_API __attribute__((visibility("default")))
/// Private parts of exported classes stay out of the library's interface.
#  define WI_SERVICE_HIDDEN __attribute__((visibility("hidden")))
#endif
