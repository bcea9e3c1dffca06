// The receive queue and the small pure pieces of the serial layer.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <vector>

#include "frontend/RxQueue.h"
#include "frontend/SerialPort.h"

namespace {

using dkv::RxQueue;

std::vector<unsigned char> Pattern(std::size_t n) {
  std::vector<unsigned char> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>((i * 7 + i / 256) & 0xFF);
  return v;
}

TEST(RxQueue, StartsEmptyWith513Cells) {
  RxQueue q;
  ASSERT_TRUE(q.Reset());
  unsigned char b;
  EXPECT_TRUE(q.Empty());
  EXPECT_FALSE(q.Take(&b));
  EXPECT_FALSE(q.Peek(0, &b));
  EXPECT_EQ(q.RingCells(), 513u);
}

TEST(RxQueue, KeepsEveryByteInOrderWhenFarMoreThan512Arrive) {
  RxQueue q;
  ASSERT_TRUE(q.Reset());
  const auto data = Pattern(5000);  // spans several 1024-cell blocks
  for (unsigned char b : data) ASSERT_TRUE(q.Append(b));
  EXPECT_EQ(q.Count(), data.size());
  unsigned char b;
  ASSERT_TRUE(q.Peek(4999, &b));
  EXPECT_EQ(b, data[4999]);
  EXPECT_FALSE(q.Peek(5000, &b));
  for (std::size_t i = 0; i < data.size(); ++i) {
    ASSERT_TRUE(q.Take(&b)) << i;
    ASSERT_EQ(b, data[i]) << i;
  }
  EXPECT_TRUE(q.Empty());
}

TEST(RxQueue, FullRingGrowsInsteadOfOverwritingUnreadBytes) {
  RxQueue q;
  ASSERT_TRUE(q.Reset());
  unsigned char b;
  // Move the cursors round the ring first so the growth happens mid-ring.
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(q.Append(1));
    ASSERT_TRUE(q.Take(&b));
  }
  const auto data = Pattern(700);
  for (unsigned char x : data) ASSERT_TRUE(q.Append(x));
  EXPECT_GE(q.RingCells(), 701u);
  for (unsigned char x : data) {
    ASSERT_TRUE(q.Take(&b));
    ASSERT_EQ(b, x);
  }
  EXPECT_FALSE(q.Take(&b));
}

TEST(RxQueue, SteadyTrafficDoesNotGrowTheRing) {
  RxQueue q;
  ASSERT_TRUE(q.Reset());
  unsigned char b;
  for (int round = 0; round < 100; ++round) {
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(q.Append(static_cast<unsigned char>(i)));
    for (int i = 0; i < 100; ++i) {
      ASSERT_TRUE(q.Take(&b));
      ASSERT_EQ(b, i);
    }
  }
  EXPECT_EQ(q.RingCells(), 513u);
}

TEST(RxQueue, ResetEmptiesAndReusesTheBlocks) {
  RxQueue q;
  ASSERT_TRUE(q.Reset());
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(q.Append(0x55));
  const std::size_t blocks = q.Blocks();
  for (int round = 0; round < 5; ++round) {
    ASSERT_TRUE(q.Reset());
    EXPECT_TRUE(q.Empty());
    EXPECT_EQ(q.RingCells(), 513u);
    for (int i = 0; i < 3000; ++i) ASSERT_TRUE(q.Append(static_cast<unsigned char>(i)));
    unsigned char b;
    ASSERT_TRUE(q.Take(&b));
    EXPECT_EQ(b, 0);
  }
  EXPECT_EQ(q.Blocks(), blocks);
}

TEST(RxQueue, HoldsAtMost64KiBTheNewestInOrderAndCountsTheRest) {
  RxQueue q;
  ASSERT_TRUE(q.Reset());
  const auto data = Pattern(200000);
  unsigned char b;
  for (int i = 0; i < 10; ++i) {  // the read end is somewhere mid-ring when the cap is reached
    ASSERT_TRUE(q.Append(0));
    ASSERT_TRUE(q.Take(&b));
  }
  for (unsigned char x : data) ASSERT_TRUE(q.Append(x));
  EXPECT_EQ(q.Count(), RxQueue::kMaxBytes);
  EXPECT_EQ(q.TakeDiscarded(), data.size() - RxQueue::kMaxBytes);
  EXPECT_EQ(q.TakeDiscarded(), 0u);
  // One byte of storage per byte held.
  EXPECT_LE(q.Blocks() * RxQueue::kBlockBytes, RxQueue::kMaxBytes + RxQueue::kBlockBytes);
  for (std::size_t i = data.size() - RxQueue::kMaxBytes; i < data.size(); ++i) {
    ASSERT_TRUE(q.Take(&b));
    ASSERT_EQ(b, data[i]) << i;
  }
  EXPECT_TRUE(q.Empty());
  // A reset keeps the storage; growing again within it straightens the ring in place.
  const std::size_t blocks = q.Blocks();
  ASSERT_TRUE(q.Reset());
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(q.Append(1));
    ASSERT_TRUE(q.Take(&b));
  }
  const auto more = Pattern(3000);
  for (unsigned char x : more) ASSERT_TRUE(q.Append(x));
  for (unsigned char x : more) {
    ASSERT_TRUE(q.Take(&b));
    ASSERT_EQ(b, x);
  }
  EXPECT_EQ(q.Blocks(), blocks);
}

