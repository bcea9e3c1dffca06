// The termios serial port against a pseudo-terminal peer played by the test.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "frontend/SerialPort.h"
#include "frontend_test_util.h"

namespace {

using dkv::SerialPortBase;
using fetest::PtyPeer;
using fetest::WaitFor;

constexpr int kPort = 5;

struct PortHolder {
  SerialPortBase* port = dkv::CreateSerialPort();
  ~PortHolder() {
    if (port != nullptr) port->Release();
  }
};

class SerialPortOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.Open());
    fetest::MapPort(kPort, peer.path.c_str());
    ASSERT_NE(holder.port, nullptr);
  }
  int OpenAt4800() { return holder.port->Open(kPort, 4800, 8, 0, 0, 0); }
  // Bytes that reached the receive queue, taken with GetChar.
  std::string TakeAll() {
    std::string got;
    for (std::int32_t c; (c = holder.port->GetChar()) != 0;)
      got.push_back(static_cast<char>(c & 0xFF));
    return got;
  }
  bool Queued(int n) {
    return WaitFor([&] { return holder.port->PeekChar(n - 1) != 0; });
  }

  PtyPeer peer;
  PortHolder holder;
};

TEST_F(SerialPortOnPty, OpensOnceWithTheRequestedLine) {
  SerialPortBase* p = holder.port;
  ASSERT_EQ(OpenAt4800(), 1);
  EXPECT_EQ(OpenAt4800(), 0);  // already open: nothing changes
  EXPECT_EQ(p->GetParam(dkv::kParamRunning), 1);
  EXPECT_EQ(p->GetParam(dkv::kParamBaud), 4800);
  EXPECT_EQ(p->GetParam(dkv::kParamDataBits), 8);
  EXPECT_EQ(p->GetParam(dkv::kParamStopBits), 0);
  EXPECT_EQ(p->GetParam(dkv::kParamParity), 0);
  EXPECT_EQ(p->GetParam(dkv::kParamHandshake), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(p->GetParam(dkv::kParamPortName)), "\\\\.\\COM5");
  EXPECT_EQ(p->GetParam(dkv::kParamLastError), dkv::kErrNone);
  EXPECT_EQ(p->GetParam(42), 0);

  struct termios t;
  ASSERT_EQ(::tcgetattr(peer.slave, &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B4800));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
  // A pseudo-terminal has no modem lines: that reads as none set, not as failure.
  EXPECT_EQ(p->GetModemStatus(), 0);
}

TEST_F(SerialPortOnPty, LineSettingsAreClampedAndApplied) {
  ASSERT_EQ(holder.port->Open(kPort, 1000000, 2, 7, 9, 4), 1);
  SerialPortBase* p = holder.port;
  EXPECT_EQ(p->GetParam(dkv::kParamBaud), 115200);
  EXPECT_EQ(p->GetParam(dkv::kParamDataBits), 4);
  EXPECT_EQ(p->GetParam(dkv::kParamStopBits), 2);
  EXPECT_EQ(p->GetParam(dkv::kParamParity), 4);
  EXPECT_EQ(p->GetParam(dkv::kParamHandshake), 4);
  // A pseudo-terminal keeps no character size or parity; the rest it keeps.
  struct termios t;
  ASSERT_EQ(::tcgetattr(peer.slave, &t), 0);
  EXPECT_EQ(t.c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B115200));
}

TEST_F(SerialPortOnPty, XonXoffCharactersComeFromTheTopBytesWhenFlagged) {
  const int flags = static_cast<int>(0x80000000u | 4u);
  const int stop = static_cast<int>(0x21000000u);    // XON '!' , one stop bit
  const int parity = static_cast<int>(0x00000002u);  // XOFF default, even parity
  ASSERT_EQ(holder.port->Open(kPort, 4800, 8, stop, parity, flags), 1);
  EXPECT_EQ(holder.port->GetParam(dkv::kParamStopBits), 0);
  EXPECT_EQ(holder.port->GetParam(dkv::kParamParity), 2);
  struct termios t;
  ASSERT_EQ(::tcgetattr(peer.slave, &t), 0);
  EXPECT_EQ(t.c_cc[VSTART], '!');
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
}

