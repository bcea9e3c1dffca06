#include "timer/systimer.h"

#include <pthread.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <new>

#include "timer/asynctmr.h"

namespace {

using Clock = std::chrono::steady_clock;

struct SysTimer {
  int id;
  Clock::duration period;
  Clock::time_point deadline;
  SysTimerHandler handler;
  SysTimer* next;
};

// The thread is made with pthread_create rather than std::thread so that a failure to start it
// comes back as a status instead of an exception.
struct Scheduler {
  std::mutex lock;
  std::condition_variable wake;     // a timer was added or removed, or the thread must quit
  std::condition_variable changed;  // a tick returned, or the thread left its loop
  SysTimer* timers = nullptr;
  int nextId = 1;
  int firing = 0;         // id of the timer whose handler is running, 0 if none
  bool alive = false;     // the thread is in its loop and will see new timers
  bool joinable = false;  // `thread` has not been joined yet
  bool joining = false;   // a caller is joining `thread` with the lock released
  bool quit = false;
  pthread_t thread{};

  ~Scheduler();
};

Scheduler sched;

bool OnSchedulerThread() { return sched.alive && pthread_equal(pthread_self(), sched.thread) != 0; }

SysTimer* Find(int id) {
  for (SysTimer* t = sched.timers; t != nullptr; t = t->next) {
    if (t->id == id) return t;
  }
  return nullptr;
}

SysTimer* Earliest() {
  SysTimer* best = sched.timers;
  for (SysTimer* t = sched.timers; t != nullptr; t = t->next) {
    if (t->deadline < best->deadline) best = t;
  }
  return best;
}

void* SchedulerMain(void*) {
  std::unique_lock<std::mutex> hold(sched.lock);
  while (!sched.quit && sched.timers != nullptr) {
    SysTimer* due = Earliest();
    const Clock::time_point now = Clock::now();
    if (now < due->deadline) {
      const Clock::time_point deadline = due->deadline;  // `due` may be freed while waiting
      sched.wake.wait_until(hold, deadline);
      continue;  // the set of timers may have changed meanwhile
    }
    // The next deadline stays on the grid of the first one, so periods do not drift; after a
    // stall of more than a period the missed ticks are skipped rather than delivered in a burst.
    due->deadline += due->period;
    if (due->deadline <= now)
      due->deadline += ((now - due->deadline) / due->period + 1) * due->period;

    const int id = due->id;
    const SysTimerHandler handler = due->handler;
    sched.firing = id;
    hold.unlock();
    handler(id);
    hold.lock();
    sched.firing = 0;
    sched.changed.notify_all();
  }
  sched.alive = false;
  sched.changed.notify_all();
  return nullptr;
}

// Ends the thread once it has left its loop: waits with the lock held, joins with it released.
// Gives up if a timer appears meanwhile, since the thread then carries on; a second caller waits
// for the first one's join.
void EndThread(std::unique_lock<std::mutex>& hold) {
  sched.wake.notify_all();
  sched.changed.wait(hold, [] {
    return !sched.joinable || !sched.alive || (sched.timers != nullptr && !sched.quit);
  });
  if (!sched.joinable || sched.alive) return;
  if (sched.joining) {
    sched.changed.wait(hold, [] { return !sched.joining; });
    return;
  }
  sched.joining = true;
  const pthread_t thread = sched.thread;
  hold.unlock();
  pthread_join(thread, nullptr);
  hold.lock();
  sched.joining = false;
  sched.joinable = false;
  sched.changed.notify_all();
}

// At program exit the thread is stopped even if timers remain, so that it never runs into
// destroyed objects.
Scheduler::~Scheduler() {
  std::unique_lock<std::mutex> hold(lock);
  if (!joinable || OnSchedulerThread()) return;  // exit() called from a handler cannot join itself
  quit = true;
  EndThread(hold);
  while (timers != nullptr) {
    SysTimer* t = timers;
    timers = t->next;
    delete t;
  }
}

}  // namespace

int SysTimerStart(int periodMs, SysTimerHandler handler) {
  if (periodMs < TimerMinPeriodMs || handler == nullptr) return 0;
  SysTimer* timer = new (std::nothrow) SysTimer{};
  if (timer == nullptr) return 0;

  std::unique_lock<std::mutex> hold(sched.lock);
  sched.changed.wait(hold, [] { return !sched.joining; });
  if (!sched.alive) {
    // The previous thread has left its loop and only returns; reap it before starting anew.
    if (sched.joinable) {
      pthread_join(sched.thread, nullptr);
      sched.joinable = false;
    }
    sched.quit = false;
    if (pthread_create(&sched.thread, nullptr, SchedulerMain, nullptr) != 0) {
      delete timer;
      return 0;
    }
    sched.alive = true;
    sched.joinable = true;
  }

  int id = 0;
  do {
    id = sched.nextId;
    sched.nextId = sched.nextId == INT_MAX ? 1 : sched.nextId + 1;
  } while (Find(id) != nullptr);

  timer->id = id;
  timer->period = std::chrono::milliseconds(periodMs);
  timer->deadline = Clock::now() + timer->period;
  timer->handler = handler;
  timer->next = sched.timers;
  sched.timers = timer;
  sched.wake.notify_all();
  return id;
}

bool SysTimerOnThread() {
  std::lock_guard<std::mutex> hold(sched.lock);
  return OnSchedulerThread();
}

int SysTimerStop(int sysTimerId) {
  std::unique_lock<std::mutex> hold(sched.lock);
  SysTimer** link = &sched.timers;
  while (*link != nullptr && (*link)->id != sysTimerId) link = &(*link)->next;
  if (*link == nullptr) return -1;
  SysTimer* timer = *link;
  *link = timer->next;
  delete timer;

  // On the scheduler thread no other tick can be in progress, and the thread cannot join itself;
  // it ends by itself after this handler if no timer is left.
  if (OnSchedulerThread()) return 0;
  sched.changed.wait(hold, [sysTimerId] { return sched.firing != sysTimerId; });
  if (sched.timers == nullptr && sched.joinable) EndThread(hold);
  return 0;
}
