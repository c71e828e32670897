// Access to the log facility's process-wide state for the unit tests, which
// must start each case from the state the process starts with. Product code
// never includes this header.
#ifndef TRACEWRIGHT_LOG_LOG_INTERNAL_H_
#define TRACEWRIGHT_LOG_LOG_INTERNAL_H_

#include <cstdint>
#include <ctime>

/// Restores the start-up state: threshold 0, the stderr sink, and a time
/// cache marked stale so that the next line fills it.
void log_reset_for_testing();

/// The cached local-time lookup of log_write, for a given second.
void log_local_time_for_testing(time_t second, struct tm* out);

#endif  // TRACEWRIGHT_LOG_LOG_INTERNAL_H_
