// The signal handler may run between any two instructions of any thread, so
// it uses only what is safe there: lock-free atomics, fixed buffers written
// while their slot is disarmed, unlink, write, nanosleep, sigaction and raise.
#include "platform/interrupt.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <ctime>
#include <pthread.h>
#include <unistd.h>

namespace {

enum SlotState : int {
  SLOT_FREE = 0,
  SLOT_TAKEN = 1,  // owned, guarding nothing: the handler passes it over
  SLOT_ARMED = 2,
};

/// Room behind a numbered path for the digits of any count.
constexpr size_t kNumberDigits = 10;

struct GuardSlot {
  std::atomic<int> state;
  std::atomic<uint32_t> count;  ///< numbered files covered
  bool numbered;
  size_t length;
  char path[PATH_MAX];
};

}  // namespace

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<uint32_t>::is_always_lock_free,
              "the handler may only touch lock-free atomics");

// Process-wide, as signal dispositions are. A slot's path and kind change
// only while it is not armed.
static GuardSlot g_slots[INTERRUPT_GUARD_SLOTS];
static volatile sig_atomic_t g_clear_line = 0;
// Other threads go on while the handler runs: one may create a file it armed
// after the handler removed that name. The handler first says it is
// stopping, then waits for the creations counted here; one begun later sees
// the stop and waits for the end instead.
static std::atomic<bool> g_stopping{false};
static std::atomic<int> g_creating{0};
static thread_local sigset_t t_mask_before_creation;

static const int kCaughtSignals[] = {SIGINT, SIGTERM, SIGHUP};

static GuardSlot* slot_of(int slot) {
  return slot >= 1 && slot <= INTERRUPT_GUARD_SLOTS ? &g_slots[slot - 1] : nullptr;
}

// memcpy and snprintf are not on the list of calls a handler may make.
static void remove_slot_files(const GuardSlot& slot) {
  char name[PATH_MAX + kNumberDigits + 1];
  for (size_t i = 0; i < slot.length; ++i) name[i] = slot.path[i];
  name[slot.length] = '\0';
  if (!slot.numbered) {
    (void)unlink(name);
    return;
  }
  uint32_t count = slot.count.load();
  for (uint32_t number = 0; number < count; ++number) {
    char digits[kNumberDigits];
    size_t used = 0;
    uint32_t rest = number;
    do {
      digits[used++] = static_cast<char>('0' + rest % 10);
      rest /= 10;
    } while (rest != 0);
    size_t end = slot.length;
    while (used > 0) name[end++] = digits[--used];
    name[end] = '\0';
    (void)unlink(name);
  }
}

static void interrupt_handler(int signal_number) {
  g_stopping.store(true);
  // This thread holds the signals back while it creates, so every creation
  // counted is another thread's. Two handlers may run at once; each waits
  // only for creations, never for the other.
  for (int waited = 0; g_creating.load() > 0 && waited < 10000; ++waited) {
    const struct timespec pause_time = {0, 100000};
    (void)nanosleep(&pause_time, nullptr);
  }
  for (const GuardSlot& slot : g_slots) {
    if (slot.state.load() == SLOT_ARMED) remove_slot_files(slot);
  }
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

int interrupt_guard_acquire() {
  for (int slot = 1; slot <= INTERRUPT_GUARD_SLOTS; ++slot) {
    int expected = SLOT_FREE;
    if (g_slots[slot - 1].state.compare_exchange_strong(expected, SLOT_TAKEN)) return slot;
  }
  return 0;
}

void interrupt_guard_release(int slot) {
  if (GuardSlot* guard = slot_of(slot)) guard->state.store(SLOT_FREE);
}

bool interrupt_guard_arm(int slot, std::string_view path, bool numbered) {
  GuardSlot* guard = slot_of(slot);
  if (guard == nullptr) return false;
  guard->state.store(SLOT_TAKEN);
  if (path.size() + (numbered ? kNumberDigits : 0) >= sizeof guard->path) return false;
  for (size_t i = 0; i < path.size(); ++i) guard->path[i] = path[i];
  guard->length = path.size();
  guard->numbered = numbered;
  guard->count.store(0);
  guard->state.store(SLOT_ARMED);
  return true;
}

void interrupt_guard_count(int slot, uint32_t count) {
  if (GuardSlot* guard = slot_of(slot)) guard->count.store(count);
}

void interrupt_guard_disarm(int slot) {
  int armed = SLOT_ARMED;
  if (GuardSlot* guard = slot_of(slot)) guard->state.compare_exchange_strong(armed, SLOT_TAKEN);
}

void interrupt_create_begin() {
  sigset_t caught;
  sigemptyset(&caught);
  for (int signal_number : kCaughtSignals) sigaddset(&caught, signal_number);
  (void)pthread_sigmask(SIG_BLOCK, &caught, &t_mask_before_creation);
  g_creating.fetch_add(1);
  if (!g_stopping.load()) return;
  // The handler may have removed the files already; the file must not come
  // after that. Its raise ends the process.
  g_creating.fetch_sub(1);
  (void)pthread_sigmask(SIG_SETMASK, &t_mask_before_creation, nullptr);
  for (;;) pause();
}

void interrupt_create_end() {
  g_creating.fetch_sub(1);
  (void)pthread_sigmask(SIG_SETMASK, &t_mask_before_creation, nullptr);
}

void interrupt_clear_terminal_line(bool on) { g_clear_line = on ? 1 : 0; }
