// The command protocol: frames on the wire, echo checks and status replies,
// against the simulated unit and against raw bytes played by the test.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "frontend/DeviceLink.h"
#include "frontend_test_util.h"

namespace {

using fetest::WaitFor;
using Frames = std::vector<std::string>;

constexpr int kPort = 1;
// Window of a command that expects an answer: only a guard against a hang, so a busy
// machine is never taken for a silent module. Commands that expect silence wait out
// the real 200-ms window.
constexpr unsigned kAnswerBoundMs = 10000;
constexpr unsigned kWindowMs = 200;

class LinkOnSim : public ::testing::Test {
 protected:
  void Start(const dkvsim::Options& options = dkvsim::Options{}) {
    ASSERT_TRUE(unit.Start(options, kPort));
    ASSERT_EQ(link.Connect(kPort - 1), 1);
  }
  void TearDown() override { link.Disconnect(); }
  // The frames the unit has received; waits (within a hang guard) for `count` of them,
  // since a frame nobody answers may still be on its way when its window ends.
  Frames TakeFrames(std::size_t count = 0) {
    fetest::WaitFor([&] { return dkvsim::SimFrames(unit.sim).size() >= count; });
    return dkvsim::SimFrames(unit.sim, true);
  }
  int Send(int address, const char* word, int value, unsigned timeoutMs = kAnswerBoundMs) {
    link.SetAddress(address);
    return link.SendCommand(word, value, timeoutMs);
  }
  // Plays bytes from the line and waits until they are in the receive queue.
  void Arrive(const std::string& bytes) {
    const int before = QueuedCount();
    ASSERT_TRUE(dkvsim::SimInject(unit.sim, bytes.data(), bytes.size()));
    ASSERT_TRUE(WaitFor(
        [&] { return link.port->PeekChar(before + static_cast<int>(bytes.size()) - 1) != 0; }));
  }
  int QueuedCount() {
    int n = 0;
    while (link.port->PeekChar(n) != 0) ++n;
    return n;
  }

