// Frame collection from the circular buffer in the collect-run modes, on constructed steps.
// Channel A carries the trigger signal; channel B carries each pair's running number, so a
// frame shows exactly which sampling instants it took.
#include <gtest/gtest.h>

#include <vector>

#include "analyzer/collection.h"
#include "analyzer/initstruct.h"
#include "analyzer/menager.h"

namespace {

constexpr int kN = 1024;

class Collect : public ::testing::Test {
 protected:
  int next = 0;  // running pair number

  void Begin(int runmode, int pretrig = 0) {
    cus.nchan = 2;
    cus.frameLen = kN;
    dbuf.n = dbuf.nm = kN;
    dbuf.blk = 2 * kN;
    dbuf.trigidx = 0;
    hs.mvpc = 1.0;  // 1 V = 1000 counts
    rcu.runmode = runmode;
    rcu.slope = 0;
    rcu.pretrig = pretrig;
    rcu.carry = 0;
    rcu.hasbase = 0;
    AllocBuff();
    output = input = count = 0;
    marc_trig = marc_g = 0;
    next = 0;
  }
  // Stores one step whose channel A is `a` (counts) and returns Collection's result.
  int Feed(const std::vector<int>& a) {
    for (int j = 0; j < kN; ++j) {
      circbuff[input + 2 * j] = a[j] * 128;
      circbuff[input + 2 * j + 1] = next++ * 128;
    }
    input = (input + dbuf.blk) % circlen;
    count += 1;
    return Collection();
  }
  static std::vector<int> Flat(int v) { return std::vector<int>(kN, v); }
  static int A(int j) { return wave[j]; }
  static int B(int j) { return wave[kN + j]; }
};

TEST_F(Collect, StoredSamplesLoseSevenBitsRoundingDownAndFreeRunTakesWholeSteps) {
  Begin(0);
  for (int i = 0; i < dbuf.blk; i += 2) circbuff[i] = (i / 2) % 2 ? 127 : -1;
  count = 1;
  ASSERT_EQ(Collection(), 1);
  EXPECT_EQ(dbuf.nframe, kN);
  EXPECT_EQ(A(0), -1);
  EXPECT_EQ(A(1), 0);
  input = output;
  ASSERT_EQ(Feed(Flat(5)), 1);
  EXPECT_EQ(dbuf.nframe, kN);
  EXPECT_EQ(A(kN - 1), 5);
  EXPECT_EQ(B(kN - 1), kN - 1) << "channel B is de-interleaved too";
  EXPECT_EQ(Collection(), 0) << "no unread step";
}

TEST_F(Collect, LevelStartWaitsForItsSlopeThenRunsFree) {
  Begin(1);
  rcu.level = 1.0;
  std::vector<int> falling = Flat(2000);
  for (int j = 500; j < kN; ++j) falling[j] = 0;  // only a falling crossing
  EXPECT_EQ(Feed(falling), 0);
  std::vector<int> rising = Flat(0);
  for (int j = 300; j < kN; ++j) rising[j] = 2000;
  ASSERT_EQ(Feed(rising), 1);
  EXPECT_EQ(dbuf.nframe, kN - 300);
  EXPECT_EQ(A(0), 2000);
  EXPECT_EQ(B(0), kN + 300);
  ASSERT_EQ(Feed(Flat(0)), 1) << "after the start every step is a frame";
  EXPECT_EQ(dbuf.nframe, kN);
  EXPECT_EQ(B(0), 2 * kN);

  Begin(1);  // falling slope fires on the falling step
  rcu.slope = 1;
  ASSERT_EQ(Feed(falling), 1);
  EXPECT_EQ(B(0), 500);
}

TEST_F(Collect, PreTriggerFramesHoldTheirLeadInAcrossSteps) {
  Begin(3, 100);
  rcu.level = 0.5;
  rcu.carry = 0;  // the step is all the data held
  std::vector<int> early = Flat(0);
  for (int j = 50; j < 60; ++j) early[j] = 1000;  // too few pairs before it
  EXPECT_EQ(Feed(early), 0);
  EXPECT_EQ(rcu.carry, 200);
  EXPECT_EQ(tmp[1], kN - 100) << "only the newest 100 pairs are kept";

  std::vector<int> late = Flat(0);
  for (int j = 1000; j < kN; ++j) late[j] = 1000;  // crossing near the end: frame incomplete
  EXPECT_EQ(Feed(late), 0);
  std::vector<int> after = Flat(1000);
  for (int j = 200; j < kN; ++j) after[j] = 0;
  ASSERT_EQ(Feed(after), 1);
  EXPECT_EQ(dbuf.nframe, kN);
  EXPECT_EQ(B(100), kN + 1000) << "pair 100 is the crossing";
  EXPECT_EQ(A(99), 0);
  EXPECT_EQ(A(100), 1000);
  EXPECT_EQ(B(kN - 1), kN + 1000 + kN - 101);
  // The leftover of the step waits for the next event; a level never crossed gives nothing.
  EXPECT_EQ(Feed(Flat(0)), 0);
  EXPECT_EQ(rcu.carry, 200);

  // A crossing inside the lead-in does not hide a later one of the same data.
  Begin(3, 100);
  rcu.level = 0.5;
  rcu.carry = 0;
  std::vector<int> two = Flat(0);
  for (int j = 50; j < 60; ++j) two[j] = 1000;
  for (int j = 300; j < kN; ++j) two[j] = 1000;
  EXPECT_EQ(Feed(two), 0);
  ASSERT_EQ(Feed(Flat(1000)), 1);
  EXPECT_EQ(B(100), 300);
}

TEST_F(Collect, LevelConditionsKeepOnlyQualifyingPairs) {
  std::vector<int> saw(kN);
  for (int j = 0; j < kN; ++j) saw[j] = j % 10 * 100;  // 0, 100, …, 900
  Begin(4);
  rcu.level = 10.0;
  ASSERT_EQ(Feed(saw), 1);
  EXPECT_EQ(dbuf.nframe, kN) << "every pair is below a level above all samples";
  rcu.level = -1.0;
  EXPECT_EQ(Feed(saw), 0);

  Begin(5);
  rcu.level = 0.8;  // 800 and 900 of every ten
  ASSERT_EQ(Feed(saw), 1);
  EXPECT_EQ(dbuf.nframe, 2 * 102);
  EXPECT_EQ(B(0), 8);
  EXPECT_EQ(B(1), 9);
  EXPECT_EQ(B(2), 18);

  Begin(6);
  rcu.level = 0.35;
  rcu.level2 = 0.2;  // 200, 300
  ASSERT_EQ(Feed(saw), 1);
  EXPECT_EQ(dbuf.nframe, 2 * 102 + 2);
  EXPECT_EQ(A(0), 200);
  EXPECT_EQ(A(1), 300);
  rcu.level = 0.2;
  rcu.level2 = 0.35;  // upper below lower
  EXPECT_EQ(Feed(saw), 0);
}

TEST_F(Collect, HysteresisCollectionRunsOnAcrossSteps) {
  for (int mode : {7, 8}) {
    const int s = mode == 7 ? 1 : -1;  // mode 8 is the mirror image
    Begin(mode);
    rcu.level = 1.0;
    rcu.level2 = -1.0;
    std::vector<int> first = Flat(0);
    for (int j = 1000; j < kN; ++j) first[j] = s * 2000;
    ASSERT_EQ(Feed(first), 1) << mode;
    EXPECT_EQ(dbuf.nframe, 24);
    EXPECT_EQ(B(0), 1000);
    EXPECT_EQ(marc_g, 1);
    std::vector<int> second = Flat(0);
    for (int j = 0; j < 10; ++j) second[j] = s * 500;      // between the levels: still collecting
    second[10] = -s * 2000;                                // ends it
    for (int j = 500; j < 600; ++j) second[j] = s * 2000;  // a second event inside the step
    second[600] = -s * 2000;
    ASSERT_EQ(Feed(second), 1);
    EXPECT_EQ(dbuf.nframe, 10 + 100) << mode;
    EXPECT_EQ(B(0), kN);
    EXPECT_EQ(B(9), kN + 9);
    EXPECT_EQ(B(10), kN + 500);
    EXPECT_EQ(marc_g, 0);
  }
}

}  // namespace
