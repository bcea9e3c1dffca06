// POSIX back end of the serial port: termios for the line, poll with a wake-up pipe
// for the reader thread, flock for exclusive use of the device.
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "frontend/SerialPort.h"
#include "frontend/Timing.h"

namespace dkv {

namespace {

struct BaudEntry {
  int rate;
  speed_t code;
};

constexpr BaudEntry kBauds[] = {
    {75, B75},     {110, B110},     {134, B134},     {150, B150},     {300, B300},
    {600, B600},   {1200, B1200},   {1800, B1800},   {2400, B2400},   {4800, B4800},
    {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

speed_t BaudCode(int rate) {
  for (const BaudEntry& e : kBauds) {
    if (e.rate == rate) return e.code;
  }
  return B9600;
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// A pseudo-terminal has no modem lines; its driver refuses their ioctls this way.
bool NoModemLines(int err) { return err == ENOTTY || err == EINVAL; }

void CloseFd(int* fd) {
  if (*fd >= 0) {
    ::close(*fd);
    *fd = -1;
  }
}

}  // namespace

MarkedByteDecoder::Result MarkedByteDecoder::Feed(unsigned char in, unsigned char* out) {
  switch (state) {
    case 1:
      if (in == 0xFF) {
        state = 0;
        *out = 0xFF;
        return kByte;
      }
      if (in == 0x00) {
        state = 2;
        return kNothing;
      }
      // Not a mark the driver makes: take the byte as data.
      state = 0;
      *out = in;
      return kByte;
    case 2: state = 0; return kLineError;
    default:
      if (in == 0xFF) {
        state = 1;
        return kNothing;
      }
      *out = in;
      return kByte;
  }
}

int PollIntervalMs(int baud, int dataBits, int stopBits) {
  const int rate = baud > 7200 ? baud : 7200;
  const int bitsPerChar = dataBits + stopBits + 1;
  const int charsPerSecond = static_cast<int>(static_cast<double>(rate) / bitsPerChar + 0.5);
  const int interval = charsPerSecond > 0 ? 10000 / charsPerSecond : 2;
  return interval < 2 ? 2 : interval;
}

int StandardBaud(int baud) {
  int best = kBauds[0].rate;
  for (const BaudEntry& e : kBauds) {
    if (e.rate <= baud) best = e.rate;
  }
  return best;
}

bool PortDevicePath(int port, char* path, int capacity) {
  char name[32];
  std::snprintf(name, sizeof name, "DKV5120_COM%d", port);
  const char* env = std::getenv(name);
  int n;
  if (env != nullptr && env[0] != '\0') {
    n = std::snprintf(path, static_cast<std::size_t>(capacity), "%s", env);
  } else {
    n = std::snprintf(path, static_cast<std::size_t>(capacity), "/dev/ttyS%d", port - 1);
  }
  return n > 0 && n < capacity;
}

SerialPortBase* CreateSerialPort() {
  SerialPort* port = new (std::nothrow) SerialPort;
  if (port == nullptr) return nullptr;
  if (!port->Init()) {
    port->AddRef();
    port->Release();
    return nullptr;
  }
  port->AddRef();
  return port;
}

bool SerialPort::Init() { return ResetQueue(); }

SerialPort::~SerialPort() { Close(); }

int SerialPort::AddRef() { return ++refs_; }

int SerialPort::Release() {
  const int left = --refs_;
  if (left <= 0) {
    delete this;
    return 0;
  }
  return left;
}

bool SerialPort::ResetQueue() {
  std::lock_guard<std::mutex> hold(lock_);
  decoder_ = MarkedByteDecoder{};
  return queue_.Reset();
}

int SerialPort::Open(int port, int baud, int dataBits, int stopBits, int parity, int flags) {
  lastError_ = kErrNone;
  if (running_ != 0 || fd_ >= 0) return 0;
  if (port < 1 || port > 99) {
    errno = ENODEV;
    return -1;
  }
  char path[4096];
  if (!PortDevicePath(port, path, sizeof path)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  fd_ = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return -1;
  std::snprintf(portName_, sizeof portName_, "\\\\.\\COM%d", port);

  int saved = 0;
  struct termios attrs;
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    saved = errno == EWOULDBLOCK ? EBUSY : errno;
  } else if (!::isatty(fd_) || ::tcgetattr(fd_, &attrs) != 0 ||
             ::tcsetattr(fd_, TCSANOW, &attrs) != 0) {
    // Only a terminal whose line settings can be read and written will do.
    saved = errno != 0 ? errno : ENOTTY;
  } else if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    saved = errno;
  } else {
    ::tcflush(fd_, TCIOFLUSH);
    ::ioctl(fd_, TIOCCBRK);
    if (Configure(baud, dataBits, stopBits, parity, flags) <= 0) {
      saved = errno != 0 ? errno : EINVAL;
    } else if (GetModemStatus() == -1) {
      saved = errno;
    } else {
      EscapeFunction(kSetDtr);
      struct serial_icounter_struct counts;
      haveLineCounts_ = ::ioctl(fd_, TIOCGICOUNT, &counts) == 0;
      if (haveLineCounts_)
        lineCounts_ = LineCounts{counts.parity, counts.frame, counts.overrun + counts.buf_overrun};
      running_ = 1;
      readerAlive_ = true;
      // The reader takes no signals: they belong to the caller's threads.
      sigset_t all, old;
      sigfillset(&all);
      pthread_sigmask(SIG_SETMASK, &all, &old);
      const int rc = pthread_create(&thread_, nullptr, &SerialPort::ReaderMain, this);
      pthread_sigmask(SIG_SETMASK, &old, nullptr);
      if (rc == 0) {
        threadStarted_ = true;
        return 1;
      }
      running_ = 0;
      readerAlive_ = false;
      saved = rc;
    }
  }
  Close();
  errno = saved;
  return -1;
}

int SerialPort::Configure(int baud, int dataBits, int stopBits, int parity, int flags) {
  if (fd_ < 0) return -1;
  if ((static_cast<unsigned>(flags) & 0x80000000u) != 0) {
    const unsigned xon = static_cast<unsigned>(stopBits) >> 24;
    const unsigned xoff = static_cast<unsigned>(parity) >> 24;
    xonChar_ = static_cast<unsigned char>(xon != 0 ? xon : 0x11);
    xoffChar_ = static_cast<unsigned char>(xoff != 0 ? xoff : 0x13);
    stopBits &= 0xFF;
    parity &= 0xFF;
  }
  handshake_ = flags & 7;
  baud_ = StandardBaud(Clamp(baud, 75, kMaxBaud));
  dataBits_ = Clamp(dataBits, 4, 8);
  stopBits_ = Clamp(stopBits, 0, 2);
  parity_ = Clamp(parity, 0, 4);

  struct termios t;
  if (::tcgetattr(fd_, &t) != 0) return -1;
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | IMAXBEL | IUCLC);
  // Errors stay visible in the byte stream (PARMRK) so the reader can report them.
  t.c_iflag |= INPCK | PARMRK;
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= CREAD | CLOCAL;
  // termios has no 4-bit characters; 5 is the narrowest.
  static constexpr tcflag_t kSizes[] = {CS5, CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[dataBits_ - 4];
  // One and a half stop bits exist only on the Windows side; two is the nearest.
  if (stopBits_ != 0) t.c_cflag |= CSTOPB;
  switch (parity_) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  // DTR/DSR handshaking has no termios form; RTS/CTS does.
  if ((handshake_ & kHandshakeXonXoff) != 0) {
    t.c_iflag |= IXON | IXOFF;
  } else if ((handshake_ & kHandshakeRtsCts) != 0) {
    t.c_cflag |= CRTSCTS;
  }
  t.c_cc[VSTART] = xonChar_;
  t.c_cc[VSTOP] = xoffChar_;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  const speed_t code = BaudCode(baud_);
  ::cfsetispeed(&t, code);
  ::cfsetospeed(&t, code);
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) return -1;

  pollIntervalMs_ = PollIntervalMs(baud_, dataBits_, stopBits_);
  if (!ResetQueue()) {
    errno = ENOMEM;
    return -1;
  }
  return 1;
}

void SerialPort::Close() {
  running_ = 0;
  if (fd_ >= 0) {
    if (threadStarted_) {
      const unsigned char wake = 1;
      (void)!::write(wake_[1], &wake, 1);
      pthread_join(thread_, nullptr);
      threadStarted_ = false;
    }
    EscapeFunction(kClrDtr);
    ::tcflush(fd_, TCIOFLUSH);
    CloseFd(&fd_);  // also drops the flock
  }
  CloseFd(&wake_[0]);
  CloseFd(&wake_[1]);
  portName_[0] = '\0';
  lastError_ = kErrNone;
  haveLineCounts_ = false;
  ResetQueue();
}

void* SerialPort::ReaderMain(void* self) {
  static_cast<SerialPort*>(self)->ReaderLoop();
  return nullptr;
}

void SerialPort::ReaderLoop() {
  while (running_ != 0) {
    struct pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    const int n = ::poll(fds, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      OnCommError(ErrorKind::kRead, LineCounts{});
    } else if ((fds[1].revents & POLLIN) != 0) {
      continue;  // Close: running_ is already 0
    } else if (fds[0].revents != 0) {
      int total = 0;
      for (int got = 1; running_ != 0 && got > 0; total += got) got = ReadAvailable();
      // A device that went away reports hang-up with nothing to read.
      if (total == 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        OnCommError(ErrorKind::kRead, LineCounts{});
      }
    }
    // Batch what arrives in the next interval into one read.
    if (running_ != 0) WaitPollInterval();
  }
  readerAlive_ = false;
}

void SerialPort::WaitPollInterval() {
  struct pollfd wake = {wake_[0], POLLIN, 0};
  ::poll(&wake, 1, pollIntervalMs_);
}

bool SerialPort::ReadLineCounts(LineCounts* counts) const {
  struct serial_icounter_struct c;
  if (::ioctl(fd_, TIOCGICOUNT, &c) != 0) return false;
  *counts = LineCounts{c.parity, c.frame, c.overrun + c.buf_overrun};
  return true;
}

int SerialPort::ReadAvailable() {
  const ssize_t got = ::read(fd_, readBuffer_, kReadChunk);
  if (got < 0) {
    if (errno != EAGAIN && errno != EINTR) OnCommError(ErrorKind::kRead, LineCounts{});
    return 0;
  }
  if (got == 0 || running_ == 0) return 0;

  LineCounts now;
  LineCounts seen;  // increments since the last look
  if (haveLineCounts_ && ReadLineCounts(&now)) {
    seen = LineCounts{now.parity - lineCounts_.parity, now.frame - lineCounts_.frame,
                      now.overrun - lineCounts_.overrun};
    lineCounts_ = now;
  }
  bool marked = false;
  bool stored = true;
  std::size_t dropped = 0;
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (ssize_t i = 0; i < got && !marked; ++i) {
      unsigned char byte;
      switch (decoder_.Feed(readBuffer_[i], &byte)) {
        case MarkedByteDecoder::kByte: stored = queue_.Append(byte) && stored; break;
        case MarkedByteDecoder::kLineError: marked = true; break;
        case MarkedByteDecoder::kNothing: break;
      }
    }
    dropped = queue_.TakeDiscarded();
  }
  arrived_.notify_all();
  discarded_ += static_cast<long long>(dropped);
  // The queue was full of bytes nobody took, or no memory was left for it.
  if (!stored || dropped > 0) lastError_ = kErrOverrun;
  if (marked && seen.parity == 0 && seen.frame == 0) {
    // The mark alone does not say which: with parity on, blame parity.
    (parity_ != 0 ? seen.parity : seen.frame) = 1;
  }
  if (marked || seen.parity > 0 || seen.frame > 0 || seen.overrun > 0)
    OnCommError(ErrorKind::kLine, seen);
  return static_cast<int>(got);
}

void SerialPort::OnCommError(ErrorKind kind, const LineCounts& seen) {
  switch (kind) {
    case ErrorKind::kWrite:
      lastError_ = kErrWrite;
      ::tcflush(fd_, TCOFLUSH);
      break;
    case ErrorKind::kRead:
      lastError_ = kErrRead;
      ::tcflush(fd_, TCIFLUSH);
      break;
    case ErrorKind::kLine:
      if (seen.parity > 0) {
        lastError_ = kErrParity;
      } else if (seen.frame > 0) {
        lastError_ = kErrFraming;
      } else if (seen.overrun > 0) {
        lastError_ = kErrOverrun;
      }
      ::tcflush(fd_, TCIOFLUSH);
      break;
  }
}

int SerialPort::Write(const unsigned char* buffer, int length, unsigned timeoutMs) {
  if (running_ == 0 || fd_ < 0 || buffer == nullptr || length <= 0) return 0;
  const Stopwatch clock;
  int done = 0;
  while (done < length) {
    const ssize_t n = ::write(fd_, buffer + done, static_cast<std::size_t>(length - done));
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      OnCommError(ErrorKind::kWrite, LineCounts{});
      return done;
    }
    const std::int64_t left = clock.RemainingMs(timeoutMs);
    if (left <= 0 || running_ == 0) {
      OnCommError(ErrorKind::kWrite, LineCounts{});
      return 0;
    }
    struct pollfd out = {fd_, POLLOUT, 0};
    ::poll(&out, 1, static_cast<int>(left < pollIntervalMs_ ? left : pollIntervalMs_));
  }
  return done;
}

