// Names of the hidden files kept beside a trace while it is made: the trace
// itself until it is whole, and the sorted runs its frames spill to. Each
// name carries the id of the thread that writes it (the process id with one
// worker), so neither runs of the tool nor workers of one run share a file.
#ifndef TRACEWRIGHT_OUTPUT_TEMPORARY_NAMES_H_
#define TRACEWRIGHT_OUTPUT_TEMPORARY_NAMES_H_

#include <string>
#include <string_view>

/// "<folder>/.<name>.<tid>.tmp" for the trace "<folder>/<name>", e.g.
/// logs/.00000001.asc.4711.tmp for logs/00000001.asc. It ends in ".tmp", so a
/// later walk over the folder passes it over. Only the first 200 bytes of the
/// name are used, so that a trace whose name is near the platform's limit of
/// 255 still gets one.
std::string temporary_trace_path(std::string_view trace_path);
/// "<folder>/.<name>.<tid>.run", shortened alike; each run appends its number.
std::string temporary_run_prefix(std::string_view trace_path);

#endif  // TRACEWRIGHT_OUTPUT_TEMPORARY_NAMES_H_
