#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "timer/asynctmr.h"

namespace {

using namespace std::chrono_literals;

// Only a guard against hangs: no test depends on how fast the timer thread runs.
constexpr auto kHangGuard = 30s;

struct Event {
  int reserved;
  int timerId;
  int event;
  double now;
  double sinceLast;
};

// Collects the callbacks of one or more timers; callbackData points to it.
struct Recorder {
  std::mutex lock;
  std::condition_variable added;
  std::vector<Event> events;
  std::atomic<int> selfStatus{1};  // result of a call made from inside the callback

  void Add(const Event& e) {
    std::lock_guard<std::mutex> hold(lock);
    events.push_back(e);
    added.notify_all();
  }
  bool WaitUntil(const std::function<bool(const std::vector<Event>&)>& done) {
    std::unique_lock<std::mutex> hold(lock);
    return added.wait_for(hold, kHangGuard, [&] { return done(events); });
  }
  bool WaitForDiscard(int id) {
    return WaitUntil([id](const std::vector<Event>& ev) {
      for (const Event& e : ev) {
        if (e.timerId == id && e.event == TimerEventDiscard) return true;
      }
      return false;
    });
  }
  std::vector<int> Kinds(int id) {
    std::lock_guard<std::mutex> hold(lock);
    std::vector<int> kinds;
    for (const Event& e : events) {
      if (e.timerId == id) kinds.push_back(e.event);
    }
    return kinds;
  }
};

Recorder* Rec(intptr_t data) { return reinterpret_cast<Recorder*>(data); }
intptr_t Data(Recorder& r) { return reinterpret_cast<intptr_t>(&r); }

int Record(int reserved, int timerId, int event, intptr_t data, double* now, double* sinceLast) {
  Rec(data)->Add({reserved, timerId, event, *now, *sinceLast});
  return 0;
}

// Discards its own timer at its first tick.
int DiscardSelf(int reserved, int timerId, int event, intptr_t data, double* now,
                double* sinceLast) {
  Record(reserved, timerId, event, data, now, sinceLast);
  if (event == TimerEventTick) Rec(data)->selfStatus = DiscardAsyncTimer(timerId);
  return 0;
}

// Doubles its own interval at its first tick.
int ChangeOwnInterval(int reserved, int timerId, int event, intptr_t data, double* now,
                      double* sinceLast) {
  Record(reserved, timerId, event, data, now, sinceLast);
  if (event == TimerEventTick && Rec(data)->selfStatus == 1) {
    Rec(data)->selfStatus = SetAsyncTimerAttribute(timerId, TimerAttrInterval, 0.002);
  }
  return 0;
}

// Blocks its first tick until released, then marks the tick's end with event 0.
int SlowTick(int reserved, int timerId, int event, intptr_t data, double* now, double* sinceLast) {
  Record(reserved, timerId, event, data, now, sinceLast);
  if (event == TimerEventTick && Rec(data)->selfStatus.exchange(0) == 1) {
    std::this_thread::sleep_for(50ms);
    Rec(data)->Add({0, timerId, 0, 0.0, 0.0});
  }
  return 0;
}

// Holds up its discard event until the test sets `release`.
std::atomic<bool> release{false};
int SlowDiscard(int reserved, int timerId, int event, intptr_t data, double* now,
                double* sinceLast) {
  Record(reserved, timerId, event, data, now, sinceLast);
  while (event == TimerEventDiscard && !release) std::this_thread::sleep_for(1ms);
  return 0;
}

int TaskCount() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(dir)) n += entry->d_name[0] != '.';
    closedir(dir);
  }
  return n;
}

