#include "timer/asynctmr.h"

#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <new>

#include "timer/systimer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TimerRecord {
  int tmrId;
  AsyncTimerCallbackPtr tmrCallback;
  int tmrCount;       // ticks left; negative = unlimited
  int tmrIntervalMs;  // as reported back: never below the minimum period
  int tmrEnabled;
  int tmrSystemTimer;  // 0 until its system timer runs
  intptr_t tmrCallbackData;
  double tmrLastTime;  // service time of the previous callback, s
  TimerRecord* prev;
  TimerRecord* next;
};

// A record is reachable by other threads only while it is in the active list. Records being
// created or discarded are out of every list ("in hand") while their owner works on them with
// the lock released, so no other thread can change or free them meanwhile.
struct TimerService {
  TimerRecord* head = nullptr;  // active timers in increasing id order
  TimerRecord* tail = nullptr;
  TimerRecord* pool = nullptr;  // spare records, each keeping its id
  int inHand = 0;               // records out of both lists
  int discarding = 0;           // discards whose discard event is under way
  int nextId = 1;
  int callbacksEnabled = 1;
  bool timeBaseSet = false;
  Clock::time_point timeBase{};
};

std::mutex serviceLock;
std::condition_variable discardsDone;  // svc.discarding fell to 0
TimerService svc;
thread_local int discardsOnThisThread = 0;  // discard events this thread is delivering

// Seconds since the first query, in whole milliseconds.
double ServiceTime() {
  const Clock::time_point now = Clock::now();
  if (!svc.timeBaseSet) {
    svc.timeBase = now;
    svc.timeBaseSet = true;
    return 0.0;
  }
  return std::chrono::duration_cast<std::chrono::milliseconds>(now - svc.timeBase).count() / 1000.0;
}

// Interval in seconds to whole milliseconds (truncated); false for negative, NaN or too large.
bool IntervalMs(double seconds, int* ms) {
  if (!(seconds >= 0.0) || 1000.0 * seconds >= static_cast<double>(INT_MAX)) return false;
  *ms = static_cast<int>(std::trunc(1000.0 * seconds));
  return true;
}

int EffectivePeriodMs(int ms) { return ms < TimerMinPeriodMs ? TimerMinPeriodMs : ms; }

TimerRecord* FindById(int id) {
  // The list is sorted by id, so the search ends at the first larger one.
  for (TimerRecord* r = svc.head; r != nullptr && r->tmrId <= id; r = r->next) {
    if (r->tmrId == id) return r;
  }
  return nullptr;
}

TimerRecord* FindBySystemTimer(int sysTimerId) {
  for (TimerRecord* r = svc.head; r != nullptr; r = r->next) {
    if (r->tmrSystemTimer == sysTimerId) return r;
  }
  return nullptr;
}

// Reused ids come back from the pool out of order; inserting in place keeps the list sorted,
// which FindById relies on.
void LinkInOrder(TimerRecord* r) {
  TimerRecord* after = svc.tail;
  while (after != nullptr && after->tmrId > r->tmrId) after = after->prev;
  r->prev = after;
  r->next = after != nullptr ? after->next : svc.head;
  if (r->next != nullptr) {
    r->next->prev = r;
  } else {
    svc.tail = r;
  }
  if (after != nullptr) {
    after->next = r;
  } else {
    svc.head = r;
  }
}

void Unlink(TimerRecord* r) {
  if (r->prev != nullptr) {
    r->prev->next = r->next;
  } else {
    svc.head = r->next;
  }
  if (r->next != nullptr) {
    r->next->prev = r->prev;
  } else {
    svc.tail = r->prev;
  }
  r->prev = nullptr;
  r->next = nullptr;
}

// Puts a record in hand back into the pool. Once no timer is left and none is being created or
// discarded, the pool is freed and ids restart at 1; with any record still in hand, its id
// could otherwise be handed out twice.
void Retire(TimerRecord* r) {
  r->tmrSystemTimer = 0;
  r->tmrEnabled = 0;
  r->tmrCount = 0;
  r->tmrCallback = nullptr;
  r->tmrCallbackData = 0;
  r->next = svc.pool;
  svc.pool = r;
  --svc.inHand;
  if (svc.head == nullptr && svc.inHand == 0) {
    while (svc.pool != nullptr) {
      TimerRecord* spare = svc.pool;
      svc.pool = spare->next;
      delete spare;
    }
    svc.nextId = 1;
  }
}

