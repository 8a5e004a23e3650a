// Symbol export for the Kivrel shared library.
#ifndef KIVREL_EXPORT_H_
#define KIVREL_EXPORT_H_

#if defined(_WIN32)
#if defined(KIVREL_BUILDING_LIBRARY)
#define KIVREL_EXPORT __declspec(dllexport)
#else
#define KIVREL_EXPORT __declspec(dllimport)
#endif
#else
#define KIVREL_EXPORT __attribute__((visibility("default")))
#endif

#endif  // KIVREL_EXPORT_H_
