#pragma once
// Periodic timer service: user callbacks run at a fixed interval on a timer thread of their own,
// independently of the user-interface event loop.
//
// Threads. Every routine may be called from any thread, including from inside a timer callback
// (a callback may create, change or discard timers, its own among them). Callbacks of all timers
// run one at a time on one timer thread, without the service lock held. When DiscardAsyncTimer
// returns on a thread other than the timer thread, the discarded timers' last callback (the
// discard event) has been delivered and none of their callbacks is running or will run again;
// after DiscardAsyncTimer(-1) there, outside any callback, no discard event of a timer that ran
// out by itself is still running either.
// The timer thread exists only while at least one timer does.
//
// Timing. Ticks fall on a fixed grid from the moment the timer starts (a late tick does not
// push the next one back); after a stall longer than a period the missed ticks are dropped, not
// delivered in a burst. Intervals are whole milliseconds, at least one.

#include <cstdarg>
#include <cstdint>

// reserved is always 0; now is the service time in seconds, sinceLast the seconds since this
// timer's previous callback (since its creation for the first one). The result is ignored.
typedef int (*AsyncTimerCallbackPtr)(int reserved, int timerId, int event, intptr_t callbackData,
                                     double* now, double* sinceLast);

// Events handed to the callback.
constexpr int TimerEventTick = 15;     // one period has passed
constexpr int TimerEventDiscard = 16;  // the timer is being discarded; its last callback

// Attributes of SetAsyncTimerAttribute / GetAsyncTimerAttribute and the value type of each.
constexpr int TimerAttrInterval = 1;      // double, seconds (reported as whole milliseconds)
constexpr int TimerAttrCount = 2;         // int, ticks left; negative = unlimited
constexpr int TimerAttrEnabled = 3;       // int, 1 ticking, 0 ticks ignored
constexpr int TimerAttrCallbackData = 4;  // intptr_t
constexpr int TimerAttrCallback = 5;      // AsyncTimerCallbackPtr

// Status codes (0 = success).
constexpr int TimerErrNoSystemTimer = -1;      // no periodic timer facility (not returned here)
constexpr int TimerErrSystemTimerFailed = -2;  // the timer thread could not be started
constexpr int TimerErrNoIds = -3;              // the id counter has run out
constexpr int TimerErrNoMemory = -4;           // a timer record could not be allocated
constexpr int TimerErrBadId = -5;              // no active timer has this id
constexpr int TimerErrNoLock = -6;             // no service lock (not returned here)
constexpr int TimerErrBadArgument = -7;

// Minimum period of the timer thread; shorter intervals are raised to it.
constexpr int TimerMinPeriodMs = 1;

// Creates a timer that calls back every interval seconds (truncated to whole milliseconds),
// count times (negative = until discarded) and is then discarded at its next tick.
// initialState 1 starts it ticking, 0 creates it disabled. Returns the timer id (> 0; ids count
// from 1 and are reused, and restart at 1 once no timer is left) or a negative status:
// TimerErrBadArgument for count 0, initialState other than 0 or 1, or a negative, NaN or
// too large interval.
int NewAsyncTimer(double interval, int count, int initialState, AsyncTimerCallbackPtr callback,
                  intptr_t callbackData);

// Discards one timer, or every timer for timerId -1, delivering each one's discard event.
// Returns 0, or TimerErrBadId.
int DiscardAsyncTimer(int timerId);

// Stops (resumes) delivering ticks of every timer. Ticks that fall while suspended are
// dropped and do not use up counts. Return 0.
int SuspendAsyncTimerCallbacks();
int ResumeAsyncTimerCallbacks();

// Sets one attribute; the value follows as the type listed with the attribute. Changing the
// interval restarts the period from now. Returns 0, TimerErrBadArgument (unknown attribute,
// enabled not 0 or 1, bad interval), TimerErrBadId, or TimerErrSystemTimerFailed.
int SetAsyncTimerAttribute(int timerId, int attribute, ...);
int SetAsyncTimerAttributeFromParmInfo(int timerId, int attribute, va_list parmInfo);

// Reads one attribute into *value, which must point to the type listed with the attribute.
// Returns 0, TimerErrBadArgument (unknown attribute, null value) or TimerErrBadId.
int GetAsyncTimerAttribute(int timerId, int attribute, void* value);