TEST_F(SerialPortOnPty, RefusesWhatIsNotAUsableTerminal) {
  SerialPortBase* p = holder.port;
  const int before = fetest::OpenDescriptors();
  fetest::MapPort(kPort, "/nonexistent/dkv5128");
  EXPECT_EQ(OpenAt4800(), -1);
  EXPECT_EQ(errno, ENOENT);
  fetest::MapPort(kPort, "/dev/null");  // opens, but is no terminal
  EXPECT_EQ(OpenAt4800(), -1);
  EXPECT_EQ(p->GetParam(dkv::kParamRunning), 0);
  EXPECT_EQ(p->Open(0, 4800, 8, 0, 0, 0), -1);    // no COM0
  EXPECT_EQ(p->Open(100, 4800, 8, 0, 0, 0), -1);  // the name would not fit
  EXPECT_EQ(fetest::OpenDescriptors(), before);
}

TEST_F(SerialPortOnPty, SecondUserOfTheDeviceIsRefused) {
  ASSERT_EQ(OpenAt4800(), 1);
  PortHolder other;
  EXPECT_EQ(other.port->Open(kPort, 4800, 8, 0, 0, 0), -1);
  EXPECT_EQ(errno, EBUSY);
  holder.port->Close();
  EXPECT_EQ(other.port->Open(kPort, 4800, 8, 0, 0, 0), 1);
}

TEST_F(SerialPortOnPty, WritePutsTheBytesOnTheLine) {
  ASSERT_EQ(OpenAt4800(), 1);
  const std::string frame = "$03GAIN250;";
  EXPECT_EQ(holder.port->Write(reinterpret_cast<const unsigned char*>(frame.data()), 11, 1000), 11);
  EXPECT_EQ(peer.Receive(11), frame);
  const unsigned char any = 'x';
  EXPECT_EQ(holder.port->Write(nullptr, 1, 1000), 0);
  EXPECT_EQ(holder.port->Write(&any, 0, 1000), 0);
  EXPECT_EQ(holder.port->Write(&any, -1, 1000), 0);
}

TEST_F(SerialPortOnPty, ReceivedNulIsOnlyTheMarkerBitNotAnEmptyQueue) {
  ASSERT_EQ(OpenAt4800(), 1);
  ASSERT_TRUE(peer.Send(std::string("\0A", 2)));
  ASSERT_TRUE(Queued(2));
  EXPECT_EQ(holder.port->PeekChar(0), dkv::kByteMarker);
  EXPECT_EQ(holder.port->GetChar(), dkv::kByteMarker);
  EXPECT_EQ(holder.port->GetChar(), dkv::kByteMarker | 'A');
  EXPECT_EQ(holder.port->GetChar(), 0);
}

TEST_F(SerialPortOnPty, EveryByteValueArrivesUnchanged) {
  ASSERT_EQ(OpenAt4800(), 1);
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  all += all;  // 0xFF twice in a row, too
  ASSERT_TRUE(peer.Send(all));
  ASSERT_TRUE(Queued(512));
  EXPECT_EQ(TakeAll(), all);
  EXPECT_EQ(holder.port->GetParam(dkv::kParamLastError), dkv::kErrNone);
}

TEST_F(SerialPortOnPty, MoreThan512UntakenBytesAreAllKept) {
  ASSERT_EQ(OpenAt4800(), 1);
  std::string data;
  for (int i = 0; i < 3000; ++i) data.push_back(static_cast<char>('a' + i % 26));
  ASSERT_TRUE(peer.Send(data));
  ASSERT_TRUE(Queued(3000));
  EXPECT_EQ(holder.port->PeekChar(3000), 0);
  EXPECT_EQ(holder.port->PeekChar(2999), dkv::kByteMarker | data[2999]);
  EXPECT_EQ(TakeAll(), data);
}