// A joined thread may linger in /proc for a moment after its join, one of an earlier test too
// (then the count falls below the baseline): only a count above it means a thread outlived its
// timers.
bool TaskCountReturnsTo(int n) {
  const auto end = std::chrono::steady_clock::now() + kHangGuard;
  while (TaskCount() > n) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Every test starts and ends with no timer, so ids count from 1; the recorders are members so
// that they outlive any timer a failed test leaves behind.
class AsyncTimer : public ::testing::Test {
 protected:
  void SetUp() override {
    ResumeAsyncTimerCallbacks();
    DiscardAsyncTimer(-1);
    // A timer thread that ended by itself (its last timer discarded from a callback) may still
    // be on its way out; one made and discarded here is joined before DiscardAsyncTimer returns,
    // so thread counts taken by the test start from a quiet process.
    DiscardAsyncTimer(NewAsyncTimer(1.0, 1, 0, nullptr, 0));
  }
  void TearDown() override {
    ResumeAsyncTimerCallbacks();
    DiscardAsyncTimer(-1);
  }
  Recorder rec, other;
};

TEST_F(AsyncTimer, CountedTimerTicksCountTimesThenDiscards) {
  const int id = NewAsyncTimer(0.001, 3, 1, Record, Data(rec));
  ASSERT_EQ(id, 1);
  ASSERT_TRUE(rec.WaitForDiscard(id));
  EXPECT_EQ(rec.Kinds(id),
            (std::vector<int>{TimerEventTick, TimerEventTick, TimerEventTick, TimerEventDiscard}));

  for (size_t k = 0; k < rec.events.size(); ++k) {
    EXPECT_EQ(rec.events[k].reserved, 0);
    EXPECT_GE(rec.events[k].sinceLast, 0.0);
    if (k > 0) {
      EXPECT_GE(rec.events[k].now, rec.events[k - 1].now);
      EXPECT_DOUBLE_EQ(rec.events[k].sinceLast, rec.events[k].now - rec.events[k - 1].now);
    }
  }
  int count = 0;
  EXPECT_EQ(DiscardAsyncTimer(id), TimerErrBadId);
  EXPECT_EQ(GetAsyncTimerAttribute(id, TimerAttrCount, &count), TimerErrBadId);
  EXPECT_EQ(SetAsyncTimerAttribute(id, TimerAttrCount, 5), TimerErrBadId);
}

TEST_F(AsyncTimer, RejectsBadCreationArguments) {
  EXPECT_EQ(NewAsyncTimer(0.01, 0, 1, Record, Data(rec)), TimerErrBadArgument);
  EXPECT_EQ(NewAsyncTimer(0.01, 1, 2, Record, Data(rec)), TimerErrBadArgument);
  EXPECT_EQ(NewAsyncTimer(0.01, 1, -1, Record, Data(rec)), TimerErrBadArgument);
  EXPECT_EQ(NewAsyncTimer(-1.0, 1, 1, Record, Data(rec)), TimerErrBadArgument);
  EXPECT_EQ(NewAsyncTimer(-0.0001, 1, 1, Record, Data(rec)), TimerErrBadArgument);
  EXPECT_EQ(NewAsyncTimer(std::nan(""), 1, 1, Record, Data(rec)), TimerErrBadArgument);
  EXPECT_EQ(NewAsyncTimer(1e10, 1, 1, Record, Data(rec)), TimerErrBadArgument);
  // Nothing was left behind: the next timer is the first.
  EXPECT_EQ(NewAsyncTimer(1.0, 1, 0, Record, Data(rec)), 1);
}

TEST_F(AsyncTimer, IdsCountFromOneAreReusedAndRestart) {
  EXPECT_EQ(NewAsyncTimer(1.0, -1, 0, Record, Data(rec)), 1);
  EXPECT_EQ(NewAsyncTimer(1.0, -1, 0, Record, Data(rec)), 2);
  EXPECT_EQ(NewAsyncTimer(1.0, -1, 0, Record, Data(rec)), 3);
  EXPECT_EQ(DiscardAsyncTimer(2), 0);
  EXPECT_EQ(NewAsyncTimer(1.0, -1, 0, Record, Data(rec)), 2);
  // The reused id sits among the others and can be found and discarded again.
  EXPECT_EQ(DiscardAsyncTimer(2), 0);
  EXPECT_EQ(DiscardAsyncTimer(0), TimerErrBadId);
  EXPECT_EQ(DiscardAsyncTimer(-2), TimerErrBadId);
  EXPECT_EQ(DiscardAsyncTimer(4), TimerErrBadId);

  EXPECT_EQ(DiscardAsyncTimer(-1), 0);
  EXPECT_EQ(rec.Kinds(1), std::vector<int>{TimerEventDiscard});
  EXPECT_EQ(rec.Kinds(3), std::vector<int>{TimerEventDiscard});
  EXPECT_EQ(DiscardAsyncTimer(-1), 0);
  EXPECT_EQ(NewAsyncTimer(1.0, -1, 0, Record, Data(rec)), 1);
}

// Sleeping gives the timer thread time to deliver ticks that must be dropped; should none fall
// on a loaded machine the test is weaker, never wrong.
TEST_F(AsyncTimer, SuspendedOrDisabledTicksDoNotUseUpCounts) {
  ASSERT_EQ(SuspendAsyncTimerCallbacks(), 0);
  const int suspended = NewAsyncTimer(0.001, 2, 1, Record, Data(rec));
  const int disabled = NewAsyncTimer(0.001, 2, 0, Record, Data(other));
  std::this_thread::sleep_for(50ms);
  int count = 0;
  EXPECT_EQ(GetAsyncTimerAttribute(suspended, TimerAttrCount, &count), 0);
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(rec.Kinds(suspended).empty());

  ASSERT_EQ(ResumeAsyncTimerCallbacks(), 0);
  ASSERT_TRUE(rec.WaitForDiscard(suspended));
  EXPECT_EQ(rec.Kinds(suspended),
            (std::vector<int>{TimerEventTick, TimerEventTick, TimerEventDiscard}));

  EXPECT_EQ(GetAsyncTimerAttribute(disabled, TimerAttrCount, &count), 0);
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(other.Kinds(disabled).empty());
  ASSERT_EQ(SetAsyncTimerAttribute(disabled, TimerAttrEnabled, 1), 0);
  ASSERT_TRUE(other.WaitForDiscard(disabled));
  EXPECT_EQ(other.Kinds(disabled),
            (std::vector<int>{TimerEventTick, TimerEventTick, TimerEventDiscard}));
}

TEST_F(AsyncTimer, CallbackMayDiscardItsOwnTimer) {
  const int baseline = TaskCount();
  const int id = NewAsyncTimer(0.001, -1, 1, DiscardSelf, Data(rec));
  ASSERT_TRUE(rec.WaitForDiscard(id));
  // The timer thread ends by itself once the callback returns; no tick can follow.
  ASSERT_TRUE(TaskCountReturnsTo(baseline));
  EXPECT_EQ(rec.selfStatus, 0);
  EXPECT_EQ(rec.Kinds(id), (std::vector<int>{TimerEventTick, TimerEventDiscard}));
  // A new timer after that starts a fresh thread.
  const int next = NewAsyncTimer(0.001, 1, 1, Record, Data(other));
  EXPECT_EQ(next, 1);
  ASSERT_TRUE(other.WaitForDiscard(next));
}

TEST_F(AsyncTimer, CallbackMayChangeItsOwnInterval) {
  const int id = NewAsyncTimer(0.001, 3, 1, ChangeOwnInterval, Data(rec));
  ASSERT_TRUE(rec.WaitForDiscard(id));
  EXPECT_EQ(rec.selfStatus, 0);
  EXPECT_EQ(rec.Kinds(id),
            (std::vector<int>{TimerEventTick, TimerEventTick, TimerEventTick, TimerEventDiscard}));
}

TEST_F(AsyncTimer, NoThreadOutlivesTheLastTimer) {
  const int baseline = TaskCount();
  for (int round = 0; round < 20; ++round) {
    Recorder r;
    std::vector<int> ids;
    for (int k = 0; k < 3; ++k) ids.push_back(NewAsyncTimer(0.001, -1, 1, Record, Data(r)));
    ASSERT_TRUE(r.WaitUntil([](const std::vector<Event>& ev) { return ev.size() >= 3; }));
    if (round % 2 == 0) {
      ASSERT_EQ(DiscardAsyncTimer(-1), 0);
    } else {
      for (int id : ids) ASSERT_EQ(DiscardAsyncTimer(id), 0);
    }
    ASSERT_TRUE(TaskCountReturnsTo(baseline)) << "round " << round;
  }
  const int id = NewAsyncTimer(0.001, 2, 1, Record, Data(rec));
  ASSERT_TRUE(rec.WaitForDiscard(id));
  EXPECT_TRUE(TaskCountReturnsTo(baseline));
}

// Timers that run down and discard themselves while the test discards them all: each must see
// exactly one discard event, last, and none may be used after it is freed (sanitizers watch).
TEST_F(AsyncTimer, DiscardAllBesideRunningTicks) {
  for (int round = 0; round < 30; ++round) {
    Recorder r;
    std::vector<int> ids;
    for (int k = 0; k < 6; ++k) ids.push_back(NewAsyncTimer(0.001, 1 + k % 3, 1, Record, Data(r)));
    const size_t wanted = 2 + round % 4;  // vary the moment of the discard
    ASSERT_TRUE(
        r.WaitUntil([wanted](const std::vector<Event>& ev) { return ev.size() >= wanted; }));
    ASSERT_EQ(DiscardAsyncTimer(-1), 0);
    // Discard events are delivered before DiscardAsyncTimer returns, and nothing follows them.
    for (int id : ids) {
      const std::vector<int> kinds = r.Kinds(id);
      ASSERT_FALSE(kinds.empty());
      EXPECT_EQ(kinds.back(), TimerEventDiscard) << "round " << round << " id " << id;
      EXPECT_EQ(std::count(kinds.begin(), kinds.end(), TimerEventDiscard), 1);
    }
  }
}

// Holds up its discard event for 100 ms, then marks its end with event 0.
int SlowLastCallback(int reserved, int timerId, int event, intptr_t data, double* now,
                     double* sinceLast) {
  Record(reserved, timerId, event, data, now, sinceLast);
  if (event == TimerEventDiscard) {
    std::this_thread::sleep_for(100ms);
    Rec(data)->Add({0, timerId, 0, 0.0, 0.0});
  }
  return 0;
}

// A timer that ran out delivers its discard event on the timer thread; a discard-all made
// meanwhile (as at shutdown, before the callbacks' data go) returns only after it. Should the
// discarding thread be slower than the 100 ms event the test is weaker, never wrong.
TEST_F(AsyncTimer, DiscardAllWaitsForTheDiscardEventOfATimerThatRanOut) {
  const int id = NewAsyncTimer(0.001, 1, 1, SlowLastCallback, Data(rec));
  ASSERT_TRUE(rec.WaitForDiscard(id));
  ASSERT_EQ(DiscardAsyncTimer(-1), 0);
  EXPECT_EQ(rec.Kinds(id), (std::vector<int>{TimerEventTick, TimerEventDiscard, 0}));
}

// The discard waits for a tick in progress on the timer thread: the discard event comes after
// the slow tick's end. Should the discarding thread be slower than the 50 ms tick, more ticks
// may come first and the test is weaker, never wrong.
TEST_F(AsyncTimer, DiscardWaitsForTheTickInProgress) {
  NewAsyncTimer(10.0, -1, 0, nullptr, 0);  // keeps the timer thread going after the discard
  const int id = NewAsyncTimer(0.001, -1, 1, SlowTick, Data(rec));
  ASSERT_TRUE(rec.WaitUntil([](const std::vector<Event>& ev) { return !ev.empty(); }));
  ASSERT_EQ(DiscardAsyncTimer(id), 0);
  const std::vector<int> kinds = rec.Kinds(id);
  ASSERT_GE(kinds.size(), 3u);
  EXPECT_EQ(kinds[0], TimerEventTick);
  EXPECT_EQ(kinds[1], 0);
  EXPECT_EQ(kinds.back(), TimerEventDiscard);
  EXPECT_EQ(std::count(kinds.begin() + 2, kinds.end() - 1, TimerEventTick),
            static_cast<std::ptrdiff_t>(kinds.size()) - 3);
}

// While one timer's discard is still under way, the last other one goes and new ones come:
// the id of the one under way must not be handed out twice.
TEST_F(AsyncTimer, IdsStayUniqueWhileADiscardIsUnderWay) {
  release = false;
  const int slow = NewAsyncTimer(10.0, -1, 0, SlowDiscard, Data(rec));
  const int quick = NewAsyncTimer(10.0, -1, 0, nullptr, 0);
  std::thread discarding([slow] { DiscardAsyncTimer(slow); });
  ASSERT_TRUE(rec.WaitForDiscard(slow));
  ASSERT_EQ(DiscardAsyncTimer(quick), 0);
  const int first = NewAsyncTimer(10.0, -1, 0, nullptr, 1);
  release = true;
  discarding.join();
  const int second = NewAsyncTimer(10.0, -1, 0, nullptr, 2);
  EXPECT_GT(first, 0);
  EXPECT_GT(second, 0);
  EXPECT_NE(first, second);
  intptr_t data = 0;
  ASSERT_EQ(GetAsyncTimerAttribute(first, TimerAttrCallbackData, &data), 0);
  EXPECT_EQ(data, 1);
}

TEST_F(AsyncTimer, ConcurrentCreationGivesDistinctIds) {
  std::vector<int> ids[2];
  auto create = [&](int who) {
    for (int k = 0; k < 50; ++k)
      ids[who].push_back(NewAsyncTimer(10.0, -1, 0, nullptr, 1000 * who + k));
  };
  std::thread a(create, 0), b(create, 1);
  a.join();
  b.join();
  std::set<int> all(ids[0].begin(), ids[0].end());
  all.insert(ids[1].begin(), ids[1].end());
  ASSERT_EQ(all.size(), 100u);
  EXPECT_EQ(*all.begin(), 1);
  EXPECT_EQ(*all.rbegin(), 100);

  // Create and discard from both sides, so ids pass through the pool: each id must still name
  // one timer only, and the timers made before must keep theirs.
  std::atomic<int> mismatches{0};
  auto churn = [&](int who) {
    for (int k = 0; k < 200; ++k) {
      const int id = NewAsyncTimer(10.0, -1, 0, nullptr, 7000 + who);
      intptr_t data = 0;
      if (id <= 0 || GetAsyncTimerAttribute(id, TimerAttrCallbackData, &data) != 0 ||
          data != 7000 + who || DiscardAsyncTimer(id) != 0) {
        ++mismatches;
      }
    }
  };
  std::thread c(churn, 0), d(churn, 1);
  c.join();
  d.join();
  EXPECT_EQ(mismatches, 0);
  for (int who = 0; who < 2; ++who) {
    for (int k = 0; k < 50; ++k) {
      intptr_t data = -1;
      ASSERT_EQ(GetAsyncTimerAttribute(ids[who][k], TimerAttrCallbackData, &data), 0);
      EXPECT_EQ(data, 1000 * who + k);
    }
  }
}

TEST_F(AsyncTimer, AttributeErrors) {
  const int id = NewAsyncTimer(1.0, -1, 0, Record, Data(rec));
  double interval = 0.0;
  EXPECT_EQ(GetAsyncTimerAttribute(id, 0, &interval), TimerErrBadArgument);
  EXPECT_EQ(GetAsyncTimerAttribute(id, 6, &interval), TimerErrBadArgument);
  EXPECT_EQ(GetAsyncTimerAttribute(99, 6, &interval), TimerErrBadArgument);
  EXPECT_EQ(GetAsyncTimerAttribute(id, TimerAttrInterval, nullptr), TimerErrBadArgument);
  EXPECT_EQ(GetAsyncTimerAttribute(99, TimerAttrInterval, &interval), TimerErrBadId);
  EXPECT_EQ(SetAsyncTimerAttribute(id, 0, 1), TimerErrBadArgument);
  EXPECT_EQ(SetAsyncTimerAttribute(id, 6, 1), TimerErrBadArgument);
  EXPECT_EQ(SetAsyncTimerAttribute(99, TimerAttrCount, 1), TimerErrBadId);
  EXPECT_EQ(SetAsyncTimerAttribute(id, TimerAttrEnabled, 2), TimerErrBadArgument);
  EXPECT_EQ(SetAsyncTimerAttribute(id, TimerAttrInterval, -0.5), TimerErrBadArgument);
  EXPECT_EQ(SetAsyncTimerAttribute(id, TimerAttrInterval, std::nan("")), TimerErrBadArgument);
  // A refused change leaves the timer as it was.
  EXPECT_EQ(GetAsyncTimerAttribute(id, TimerAttrInterval, &interval), 0);
  EXPECT_DOUBLE_EQ(interval, 1.0);
}

TEST_F(AsyncTimer, AttributesReadBackInWholeMilliseconds) {
  const int shortest = NewAsyncTimer(0.0, -1, 0, Record, Data(rec));
  const int truncated = NewAsyncTimer(0.0105, -1, 0, Record, Data(rec));
  double interval = 0.0;
  ASSERT_EQ(GetAsyncTimerAttribute(shortest, TimerAttrInterval, &interval), 0);
  EXPECT_DOUBLE_EQ(interval, 0.001);
  ASSERT_EQ(GetAsyncTimerAttribute(truncated, TimerAttrInterval, &interval), 0);
  EXPECT_DOUBLE_EQ(interval, 0.010);
  ASSERT_EQ(SetAsyncTimerAttribute(truncated, TimerAttrInterval, 0.0004), 0);
  ASSERT_EQ(GetAsyncTimerAttribute(truncated, TimerAttrInterval, &interval), 0);
  EXPECT_DOUBLE_EQ(interval, 0.001);
  ASSERT_EQ(SetAsyncTimerAttribute(truncated, TimerAttrInterval, 0.25), 0);
  ASSERT_EQ(GetAsyncTimerAttribute(truncated, TimerAttrInterval, &interval), 0);
  EXPECT_DOUBLE_EQ(interval, 0.25);

  int value = 0;
  intptr_t data = 0;
  AsyncTimerCallbackPtr callback = nullptr;
  ASSERT_EQ(SetAsyncTimerAttribute(shortest, TimerAttrCount, -5), 0);
  ASSERT_EQ(SetAsyncTimerAttribute(shortest, TimerAttrCallbackData, intptr_t{-42}), 0);
  ASSERT_EQ(SetAsyncTimerAttribute(shortest, TimerAttrCallback, AsyncTimerCallbackPtr{DiscardSelf}),
            0);
  EXPECT_EQ(GetAsyncTimerAttribute(shortest, TimerAttrCount, &value), 0);
  EXPECT_EQ(value, -5);
  EXPECT_EQ(GetAsyncTimerAttribute(shortest, TimerAttrEnabled, &value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(GetAsyncTimerAttribute(shortest, TimerAttrCallbackData, &data), 0);
  EXPECT_EQ(data, -42);
  EXPECT_EQ(GetAsyncTimerAttribute(shortest, TimerAttrCallback, &callback), 0);
  EXPECT_EQ(callback, &DiscardSelf);
  EXPECT_EQ(SetAsyncTimerAttribute(shortest, TimerAttrCallback, AsyncTimerCallbackPtr{nullptr}), 0);
}

TEST_F(AsyncTimer, CountSetToZeroDiscardsAtTheNextTick) {
  const int id = NewAsyncTimer(0.001, -1, 1, Record, Data(rec));
  ASSERT_TRUE(rec.WaitUntil([](const std::vector<Event>& ev) { return !ev.empty(); }));
  ASSERT_EQ(SetAsyncTimerAttribute(id, TimerAttrCount, 0), 0);
  ASSERT_TRUE(rec.WaitForDiscard(id));
  EXPECT_EQ(rec.Kinds(id).back(), TimerEventDiscard);
}

}  // namespace
