#pragma once
// Periodic system timer under the timer service: one scheduler thread on the monotonic clock
// delivers the ticks of every system timer, one at a time. The thread is started with the first
// timer and ends when the last one is stopped.

using SysTimerHandler = void (*)(int sysTimerId);

// Starts a timer whose handler is called every periodMs milliseconds (at least
// TimerMinPeriodMs), the first time one period from now. Returns its id (> 0), or 0 when
// memory or the scheduler thread could not be had.
int SysTimerStart(int periodMs, SysTimerHandler handler);

// Stops a timer: returns 0, or -1 for an unknown id. Called from outside the scheduler thread it
// waits until a tick of this timer in progress has returned, and, when no timer is left, until
// the scheduler thread has ended; called from a handler it returns at once.
int SysTimerStop(int sysTimerId);

// True on the scheduler thread, that is inside a handler.
bool SysTimerOnThread();