  fetest::SimUnitOnPort unit;
  DeviceLink link;
};

TEST_F(LinkOnSim, EchoedCommandGivesTwoAndTheFrameIsExact) {
  Start();
  EXPECT_EQ(Send(1, "GAIN", 100), 2);
  EXPECT_EQ(Send(3, "GAIN", 250), 2);
  EXPECT_EQ(Send(5, "STATE", -1), 2);  // negative argument: the bare word
  EXPECT_EQ(Send(8, "lpf", 0), 2);     // the frame goes out in upper case
  EXPECT_EQ(TakeFrames(), (Frames{"$01GAIN100", "$03GAIN250", "$05STATE", "$08LPF0"}));
  EXPECT_EQ(dkvsim::SimModule(unit.sim, 3).gain100, 250);
  EXPECT_EQ(dkvsim::SimModule(unit.sim, 8).lpfCode, 0);
}

TEST_F(LinkOnSim, AddressesAreClampedAndSentWithTwoDigits) {
  Start();
  EXPECT_EQ(link.SetAddress(-3), 0);
  EXPECT_EQ(link.SetAddress(150), 99);
  EXPECT_EQ(link.SetAddress(7), 7);
  // Nobody answers at 0 or 99: each of these waits out its window.
  Send(-3, "HPF", 1, 1);
  Send(150, "HPF", 1, 1);
  Send(100, "HPF", 1, 1);
  Send(0, "HPF", 1, 1);
  EXPECT_EQ(Send(4, "HPF", 12), 2);
  EXPECT_EQ(TakeFrames(), (Frames{"$00HPF1", "$99HPF1", "$99HPF1", "$00HPF1", "$04HPF12"}));
}

TEST_F(LinkOnSim, SilentModuleGivesMinusOneAfterTheWindow) {
  dkvsim::Options options;
  options.modules[5].silent = true;
  Start(options);
  EXPECT_EQ(Send(5, "GAIN", 100, kWindowMs), -1);
  EXPECT_EQ(TakeFrames(1), Frames{"$05GAIN100"});  // it was sent all the same
}

TEST_F(LinkOnSim, ModuleWithEchoOffGivesMinusOne) {
  dkvsim::Options options;
  options.modules[2].echo = false;
  Start(options);
  EXPECT_EQ(Send(2, "GAIN", 100, kWindowMs), -1);
  EXPECT_EQ(Send(2, "ECHO", 1), 2);
  EXPECT_EQ(Send(2, "GAIN", 100), 2);
}

TEST_F(LinkOnSim, ControlNoiseBeforeTheEchoIsSkipped) {
  dkvsim::Options options;
  options.noiseBytes = 12;
  Start(options);
  EXPECT_EQ(Send(6, "GAIN", 2500), 2);
  EXPECT_EQ(Send(6, "LPF", 3), 2);
}

TEST_F(LinkOnSim, ZeroTimeOutSendsAndReturnsOneAtOnce) {
  Start();
  EXPECT_EQ(Send(4, "KEY", 0, 0), 1);
  ASSERT_TRUE(WaitFor([&] { return dkvsim::SimModule(unit.sim, 4).key == 0; }));
  EXPECT_EQ(TakeFrames(), Frames{"$04KEY0"});
}

TEST_F(LinkOnSim, BytesQueuedBeforeTheCommandAreNeverItsEcho) {
  dkvsim::Options options;
  options.modules[5].silent = true;
  Start(options);
  // Exactly the echo the command would get, but it came before the command.
  Arrive("$05GAIN100;");
  EXPECT_EQ(Send(5, "GAIN", 100, kWindowMs), -1);
}

TEST_F(LinkOnSim, WordTooLongForTheFrameIsNotSent) {
  Start();
  const std::string longWord(40, 'W');
  EXPECT_EQ(Send(1, longWord.c_str(), 1), 0);
  EXPECT_EQ(Send(1, nullptr, 1), 0);
  EXPECT_EQ(Send(1, "GAIN", 1), 2);
  EXPECT_EQ(TakeFrames(), Frames{"$01GAIN1"});
}

TEST_F(LinkOnSim, ReadReplySkipsToTheHashAndStopsAtAnyTerminator) {
  Start();
  char text[100];
  for (const char* reply : {"junk#12;", "#12\r", "\x01$x#12\n"}) {
    Arrive(reply);
    EXPECT_EQ(link.ReadReply(text, sizeof text, 200), 1) << reply;
    EXPECT_STREQ(text, "12") << reply;
  }
  Arrive("#a1b;");
  EXPECT_EQ(link.ReadReply(text, sizeof text, 200), 1);
  EXPECT_STREQ(text, "A1B");
}

TEST_F(LinkOnSim, ReadReplyTooLongForTheBufferIsMinusOne) {
  Start();
  char text[8];
  std::memset(text, 'X', sizeof text);
  Arrive("#123456789;");
  EXPECT_EQ(link.ReadReply(text, 4, 200), -1);
  EXPECT_STREQ(text, "123");  // capacity - 1 characters and the terminator
  EXPECT_EQ(text[4], 'X');    // nothing past the capacity
  // Exactly capacity - 1 characters still fit.
  link.port->Purge();
  Arrive("#123;");
  EXPECT_EQ(link.ReadReply(text, 4, 200), 1);
  EXPECT_STREQ(text, "123");
}

TEST_F(LinkOnSim, ReadReplyTimeOuts) {
  Start();
  char text[16];
  EXPECT_EQ(link.ReadReply(text, sizeof text, 50), -1);  // no '#'
  Arrive("#42");
  EXPECT_EQ(link.ReadReply(text, sizeof text, 50), 2);  // what came after the '#'
  EXPECT_STREQ(text, "42");
  Arrive("#;");
  std::strcpy(text, "old");
  EXPECT_EQ(link.ReadReply(text, sizeof text, 0), -1);  // no time: no look
  EXPECT_STREQ(text, "");
  EXPECT_EQ(link.ReadReply(nullptr, 16, 50), 0);
  EXPECT_EQ(link.ReadReply(text, 0, 50), 0);
}

TEST_F(LinkOnSim, ConnectMapsIndexToComNumber) {
  ASSERT_TRUE(unit.Start(dkvsim::Options{}, 3));
  ::unsetenv("DKV5120_COM1");
  EXPECT_EQ(link.Connect(2), 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(link.port->GetParam(dkv::kParamPortName)),
               "\\\\.\\COM3");
  EXPECT_EQ(Send(2, "GAIN", 100), 2);
}

TEST(DeviceLink, WithoutAnOpenPortNothingIsSent) {
  DeviceLink link;
  char text[8];
  EXPECT_EQ(link.SendCommand("GAIN", 100, 200), 0);
  EXPECT_EQ(link.ReadReply(text, sizeof text, 200), 0);
  link.Disconnect();
  EXPECT_EQ(link.Connect(0, [] { return static_cast<dkv::SerialPortBase*>(nullptr); }), -1);
  EXPECT_EQ(link.port, nullptr);
  fetest::MapPort(9, "/nonexistent/dkv5128");
  EXPECT_EQ(link.Connect(8), 0);
  ASSERT_NE(link.port, nullptr);                     // held until Disconnect
  EXPECT_EQ(link.SendCommand("GAIN", 100, 200), 0);  // a closed port is not usable
  EXPECT_EQ(link.ReadReply(text, sizeof text, 200), 0);
  link.Disconnect();
  EXPECT_EQ(link.port, nullptr);
}

// A line played by the test. The answer comes once the host has written (at once
// when `armed` is set); with `flood` it repeats for ten seconds, a device that never
// falls quiet. `lag` holds up every byte taken, as a busy machine holds up the caller.
class PlayedLine final : public dkv::SerialPortBase {
 public:
  explicit PlayedLine(std::string answer_, bool flood_ = false)
      : answer(std::move(answer_)), flood(flood_) {}
  int AddRef() override { return 1; }
  int Release() override { return 1; }
  int Open(int, int, int, int, int, int) override { return 1; }
  void Close() override {}
  int Write(const unsigned char*, int length, unsigned) override {
    if (!takesWrites) return 0;
    armed = true;
    return length;
  }
  int Read(unsigned char*, int, unsigned) override { return 0; }
  std::int32_t GetChar() override {
    if (!armed || answer.empty() || (!flood && next_ == answer.size())) return 0;
    if (flood && std::chrono::steady_clock::now() > end_) {
      outlasted = true;
      return 0;
    }
    if (lag.count() > 0) std::this_thread::sleep_for(lag);
    return dkv::kByteMarker | static_cast<unsigned char>(answer[next_++ % answer.size()]);
  }
  std::int32_t PeekChar(int) override { return 0; }
  void Purge() override {}
  int EscapeFunction(int) override { return 1; }
  int GetModemStatus() override { return 0; }
  std::intptr_t GetParam(int selector) override { return selector == dkv::kParamRunning ? 1 : 0; }

