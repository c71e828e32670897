// Leaving no half-written file behind when the user or the system stops the
// run: each writer of temporary files names them in a guard slot of its own,
// and a signal that ends the process removes the files of every armed slot
// first. main installs the handlers.
#ifndef TRACEWRIGHT_PLATFORM_INTERRUPT_H_
#define TRACEWRIGHT_PLATFORM_INTERRUPT_H_

#include <cstdint>
#include <string_view>

/// Guard slots in the process: each writer converting at the same time
/// holds up to four temporary traces (ASC CAN and LIN, BLF, candump) and
/// the runs of its frame store. Untouched slots cost no memory.
constexpr int INTERRUPT_GUARD_SLOTS = 384;

/// Catches SIGINT, SIGTERM and SIGHUP: the handler removes the files of every
/// armed slot, restores the signal's default action and raises it again, so
/// the process ends at once and its parent sees the usual 128+n. Nothing
/// else of the run is undone: finished files and inputs stay as they are.
void interrupt_install();

/// Takes a free slot, disarmed, for the caller alone: a handle from 1 to
/// INTERRUPT_GUARD_SLOTS, or 0 when every slot is taken (0 is never a slot,
/// so a zeroed record holds none). Lock-free; any thread may call it.
[[nodiscard]] int interrupt_guard_acquire();
/// Disarms the slot and frees it; 0 does nothing.
void interrupt_guard_release(int slot);
/// Arms a taken slot to remove the file `path` (a full path), or with
/// `numbered` the files `<path>0` up to `<path><n-1>` for the count n set by
/// interrupt_guard_count (0 at first). False, with the slot disarmed, for
/// slot 0 or a path too long for the platform (no such file can be made).
[[nodiscard]] bool interrupt_guard_arm(int slot, std::string_view path, bool numbered);
/// Sets how many numbered files an armed slot covers. Raise it before the
/// next file is created, so that no file ever exists unguarded.
void interrupt_guard_count(int slot, uint32_t count);
/// Keeps the slot but guards nothing (its files were renamed or removed).
void interrupt_guard_disarm(int slot);

/// Brackets the making of a guarded file, from arming its slot (or raising
/// its count) to creating it; not nested. The calling thread holds the
/// caught signals back meanwhile, and a handler running in another thread
/// waits for every creation under way (up to a second, should one hang)
/// before it removes the files. A creation begun after a handler started
/// never returns: the process is ending.
void interrupt_create_begin();
/// Ends this thread's creation and lets its held signals in.
void interrupt_create_end();

/// While on, a signal that ends the run first clears the current line of
/// standard error (a terminal showing a progress line), so the shell's
/// prompt does not land behind a stale progress line.
void interrupt_clear_terminal_line(bool on);

#endif  // TRACEWRIGHT_PLATFORM_INTERRUPT_H_
