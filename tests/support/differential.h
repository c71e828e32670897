// Shared sizing for the differential tests, which hold a fast path against
// its C library or stb_sprintf reference over millions of generated values.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_DIFFERENTIAL_H_
#define TRACEWRIGHT_TESTS_SUPPORT_DIFFERENTIAL_H_

#include <cstddef>
#include <cstdlib>

/// How many generated cases a differential test runs when its full size is
/// `full`: all of them in an optimised build, an eighth without optimisation
/// (Debug and sanitizer builds, where the references run many times slower),
/// so that the whole suite stays within seconds. TRACEWRIGHT_DIFFERENTIAL_SCALE
/// (a positive number) multiplies the count, for a longer hunt by hand.
inline size_t differential_count(size_t full) {
#if defined(__OPTIMIZE__)
  size_t count = full;
#else
  size_t count = full / 8;
#endif
  if (const char* scale = getenv("TRACEWRIGHT_DIFFERENTIAL_SCALE")) {
    double factor = atof(scale);
    if (factor > 0) count = static_cast<size_t>(static_cast<double>(count) * factor);
  }
  return count > 0 ? count : 1;
}

#endif  // TRACEWRIGHT_TESTS_SUPPORT_DIFFERENTIAL_H_