long ResidentBytes() {
  long pages = 0, resident = 0;
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return -1;
  if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
  std::fclose(f);
  return resident * ::sysconf(_SC_PAGESIZE);
}

// A device that chatters while nobody reads: the queue keeps the latest 64 KiB, counts the
// rest as discarded, and the process does not grow with the flood.
TEST_F(SerialPortOnPty, UnreadFloodIsCappedCountedAndKeepsTheLatestBytes) {
  ASSERT_EQ(holder.port->Open(kPort, 115200, 8, 0, 0, 0), 1);
  constexpr std::size_t kFlood = 8u << 20, kKept = 64u << 10;
  std::string chunk(kKept, '\0');
  for (std::size_t i = 0; i < chunk.size(); ++i)
    chunk[i] = static_cast<char>('!' + (i * 7 + i / 97) % 90);
  long long discarded = 0;
  // The device sends `bytes`; true once the queue has given up `dropped` of them.
  auto flood = [&](std::size_t bytes, std::size_t dropped) {
    std::thread device([&] {
      for (std::size_t sent = 0; sent < bytes; sent += chunk.size()) {
        for (std::size_t at = 0; at < chunk.size();) {
          const ssize_t n = ::write(peer.master, chunk.data() + at, chunk.size() - at);
          if (n > 0) at += static_cast<std::size_t>(n);
        }
      }
    });
    device.join();
    return WaitFor(
        [&] {
          discarded += holder.port->GetParam(dkv::kParamDiscarded);
          return discarded == static_cast<long long>(dropped);
        },
        std::chrono::seconds(60));
  };
  ASSERT_TRUE(flood(2 * kKept, kKept)) << discarded;  // the queue at its cap
  const long before = ResidentBytes();
  discarded = 0;
  EXPECT_TRUE(flood(kFlood, kFlood)) << discarded;
  const long after = ResidentBytes();
  std::printf("RSS with the queue at its cap %ld KiB, after 8 MiB more %ld KiB (%+ld KiB)\n",
              before / 1024, after / 1024, (after - before) / 1024);
  EXPECT_LT(after - before, 1L << 20);
  EXPECT_EQ(holder.port->GetParam(dkv::kParamLastError), dkv::kErrOverrun);
  EXPECT_EQ(TakeAll(), chunk) << "the newest 64 KiB, in order";
  // A purge counts what it throws away.
  ASSERT_TRUE(peer.Send("late"));
  ASSERT_TRUE(Queued(4));
  holder.port->Purge();
  EXPECT_EQ(holder.port->GetParam(dkv::kParamDiscarded), 4);
  EXPECT_EQ(holder.port->GetParam(dkv::kParamDiscarded), 0);
}

TEST_F(SerialPortOnPty, PeekLooksWithoutTaking) {
  ASSERT_EQ(OpenAt4800(), 1);
  ASSERT_TRUE(peer.Send("xyz"));
  ASSERT_TRUE(Queued(3));
  EXPECT_EQ(holder.port->PeekChar(2), dkv::kByteMarker | 'z');
  EXPECT_EQ(holder.port->PeekChar(3), 0);
  EXPECT_EQ(holder.port->PeekChar(-1), 0);
  EXPECT_EQ(TakeAll(), "xyz");
}

TEST_F(SerialPortOnPty, PurgeDiscardsTheQueue) {
  ASSERT_EQ(OpenAt4800(), 1);
  ASSERT_TRUE(peer.Send("stale"));
  ASSERT_TRUE(Queued(5));
  holder.port->Purge();
  EXPECT_EQ(holder.port->GetChar(), 0);
  ASSERT_TRUE(peer.Send("new"));
  ASSERT_TRUE(Queued(3));
  EXPECT_EQ(TakeAll(), "new");
}