int SerialPort::Read(unsigned char* buffer, int length, unsigned timeoutMs) {
  if (buffer == nullptr || length <= 0) return 0;
  const Stopwatch clock;
  const auto deadline = clock.Deadline(timeoutMs);
  int count = 0;
  std::unique_lock<std::mutex> hold(lock_);
  while (count < length) {
    if (queue_.Take(&buffer[count])) {
      ++count;
      continue;
    }
    if (arrived_.wait_until(hold, deadline) == std::cv_status::timeout) {
      while (count < length && queue_.Take(&buffer[count])) ++count;
      break;
    }
  }
  return count;
}

std::int32_t SerialPort::GetChar() {
  std::lock_guard<std::mutex> hold(lock_);
  unsigned char byte;
  if (!queue_.Take(&byte)) return 0;
  return kByteMarker | byte;
}

std::int32_t SerialPort::PeekChar(int index) {
  std::lock_guard<std::mutex> hold(lock_);
  unsigned char byte;
  if (!queue_.Peek(index, &byte)) return 0;
  return kByteMarker | byte;
}

void SerialPort::Purge() {
  if (fd_ < 0) return;
  std::lock_guard<std::mutex> hold(lock_);
  ::tcflush(fd_, TCIOFLUSH);
  decoder_ = MarkedByteDecoder{};
  discarded_ += static_cast<long long>(queue_.Count() + queue_.TakeDiscarded());
  queue_.Reset();
}

