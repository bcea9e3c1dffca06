// The command protocol: frames on the wire, echo checks and status replies,
// against the simulated unit and against raw bytes played by the test.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/DeviceLink.h"
#include "frontend_test_util.h"

namespace {

using fetest::WaitFor;
using Frames = std::vector<std::string>;

constexpr int kPort = 1;

class LinkOnSim : public ::testing::Test {
 protected:
  void Start(const dkvsim::Options& options = dkvsim::Options{}) {
    ASSERT_TRUE(unit.Start(options, kPort));
    ASSERT_EQ(link.Connect(kPort - 1), 1);
  }
  void TearDown() override { link.Disconnect(); }
  Frames TakeFrames() { return dkvsim::SimFrames(unit.sim, true); }
  int Send(int address, const char* word, int value, unsigned timeoutMs = 200) {
    link.SetAddress(address);
    return link.SendCommand(word, value, timeoutMs);
  }
  // Plays bytes from the line and waits until they are in the receive queue.
  void Arrive(const std::string& bytes) {
    const int before = QueuedCount();
    ASSERT_TRUE(dkvsim::SimInject(unit.sim, bytes.data(), bytes.size()));
    ASSERT_TRUE(WaitFor([&] { return link.port->PeekChar(before + static_cast<int>(bytes.size()) - 1) != 0; }));
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
  EXPECT_EQ(Send(8, "lpf", 0), 2);      // the frame goes out in upper case
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
  EXPECT_EQ(Send(5, "GAIN", 100), -1);
  EXPECT_EQ(TakeFrames(), Frames{"$05GAIN100"});  // it was sent all the same
}

TEST_F(LinkOnSim, ModuleWithEchoOffGivesMinusOne) {
  dkvsim::Options options;
  options.modules[2].echo = false;
  Start(options);
  EXPECT_EQ(Send(2, "GAIN", 100), -1);
  EXPECT_EQ(Send(2, "ECHO", 1), 2);
  EXPECT_EQ(Send(2, "GAIN", 100), 2);
}

TEST_F(LinkOnSim, WrongEchoGivesOne) {
  dkvsim::Options options;
  options.modules[5].wrongEcho = true;
  Start(options);
  EXPECT_EQ(Send(5, "GAIN", 100), 1);
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
  EXPECT_EQ(Send(5, "GAIN", 100), -1);
}

TEST_F(LinkOnSim, PartialEchoAfterADollarGivesOneAtTheDeadline) {
  dkvsim::Options options;
  options.modules[5].silent = true;
  Start(options);
  // The answer is played while the command waits for it.
  std::thread line([&] {
    WaitFor([&] { return !dkvsim::SimFrames(unit.sim).empty(); });
    dkvsim::SimInject(unit.sim, "\r\n$05GA", 7);
  });
  EXPECT_EQ(Send(5, "GAIN", 100), 1);
  line.join();
}

TEST_F(LinkOnSim, OverlongAnswerStopsAtTheEchoBuffer) {
  dkvsim::Options options;
  options.modules[5].silent = true;
  Start(options);
  const std::string flood = "$" + std::string(200, 'Z') + ";";
  std::thread line([&] {
    WaitFor([&] { return !dkvsim::SimFrames(unit.sim).empty(); });
    dkvsim::SimInject(unit.sim, flood.data(), flood.size());
  });
  EXPECT_EQ(Send(5, "GAIN", 100), 1);
  line.join();
  // Without a '$' the same flood is no echo at all.
  const std::string noise(100, 'Q');
  std::thread line2([&] {
    WaitFor([&] { return dkvsim::SimFrames(unit.sim).size() == 2; });
    dkvsim::SimInject(unit.sim, noise.data(), noise.size());
  });
  EXPECT_EQ(Send(5, "GAIN", 100), -1);
  line2.join();
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
  EXPECT_EQ(text[4], 'X');     // nothing past the capacity
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
  EXPECT_STREQ(reinterpret_cast<const char*>(link.port->GetParam(dkv::kParamPortName)), "\\\\.\\COM3");
  EXPECT_EQ(Send(2, "GAIN", 100), 2);
}

TEST(DeviceLink, WithoutAPortNothingIsSent) {
  DeviceLink link;
  char text[8];
  EXPECT_EQ(link.SendCommand("GAIN", 100, 200), 0);
  EXPECT_EQ(link.ReadReply(text, sizeof text, 200), 0);
  link.Disconnect();
}

TEST(DeviceLink, ConnectReportsAPortThatCannotBeMadeOrOpened) {
  DeviceLink link;
  EXPECT_EQ(link.Connect(0, [] { return static_cast<dkv::SerialPortBase*>(nullptr); }), -1);
  EXPECT_EQ(link.port, nullptr);
  fetest::MapPort(9, "/nonexistent/dkv5128");
  EXPECT_EQ(link.Connect(8), 0);
  ASSERT_NE(link.port, nullptr);  // held until Disconnect
  char text[8];
  EXPECT_EQ(link.SendCommand("GAIN", 100, 200), 0);  // a closed port is not usable
  EXPECT_EQ(link.ReadReply(text, sizeof text, 200), 0);
  link.Disconnect();
  EXPECT_EQ(link.port, nullptr);
}

// A port whose line takes nothing: the command was not sent.
class DeadLinePort final : public dkv::SerialPortBase {
 public:
  int AddRef() override { return ++refs; }
  int Release() override { return --refs; }
  int Open(int, int, int, int, int, int) override { return 1; }
  void Close() override {}
  int Write(const unsigned char*, int, unsigned) override { return 0; }
  int Read(unsigned char*, int, unsigned) override { return 0; }
  std::int32_t GetChar() override { return 0; }
  std::int32_t PeekChar(int) override { return 0; }
  void Purge() override {}
  int EscapeFunction(int) override { return 1; }
  int GetModemStatus() override { return 0; }
  std::intptr_t GetParam(int selector) override { return selector == dkv::kParamRunning ? 1 : 0; }
  int refs = 1;
};

TEST(DeviceLink, FailedWriteIsNotReportedAsSent) {
  DeadLinePort dead;
  DeviceLink link;
  link.port = &dead;
  EXPECT_EQ(link.SendCommand("GAIN", 100, 0), 0);
  EXPECT_EQ(link.SendCommand("GAIN", 100, 200), 0);
  link.port = nullptr;
}

}  // namespace

// A device that never stops sending must not hold the caller past its window. The
// fake line pours bytes faster than any reader thread could, for ten seconds.
class FloodPort final : public dkv::SerialPortBase {
 public:
  explicit FloodPort(std::string pattern) : pattern_(std::move(pattern)) {}
  int AddRef() override { return 1; }
  int Release() override { return 1; }
  int Open(int, int, int, int, int, int) override { return 1; }
  void Close() override {}
  int Write(const unsigned char*, int length, unsigned) override { return length; }
  int Read(unsigned char*, int, unsigned) override { return 0; }
  std::int32_t GetChar() override {
    if (std::chrono::steady_clock::now() > end_) {
      outlasted = true;
      return 0;
    }
    return dkv::kByteMarker | static_cast<unsigned char>(pattern_[next_++ % pattern_.size()]);
  }
  std::int32_t PeekChar(int) override { return 0; }
  void Purge() override {}
  int EscapeFunction(int) override { return 1; }
  int GetModemStatus() override { return 0; }
  std::intptr_t GetParam(int selector) override { return selector == dkv::kParamRunning ? 1 : 0; }
  bool outlasted = false;  // the flood ended before the caller gave up

