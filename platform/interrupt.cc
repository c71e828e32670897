// The signal handler may run between any two instructions of the run, so it
// uses only what is safe there: a fixed buffer written before a flag arms
// it, unlink, sigaction and raise.
#include "platform/interrupt.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <unistd.h>

// Process-wide, as signal dispositions are: the one temporary file being
// written. The path is complete before `g_guarded` becomes 1, and `g_guarded`
// is 0 while the path changes.
static char g_guarded_path[PATH_MAX];
static volatile sig_atomic_t g_guarded = 0;
static volatile sig_atomic_t g_clear_line = 0;

static const int kCaughtSignals[] = {SIGINT, SIGTERM, SIGHUP};

static void interrupt_handler(int signal_number) {
  if (g_guarded != 0) (void)unlink(g_guarded_path);
  if (g_clear_line != 0) {
    static const char kClearLine[] = "\r\033[K";
    (void)!write(2, kClearLine, sizeof kClearLine - 1);
  }
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  (void)sigaction(signal_number, &default_action, nullptr);
  // Blocked while the handler runs, the signal arrives as soon as it returns
  // and ends the process by its default action.
  (void)raise(signal_number);
}

void interrupt_install() {
  struct sigaction action {};
  action.sa_handler = interrupt_handler;
  // A second signal waits until the first one's handler is done.
  sigemptyset(&action.sa_mask);
  for (int caught : kCaughtSignals) sigaddset(&action.sa_mask, caught);
  for (int caught : kCaughtSignals) (void)sigaction(caught, &action, nullptr);
}

bool interrupt_guard_file(std::string_view path) {
  g_guarded = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (path.size() >= sizeof g_guarded_path) return false;
  memcpy(g_guarded_path, path.data(), path.size());
  g_guarded_path[path.size()] = '\0';
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_guarded = 1;
  return true;
}

void interrupt_release_file() {
  g_guarded = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

void interrupt_clear_terminal_line(bool on) { g_clear_line = on ? 1 : 0; }