TEST(RxQueue, NeverResetQueueRefusesBytes) {
  RxQueue q;
  unsigned char b;
  EXPECT_FALSE(q.Append(1));
  EXPECT_FALSE(q.Take(&b));
  EXPECT_FALSE(q.Peek(0, &b));
}

// Input marked by the terminal driver (PARMRK): 0xFF 0xFF is data 0xFF,
// 0xFF 0x00 x is a byte received with a line error.
TEST(MarkedByteDecoder, UndoesTheDriversMarking) {
  const unsigned char wire[] = {'A', 0xFF, 0xFF, 0x00, 0xFF, 0x00, 'x', 'B', 0xFF};
  dkv::MarkedByteDecoder d;
  std::vector<unsigned char> data;
  int errors = 0;
  for (unsigned char in : wire) {
    unsigned char out;
    switch (d.Feed(in, &out)) {
      case dkv::MarkedByteDecoder::kByte: data.push_back(out); break;
      case dkv::MarkedByteDecoder::kLineError: ++errors; break;
      case dkv::MarkedByteDecoder::kNothing: break;
    }
  }
  EXPECT_EQ(data, (std::vector<unsigned char>{'A', 0xFF, 0x00, 'B'}));
  EXPECT_EQ(errors, 1);
  // A lone 0xFF at the end of one read is completed by the next read.
  unsigned char out = 0;
  EXPECT_EQ(d.Feed(0xFF, &out), dkv::MarkedByteDecoder::kByte);
  EXPECT_EQ(out, 0xFF);
}

TEST(SerialLineSettings, PollIntervalFollowsTheCharacterRate) {
  // 7200 / (8 + 0 + 1) = 800 characters a second -> 10000 / 800 = 12 ms.
  EXPECT_EQ(dkv::PollIntervalMs(4800, 8, 0), 12);
  // Rates below 7200 count as 7200.
  EXPECT_EQ(dkv::PollIntervalMs(75, 8, 0), 12);
  // 9600 / 9 = 1066.7, rounded 1067 -> 9 ms.
  EXPECT_EQ(dkv::PollIntervalMs(9600, 8, 0), 9);
  // 7200 / 8 = 900 -> 11 ms (7 data bits).
  EXPECT_EQ(dkv::PollIntervalMs(4800, 7, 0), 11);
  // Fast lines stop at 2 ms.
  EXPECT_EQ(dkv::PollIntervalMs(115200, 8, 0), 2);
}

TEST(SerialLineSettings, RatesFallToTheNearestStandardOneBelow) {
  EXPECT_EQ(dkv::StandardBaud(4800), 4800);
  EXPECT_EQ(dkv::StandardBaud(7200), 4800);
  EXPECT_EQ(dkv::StandardBaud(14400), 9600);
  EXPECT_EQ(dkv::StandardBaud(115200), 115200);
  EXPECT_EQ(dkv::StandardBaud(10), 75);
}

TEST(SerialLineSettings, PortNumberMapsToEnvironmentOrTtyS) {
  char path[64];
  ::unsetenv("DKV5120_COM4");
  ASSERT_TRUE(dkv::PortDevicePath(4, path, sizeof path));
  EXPECT_STREQ(path, "/dev/ttyS3");
  ::setenv("DKV5120_COM4", "/dev/pts/77", 1);
  ASSERT_TRUE(dkv::PortDevicePath(4, path, sizeof path));
  EXPECT_STREQ(path, "/dev/pts/77");
  ::setenv("DKV5120_COM4", "", 1);  // empty counts as unset
  ASSERT_TRUE(dkv::PortDevicePath(4, path, sizeof path));
  EXPECT_STREQ(path, "/dev/ttyS3");
  ::setenv("DKV5120_COM4", "/a/path/much/longer/than/the/buffer/given", 1);
  char small[16];
  EXPECT_FALSE(dkv::PortDevicePath(4, small, sizeof small));
  ::unsetenv("DKV5120_COM4");
}

}  // namespace
