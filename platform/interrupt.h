// Leaving no half-written file behind when the user or the system stops the
// run: the writer names the temporary file it is writing, and a signal that
// ends the process removes that file first. main installs the handlers.
#ifndef TRACEWRIGHT_PLATFORM_INTERRUPT_H_
#define TRACEWRIGHT_PLATFORM_INTERRUPT_H_

#include <string_view>

/// Catches SIGINT, SIGTERM and SIGHUP: the handler removes the guarded file
/// (if any), restores the signal's default action and raises it again, so
/// the process ends at once and its parent sees the usual 128+n. Nothing
/// else of the run is undone: finished files and inputs stay as they are.
void interrupt_install();
/// Names the one file (full path) to remove when a signal ends the run,
/// replacing any earlier one. False, guarding nothing, when the path is
/// longer than the platform's limit; such a file could not be opened anyway.
[[nodiscard]] bool interrupt_guard_file(std::string_view path);
/// Forgets the guarded file (it was renamed or removed).
void interrupt_release_file();
/// While on, a signal that ends the run first clears the current line of
/// standard error (a terminal showing a progress line), so the shell's
/// prompt does not land behind a stale progress line.
void interrupt_clear_terminal_line(bool on);

#endif  // TRACEWRIGHT_PLATFORM_INTERRUPT_H_