  std::string answer;
  bool flood;
  bool armed = false;
  bool takesWrites = true;
  std::chrono::milliseconds lag{0};
  bool outlasted = false;  // the flood ended before the caller gave up

 private:
  std::size_t next_ = 0;
  std::chrono::steady_clock::time_point end_ =
      std::chrono::steady_clock::now() + std::chrono::seconds(10);
};

// A link on a played line; the line is not the link's to release.
struct PlayedLink {
  explicit PlayedLink(PlayedLine* line) { link.port = line; }
  ~PlayedLink() { link.port = nullptr; }
  DeviceLink link;
};

TEST(PlayedLine, FailedWriteIsNotReportedAsSent) {
  PlayedLine line("$05GAIN100;");
  line.takesWrites = false;
  PlayedLink played(&line);
  EXPECT_EQ(played.link.SendCommand("GAIN", 100, 0), 0);
  EXPECT_EQ(played.link.SendCommand("GAIN", 100, kWindowMs), 0);
}

TEST(PlayedLine, AnswersThatEndBadlyGiveOneOrMinusOne) {
  struct Case {
    std::string answer;
    int result;
  };
  const Case cases[] = {
      {"\r\n$05GA", 1},                                      // cut short after the '$'
      {"$05GAIN10;", 1},                                     // a different frame
      {"$" + std::string(200, 'Z') + ";", 1},                // stops at the echo buffer
      {"QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ", -1},  // no '$' at all
  };
  for (const Case& c : cases) {
    PlayedLine line(c.answer);
    PlayedLink played(&line);
    played.link.SetAddress(5);
    EXPECT_EQ(played.link.SendCommand("GAIN", 100, kWindowMs), c.result) << c.answer;
  }
}

// The reply was on the line in time; the caller only came late to take it.
TEST(PlayedLine, ReplyQueuedInTimeIsReadWhateverTheCallerLag) {
  PlayedLine echo("\x01\x02\x03;$05GAIN100;");
  echo.lag = std::chrono::milliseconds(30);
  PlayedLink echoed(&echo);
  echoed.link.SetAddress(5);
  EXPECT_EQ(echoed.link.SendCommand("GAIN", 100, 50), 2);

  PlayedLine status("junk#1234;");
  status.armed = true;
  status.lag = std::chrono::milliseconds(30);
  PlayedLink replied(&status);
  char text[16];
  EXPECT_EQ(replied.link.ReadReply(text, sizeof text, 50), 1);
  EXPECT_STREQ(text, "1234");
}

// A device that never stops sending must not hold the caller past its window: the
// played line pours bytes faster than any reader thread could.
TEST(PlayedLine, WaitsEndWhileBytesPourIn) {
  for (const char* pattern : {"\x01;", "A"}) {
    PlayedLine flood(pattern, true);
    PlayedLink played(&flood);
    EXPECT_EQ(played.link.SendCommand("GAIN", 100, kWindowMs), -1)
        << pattern;  // no '$' in what came
    EXPECT_FALSE(flood.outlasted);
  }
  PlayedLine noHash("x", true);
  noHash.armed = true;
  PlayedLink played(&noHash);
  char text[16];
  EXPECT_EQ(played.link.ReadReply(text, sizeof text, kWindowMs), -1);
  EXPECT_FALSE(noHash.outlasted);
}

TEST(PlayedLine, ReadReplyWithAHugeBufferReturnsWhileTheReplyPoursIn) {
  PlayedLine flood("#9999999999", true);
  flood.armed = true;
  PlayedLink played(&flood);
  std::vector<char> text(1 << 27);
  const int got = played.link.ReadReply(text.data(), static_cast<int>(text.size()), kWindowMs);
  EXPECT_FALSE(flood.outlasted);
  EXPECT_GT(got, 0);
  EXPECT_EQ(std::strlen(text.data()), static_cast<std::size_t>(got));
}

}  // namespace