// What a callback needs, copied from its record under the lock: the callback runs with the
// lock released, when the record may already be reused.
struct PendingCallback {
  AsyncTimerCallbackPtr callback;
  int id;
  int event;
  intptr_t data;
  double now;
  double sinceLast;

  void Deliver() {
    if (callback != nullptr) callback(0, id, event, data, &now, &sinceLast);
  }
};

// Stamps the record with the service time of this callback.
PendingCallback TakeCallback(TimerRecord* r, int event) {
  const double now = ServiceTime();
  const double sinceLast = now - r->tmrLastTime;
  r->tmrLastTime = now;
  return PendingCallback{r->tmrCallback, r->tmrId, event, r->tmrCallbackData, now, sinceLast};
}

// Discards an active timer; the lock is held on entry and on return. The system timer is stopped
// and the discard event delivered with the lock released, the record being in hand by then.
void Discard(TimerRecord* r, std::unique_lock<std::mutex>& hold) {
  r->tmrEnabled = 0;
  Unlink(r);
  ++svc.inHand;
  PendingCallback call = TakeCallback(r, TimerEventDiscard);
  const int sysTimer = r->tmrSystemTimer;
  ++svc.discarding;
  hold.unlock();
  SysTimerStop(sysTimer);
  ++discardsOnThisThread;
  call.Deliver();
  --discardsOnThisThread;
  hold.lock();
  Retire(r);
  if (--svc.discarding == 0) discardsDone.notify_all();
}

// Runs on the scheduler thread for every period of every timer. The record is found again by its
// system timer under the lock, so a tick that races with a discard finds nothing to do.
void Tick(int sysTimerId) {
  std::unique_lock<std::mutex> hold(serviceLock);
  if (!svc.callbacksEnabled) return;
  TimerRecord* r = FindBySystemTimer(sysTimerId);
  if (r == nullptr || !r->tmrEnabled) return;
  if (r->tmrCount == 0) {
    Discard(r, hold);
    return;
  }
  if (r->tmrCount > 0) --r->tmrCount;
  PendingCallback call = TakeCallback(r, TimerEventTick);
  hold.unlock();
  call.Deliver();
}

// Gives an active timer a new period. The lock is released while system timers are started and
// stopped (a tick in progress may be waiting for it), so the record is looked up again between;
// of two threads changing the interval at once, the later one wins and each stops the system
// timer it displaced.
int ChangeInterval(int id, int periodMs) {
  const int newSysTimer = SysTimerStart(periodMs, Tick);
  if (newSysTimer == 0) return TimerErrSystemTimerFailed;
  int displaced = newSysTimer;  // if the timer went away meanwhile, the new one goes too
  {
    std::lock_guard<std::mutex> hold(serviceLock);
    TimerRecord* r = FindById(id);
    if (r != nullptr) {
      displaced = r->tmrSystemTimer;  // from here its ticks find no record
      r->tmrSystemTimer = newSysTimer;
      r->tmrIntervalMs = periodMs;
    }
  }
  SysTimerStop(displaced);
  return displaced == newSysTimer ? TimerErrBadId : 0;
}

}  // namespace

int NewAsyncTimer(double interval, int count, int initialState, AsyncTimerCallbackPtr callback,
                  intptr_t callbackData) {
  int ms = 0;
  if (!IntervalMs(interval, &ms) || (initialState != 0 && initialState != 1) || count == 0) {
    return TimerErrBadArgument;
  }

  std::unique_lock<std::mutex> hold(serviceLock);
  TimerRecord* r = svc.pool;
  if (r != nullptr) {
    svc.pool = r->next;
  } else {
    if (svc.nextId <= 0) return TimerErrNoIds;
    r = new (std::nothrow) TimerRecord{};
    if (r == nullptr) return TimerErrNoMemory;
    r->tmrId = svc.nextId;
    svc.nextId = svc.nextId == INT_MAX ? 0 : svc.nextId + 1;
  }
  ++svc.inHand;
  r->prev = nullptr;
  r->next = nullptr;
  r->tmrEnabled = 0;
  r->tmrCount = count;
  r->tmrIntervalMs = EffectivePeriodMs(ms);
  r->tmrCallback = callback;
  r->tmrCallbackData = callbackData;
  r->tmrLastTime = ServiceTime();  // the first tick then reports about one period
  const int periodMs = r->tmrIntervalMs;
  hold.unlock();

  const int sysTimer = SysTimerStart(periodMs, Tick);

  hold.lock();
  if (sysTimer == 0) {
    Retire(r);
    return TimerErrSystemTimerFailed;
  }
  r->tmrSystemTimer = sysTimer;
  r->tmrEnabled = initialState;
  LinkInOrder(r);
  --svc.inHand;
  return r->tmrId;
}