int SerialPort::EscapeFunction(int code) {
  if (fd_ < 0) return 0;
  int bits = 0;
  unsigned long request = 0;
  switch (code) {
    case kSetRts:
      bits = TIOCM_RTS;
      request = TIOCMBIS;
      break;
    case kClrRts:
      bits = TIOCM_RTS;
      request = TIOCMBIC;
      break;
    case kSetDtr:
      bits = TIOCM_DTR;
      request = TIOCMBIS;
      break;
    case kClrDtr:
      bits = TIOCM_DTR;
      request = TIOCMBIC;
      break;
    case kSetBreak: return ::ioctl(fd_, TIOCSBRK) == 0 ? 1 : 0;
    case kClrBreak: return ::ioctl(fd_, TIOCCBRK) == 0 ? 1 : 0;
    case kSetXoff: return ::tcflow(fd_, TCOOFF) == 0 ? 1 : 0;
    case kSetXon: return ::tcflow(fd_, TCOON) == 0 ? 1 : 0;
    default: return 0;
  }
  return ::ioctl(fd_, request, &bits) == 0 ? 1 : 0;
}

int SerialPort::GetModemStatus() {
  if (fd_ < 0) return 0;
  int lines = 0;
  if (::ioctl(fd_, TIOCMGET, &lines) != 0) return NoModemLines(errno) ? 0 : -1;
  int status = 0;
  if ((lines & TIOCM_CTS) != 0) status |= kModemCts;
  if ((lines & TIOCM_DSR) != 0) status |= kModemDsr;
  if ((lines & TIOCM_RI) != 0) status |= kModemRing;
  if ((lines & TIOCM_CD) != 0) status |= kModemRlsd;
  return status;
}

std::intptr_t SerialPort::GetParam(int selector) {
  switch (selector) {
    case kParamBaud: return baud_;
    case kParamStopBits: return stopBits_;
    case kParamParity: return parity_;
    case kParamHandshake: return handshake_;
    case kParamDataBits: return dataBits_;
    case kParamPortName: return reinterpret_cast<std::intptr_t>(portName_);
    case kParamRunning: return running_.load();
    case kParamLastError: return lastError_.exchange(kErrNone);
    case kParamDiscarded: return static_cast<std::intptr_t>(discarded_.exchange(0));
    case kParamErrorText: {
      static constexpr const char* kTexts[] = {
          "No error",
          "Write error",
          "Read error",
          "The hardware detected a parity error.",
          "The hardware detected a framing error.",
          "A character-buffer overrun has occurred. The next character is lost.",
      };
      const int code = lastError_.exchange(kErrNone);
      return reinterpret_cast<std::intptr_t>(code >= 1 && code <= 5 ? kTexts[code] : kTexts[0]);
    }
    default: return 0;
  }
}

}  // namespace dkv