TEST_F(SerialPortOnPty, ReadTakesWhatArrivesWithinItsTimeOut) {
  ASSERT_EQ(OpenAt4800(), 1);
  ASSERT_TRUE(peer.Send("abcd"));
  unsigned char buffer[8] = {};
  EXPECT_EQ(holder.port->Read(buffer, 2, 5000), 2);
  EXPECT_EQ(std::memcmp(buffer, "ab", 2), 0);
  // Asks for more than comes: returns the rest once the time-out has passed.
  EXPECT_EQ(holder.port->Read(buffer, 8, 50), 2);
  EXPECT_EQ(std::memcmp(buffer, "cd", 2), 0);
  EXPECT_EQ(holder.port->Read(nullptr, 8, 50), 0);
}

TEST_F(SerialPortOnPty, CloseOnANeverOpenedPortOnlyResets) {
  SerialPortBase* p = holder.port;
  p->Close();
  p->Close();
  const unsigned char byte = 'x';
  EXPECT_EQ(p->GetParam(dkv::kParamRunning), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(p->GetParam(dkv::kParamPortName)), "");
  EXPECT_EQ(p->Write(&byte, 1, 100), 0);
  EXPECT_EQ(p->GetChar(), 0);
  EXPECT_EQ(p->GetModemStatus(), 0);
  EXPECT_EQ(p->EscapeFunction(dkv::kSetDtr), 0);
  p->Purge();
  EXPECT_EQ(OpenAt4800(), 1);  // and the port is still fit for use
}

TEST_F(SerialPortOnPty, CloseStopsTheReaderBeforeItReturns) {
  ASSERT_EQ(OpenAt4800(), 1);
  auto* port = static_cast<dkv::SerialPort*>(holder.port);
  EXPECT_TRUE(port->ReaderAlive());
  ASSERT_TRUE(peer.Send("pending"));
  port->Close();
  EXPECT_FALSE(port->ReaderAlive());
  EXPECT_EQ(port->GetChar(), 0);  // the queue was reset
  EXPECT_EQ(port->GetParam(dkv::kParamRunning), 0);
}

TEST_F(SerialPortOnPty, HangUpIsAReadErrorAndCloseStillReturns) {
  ASSERT_EQ(OpenAt4800(), 1);
  peer.CloseMaster();  // the device goes away under the open port
  SerialPortBase* p = holder.port;
  std::intptr_t code = 0;
  ASSERT_TRUE(WaitFor([&] { return (code = p->GetParam(dkv::kParamLastError)) != 0; }));
  EXPECT_EQ(code, dkv::kErrRead);
  // The error stays while the device is gone; its text reads the same code.
  EXPECT_TRUE(WaitFor([&] {
    return std::strcmp(reinterpret_cast<const char*>(p->GetParam(dkv::kParamErrorText)),
                       "Read error") == 0;
  }));
  p->Close();
  EXPECT_FALSE(static_cast<dkv::SerialPort*>(p)->ReaderAlive());
}

TEST_F(SerialPortOnPty, ReferenceCountDestroysAtZero) {
  SerialPortBase* p = holder.port;
  EXPECT_EQ(p->AddRef(), 2);
  EXPECT_EQ(p->Release(), 1);
  ASSERT_EQ(OpenAt4800(), 1);
  // The last release closes the open port (ASan would see a leaked thread or queue).
  EXPECT_EQ(p->Release(), 0);
  holder.port = nullptr;
  PortHolder again;
  EXPECT_EQ(again.port->Open(kPort, 4800, 8, 0, 0, 0), 1);  // the device lock went with it
}

TEST_F(SerialPortOnPty, ThousandOpenCloseCyclesLeakNoThreadOrDescriptor) {
  ASSERT_EQ(OpenAt4800(), 1);
  holder.port->Close();
  const int fds = fetest::OpenDescriptors();
  const int threads = fetest::Threads();
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(OpenAt4800(), 1) << i;
    holder.port->Close();
  }
  EXPECT_EQ(fetest::OpenDescriptors(), fds);
  // A joined thread may linger in /proc for a moment after it ended, one of an earlier
  // test too (then the count falls below the baseline): only more threads is a leak.
  EXPECT_TRUE(WaitFor([&] { return fetest::Threads() <= threads; }));
}

}  // namespace