int DiscardAsyncTimer(int timerId) {
  // A callback cannot wait for the discard events under way: its own may be one of them.
  const bool inCallback = discardsOnThisThread > 0 || SysTimerOnThread();
  std::unique_lock<std::mutex> hold(serviceLock);
  if (timerId == -1) {
    while (svc.head != nullptr) Discard(svc.head, hold);
    // A timer that ran out by itself is no longer in the list but may still be delivering its
    // discard event; a caller about to free what the callbacks use must not return before it.
    if (!inCallback) discardsDone.wait(hold, [] { return svc.discarding == 0; });
    return 0;
  }
  TimerRecord* r = FindById(timerId);
  if (r == nullptr) return TimerErrBadId;
  Discard(r, hold);
  return 0;
}

int SuspendAsyncTimerCallbacks() {
  std::lock_guard<std::mutex> hold(serviceLock);
  svc.callbacksEnabled = 0;
  return 0;
}

int ResumeAsyncTimerCallbacks() {
  std::lock_guard<std::mutex> hold(serviceLock);
  svc.callbacksEnabled = 1;
  return 0;
}

int SetAsyncTimerAttribute(int timerId, int attribute, ...) {
  va_list args;
  va_start(args, attribute);
  const int status = SetAsyncTimerAttributeFromParmInfo(timerId, attribute, args);
  va_end(args);
  return status;
}

int SetAsyncTimerAttributeFromParmInfo(int timerId, int attribute, va_list parmInfo) {
  std::unique_lock<std::mutex> hold(serviceLock);
  if (attribute < TimerAttrInterval || attribute > TimerAttrCallback) return TimerErrBadArgument;
  TimerRecord* r = FindById(timerId);
  if (r == nullptr) return TimerErrBadId;

  switch (attribute) {
    case TimerAttrInterval: {
      int ms = 0;
      if (!IntervalMs(va_arg(parmInfo, double), &ms)) return TimerErrBadArgument;
      hold.unlock();
      return ChangeInterval(timerId, EffectivePeriodMs(ms));
    }
    case TimerAttrCount: r->tmrCount = va_arg(parmInfo, int); return 0;
    case TimerAttrEnabled: {
      const int enabled = va_arg(parmInfo, int);
      if (enabled != 0 && enabled != 1) return TimerErrBadArgument;
      r->tmrEnabled = enabled;
      return 0;
    }
    case TimerAttrCallbackData: r->tmrCallbackData = va_arg(parmInfo, intptr_t); return 0;
    default: r->tmrCallback = va_arg(parmInfo, AsyncTimerCallbackPtr); return 0;
  }
}

int GetAsyncTimerAttribute(int timerId, int attribute, void* value) {
  std::lock_guard<std::mutex> hold(serviceLock);
  if (attribute < TimerAttrInterval || attribute > TimerAttrCallback || value == nullptr) {
    return TimerErrBadArgument;
  }
  const TimerRecord* r = FindById(timerId);
  if (r == nullptr) return TimerErrBadId;

  switch (attribute) {
    case TimerAttrInterval: *static_cast<double*>(value) = r->tmrIntervalMs / 1000.0; break;
    case TimerAttrCount: *static_cast<int*>(value) = r->tmrCount; break;
    case TimerAttrEnabled: *static_cast<int*>(value) = r->tmrEnabled; break;
    case TimerAttrCallbackData: *static_cast<intptr_t*>(value) = r->tmrCallbackData; break;
    default: *static_cast<AsyncTimerCallbackPtr*>(value) = r->tmrCallback; break;
  }
  return 0;
}
