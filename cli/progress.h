// Progress output for a person watching the run: one self-updating line on
// standard error while the walk converts, and a summary line at its end.
// main creates it only when standard error is a terminal and the user did
// not ask for a non-interactive run.
#ifndef TRACEWRIGHT_CLI_PROGRESS_H_
#define TRACEWRIGHT_CLI_PROGRESS_H_

#include <cstddef>
#include <string>
#include <vector>

struct OutputPlugin;
struct Progress;
struct WalkObserver;

/// Counts the text logs that converting `inputs` with `plugin` will reach
/// (a walk that converts nothing) for the totals and takes over the log sink so that every log
/// line is written on a clean line; the first log the walk starts draws the first line. Null when
/// memory is short: the run then goes on without progress output.
/// `workers` is the number of plug-ins the walk converts with.
[[nodiscard]] Progress* progress_start(OutputPlugin* plugin, const std::vector<std::string>& inputs,
                                       size_t workers);

/// What the walk reports to. Null for a null progress.
const WalkObserver* progress_observer(Progress* progress);

/// Erases the line, writes the summary line, gives the log sink back and
/// frees the progress. Accepts null.
void progress_finish(Progress* progress);

#endif  // TRACEWRIGHT_CLI_PROGRESS_H_
