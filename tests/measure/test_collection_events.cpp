// Trigger events through the real collection code: pulse trains, sine bursts and slow ramps
// whose events are known sample by sample. Channel B carries each pair's sample index, so every
// frame shows exactly which instants it took; the expected frames come from a direct reading
// of the signal, not from the collection's step-by-step bookkeeping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "analyzer/collection.h"
#include "analyzer/initstruct.h"
#include "analyzer/menager.h"

namespace {

constexpr int kN = 1024;
constexpr int kHigh = 1000, kLow = -1000;  // counts; levels are ±0.5 V = ±500 counts
constexpr double kPi = 3.14159265358979323846;

using Signal = std::function<int(long)>;  // channel A at sample t, in counts

// Pulses of `width` samples rising at first, first + spacing, …
Signal Pulses(long first, long spacing, long width = 16) {
  return [=](long t) { return t >= first && (t - first) % spacing < width ? kHigh : kLow; };
}
// Bursts of 8 cycles of a 40-sample sine starting at first, first + spacing, …
Signal Bursts(long first, long spacing) {
  return [=](long t) {
    const long u = t - first;
    if (u < 0 || u % spacing >= 320) return 0;
    return static_cast<int>(std::lround(kHigh * std::sin(2.0 * kPi * (u % spacing) / 40.0)));
  };
}
// Triangle from kLow to kHigh and back over `period` samples.
Signal Ramp(long period) {
  return [=](long t) {
    const long u = t % period, h = period / 2;
    const long v = u < h ? u : period - u;
    return static_cast<int>(kLow + (kHigh - kLow) * v / h);
  };
}

struct Trig {
  int mode, pretrig, slope;
};

// Feeds `steps` steps of `a` through Collection as a fresh run would; returns each frame's
// channel B (the sample indices it took).
std::vector<std::vector<int>> Capture(const Trig& c, const Signal& a, int steps) {
  cus.nchan = 2;
  cus.frameLen = dbuf.n = dbuf.nm = kN;
  dbuf.blk = 2 * kN;
  dbuf.trigidx = 0;
  hs.mvpc = 1.0;  // 1 V = 1000 counts
  rcu.runmode = c.mode;
  rcu.slope = c.slope;
  rcu.pretrig = c.pretrig;
  rcu.level = 0.5;
  rcu.level2 = -0.5;
  rcu.carry = rcu.hasbase = 0;
  AllocBuff();
  output = input = count = 0;
  marc_trig = marc_g = 0;
  std::vector<std::vector<int>> frames;
  for (long t = 0, step = 0; step < steps; ++step) {
    for (int j = 0; j < kN; ++j, ++t) {
      circbuff[input + 2 * j] = a(t) * 128;
      circbuff[input + 2 * j + 1] = static_cast<int>(t) * 128;
    }
    input = (input + dbuf.blk) % circlen;
    count += 1;
    if (Collection() == 1) frames.emplace_back(wave.begin() + kN, wave.begin() + kN + dbuf.nframe);
  }
  return frames;
}

bool Crosses(int prev, int x, int slope) {
  return slope == 0 ? prev <= 500 && x > 500 : prev >= 500 && x < 500;
}

// Level-start events: every crossing with P samples of the run before it whose frame of N
// samples starts after the previous event's frame and ends within the data.
std::vector<int> DueEvents(const Trig& c, const Signal& a, long total) {
  std::vector<int> due;
  for (long t = std::max(c.pretrig, 1); t - c.pretrig + kN <= total; ++t) {
    if (!Crosses(a(t - 1), a(t), c.slope)) continue;
    due.push_back(static_cast<int>(t));
    t += kN - 1;
  }
  return due;
}

// Samples the continuous modes take: from the first crossing on (1), below, above or inside the
// levels (4, 5, 6), or from a start crossing up to the ending sample (7, 8).
std::vector<int> DueSamples(const Trig& c, const Signal& a, long total) {
  std::vector<int> due;
  bool on = false;
  for (long t = 0; t < total; ++t) {
    const int x = a(t), prev = t > 0 ? a(t - 1) : x;
    bool take = false;
    switch (c.mode) {
      case 1: take = on = on || Crosses(prev, x, c.slope); break;
      case 4: take = x <= 500; break;
      case 5: take = x >= 500; break;
      case 6: take = -500 <= x && x <= 500; break;
      case 7:
      case 8: {
        const bool up = c.mode == 7;
        if (on && (up ? x < -500 : x > 500)) {
          on = false;
          continue;  // the ending sample is neither taken nor a start
        }
        on = on || (up ? prev <= 500 && x > 500 : prev >= -500 && x < -500);
        take = on;
        break;
      }
    }
    if (take) due.push_back(static_cast<int>(t));
  }
  return due;
}

struct Tally {
  size_t due = 0, captured = 0;
  int worstIndexError = 0;
};

// One frame per event, N contiguous samples, the crossing at index P.
Tally ExpectEventFrames(const Trig& c, const Signal& a, int steps, const std::string& what) {
  const auto frames = Capture(c, a, steps);
  const auto due = DueEvents(c, a, static_cast<long>(steps) * kN);
  Tally tally{due.size(), frames.size(), 0};
  EXPECT_EQ(frames.size(), due.size()) << what;
  for (size_t i = 0; i < std::min(frames.size(), due.size()); ++i) {
    const auto& f = frames[i];
    EXPECT_EQ(f.size(), static_cast<size_t>(kN)) << what << " frame " << i;
    if (f.size() != static_cast<size_t>(kN)) continue;
    tally.worstIndexError = std::max(tally.worstIndexError, std::abs(f[c.pretrig] - due[i]));
    EXPECT_EQ(f[c.pretrig], due[i]) << what << " frame " << i;
    EXPECT_EQ(f.back() - f.front(), kN - 1) << what << " frame " << i << " is spliced";
  }
  return tally;
}

TEST(CollectionEvents, EveryPulseOfATrainYieldsOneFrameWithItsCrossingAtThePretrigger) {
  const double spacings[] = {2.0, 2.1, 2.2, 2.3, 2.4, 2.5, 2.6, 1.5, 3.0, 3.3, 4.0};
  for (int p : {0, 1, 100, kN / 2}) {
    std::vector<long> sweep = {kN + p, kN + p + 1};
    for (double f : spacings) sweep.push_back(std::lround(f * kN));
    for (int slope : {0, 1}) {
      for (long s : sweep) {
        // A train rising on step boundaries (first = N) and one already high at the first
        // sample (first = 0), which is no event.
        for (long first : {long{kN}, 0L}) {
          const std::string what = "P=" + std::to_string(p) + " slope=" + std::to_string(slope) +
                                   " spacing=" + std::to_string(s) +
                                   " first=" + std::to_string(first);
          const int steps = static_cast<int>(12 * s / kN) + 3;
          const Tally tally = ExpectEventFrames({3, p, slope}, Pulses(first, s), steps, what);
          // Spacings of at least N + P leave no event out: one per pulse that fits the data.
          long pulses = 0;
          for (long e = first + (slope == 0 ? 0 : 16); e - p + kN <= steps * long{kN}; e += s) {
            pulses += e >= std::max(p, 1) ? 1 : 0;
          }
          EXPECT_EQ(static_cast<long>(tally.due), pulses) << what;
          if (slope == 0 && first == kN) {
            RecordProperty("P" + std::to_string(p) + "_spacing" + std::to_string(s),
                           std::to_string(tally.due) + " due, " + std::to_string(tally.captured) +
                               " captured, index error " + std::to_string(tally.worstIndexError));
          }
        }
      }
    }
  }
}

TEST(CollectionEvents, BurstsAndSlowRampsTriggerOnTheirFirstCrossing) {
  for (int p : {0, 1, 100, kN / 2}) {
    for (int slope : {0, 1}) {
      const std::string tag = " P=" + std::to_string(p) + " slope=" + std::to_string(slope);
      ExpectEventFrames({3, p, slope}, Bursts(700, 2300), 40, "bursts" + tag);
      // Crossings of a slow ramp fall anywhere in a step, and on both sides of its boundaries.
      for (long period : {1500L, 2600L, 4096L, 9000L}) {
        ExpectEventFrames({3, p, slope}, Ramp(period), 40, "ramp " + std::to_string(period) + tag);
      }
    }
  }
}

TEST(CollectionEvents, ConditionalAndHysteresisModesTakeEveryQualifyingSampleOnce) {
  const std::vector<std::pair<std::string, Signal>> signals = {
      {"pulses on step boundaries", Pulses(kN, 2 * kN, 300)},
      {"pulses", Pulses(333, 1777, 600)},
      {"bursts", Bursts(700, 2300)},
      {"ramp", Ramp(2600)},
      {"slow ramp", Ramp(9000)}};
  constexpr int kSteps = 24;
  for (int mode : {1, 4, 5, 6, 7, 8}) {
    for (int slope : {0, 1}) {
      if (slope == 1 && mode != 1) continue;  // the slope belongs to the level start
      for (const auto& [name, a] : signals) {
        const Trig c{mode, 0, slope};
        std::vector<int> got;
        for (const auto& f : Capture(c, a, kSteps)) {
          EXPECT_LE(f.size(), static_cast<size_t>(kN));
          got.insert(got.end(), f.begin(), f.end());
        }
        EXPECT_EQ(got, DueSamples(c, a, long{kSteps} * kN))
            << "mode " << mode << " slope " << slope << " " << name;
      }
    }
  }
}

}  // namespace
