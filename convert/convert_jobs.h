// Conversions of several logs at once: the walk decides what is converted
// and in which order it is handed out, and each worker converts one log at
// a time with an output plug-in of its own.
#ifndef TRACEWRIGHT_CONVERT_CONVERT_JOBS_H_
#define TRACEWRIGHT_CONVERT_CONVERT_JOBS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

struct ConvertJobs;
struct OutputPlugin;
struct WalkObserver;

/// Workers for the plug-ins in `plugins` (`count` of them, borrowed until
/// convert_jobs_finish), each converting with its own. With a single plug-in
/// no thread is started: every log is converted in the caller's thread when
/// it is handed out. Null when memory is short or no thread can be started
/// (the caller then converts alone). `observer` may be null; with several
/// workers its callbacks come from their threads.
[[nodiscard]] ConvertJobs* convert_jobs_start(OutputPlugin* const* plugins, size_t count,
                                              const WalkObserver* observer);
/// Converts the text log `input_path` (of `size` bytes) into `output_path`
/// on the next free worker, waiting while every worker is busy. Returns the
/// log's number, counted from 0 in the order logs are handed out.
uint64_t convert_jobs_submit(ConvertJobs* jobs, std::string_view input_path,
                             std::string_view output_path, int64_t size);
/// Waits until log number `job` has been converted.
void convert_jobs_wait(ConvertJobs* jobs, uint64_t job);
/// Waits for every log, stops the workers, frees `jobs` and returns the OR of
/// every log's result.
int convert_jobs_finish(ConvertJobs* jobs);

#endif  // TRACEWRIGHT_CONVERT_CONVERT_JOBS_H_