 private:
  std::string pattern_;
  std::size_t next_ = 0;
  std::chrono::steady_clock::time_point end_ = std::chrono::steady_clock::now() + std::chrono::seconds(10);
};

TEST(FloodedLine, CommandReturnsWhileControlBytesPourIn) {
  FloodPort flood("\x01;");
  DeviceLink link;
  link.port = &flood;
  EXPECT_EQ(link.SendCommand("GAIN", 100, 200), -1);
  EXPECT_FALSE(flood.outlasted);
  link.port = nullptr;
}

TEST(FloodedLine, CommandReturnsWhileTextPoursIn) {
  FloodPort flood("A");
  DeviceLink link;
  link.port = &flood;
  EXPECT_EQ(link.SendCommand("GAIN", 100, 200), -1);  // no '$' in what came
  EXPECT_FALSE(flood.outlasted);
  link.port = nullptr;
}

TEST(FloodedLine, ReadReplyReturnsWhileNoHashComes) {
  FloodPort flood("x");
  DeviceLink link;
  link.port = &flood;
  char text[16];
  EXPECT_EQ(link.ReadReply(text, sizeof text, 200), -1);
  EXPECT_FALSE(flood.outlasted);
  link.port = nullptr;
}

TEST(FloodedLine, ReadReplyWithAHugeBufferReturnsWhileTheReplyPoursIn) {
  FloodPort flood("#9999999999");
  DeviceLink link;
  link.port = &flood;
  std::vector<char> text(1 << 27);
  const int got = link.ReadReply(text.data(), static_cast<int>(text.size()), 200);
  EXPECT_FALSE(flood.outlasted);
  EXPECT_GT(got, 0);
  EXPECT_EQ(std::strlen(text.data()), static_cast<std::size_t>(got));
  link.port = nullptr;
}
