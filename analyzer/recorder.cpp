// The recorder's core: header text, the bounded queue and the writer thread.
#include "analyzer/recorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "analyzer/fileio.h"
#include "analyzer/model.h"
#include "analyzer/save.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kCheckpointEvery = std::chrono::seconds(1);
constexpr int kMaxHeaderChars = 76;

// Shortest text that reads back as the same double, with a point in every locale; `digits`
// > 0 rounds to that many significant digits instead.
std::string Number(double v, int digits = 0) {
  char buf[64];
  const auto r = digits > 0
                     ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, digits)
                     : std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string ColumnLine(const RecordingSetup& s, int k, int digits) {
  std::string line(1, ' ');
  line += std::to_string(s.input[k]);
  for (double v : {s.sen[k], s.upc[k], s.lo[k]}) line.append(1, ' ').append(Number(v, digits));
  line.append(1, ' ').append(s.dim[k]);
  return line;
}

long WriteFd(void*, int fd, const void* data, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(fd, static_cast<const char*>(data) + done, n - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = ENOSPC;
      break;
    }
    done += static_cast<std::size_t>(w);
  }
  return static_cast<long>(done);
}

int SyncFd(void*, int fd) { return ::fdatasync(fd); }

const RecorderSink kFileSink = {WriteFd, SyncFd, nullptr};

struct Recorder {
  std::mutex m;
  std::condition_variable cv;
  std::deque<std::vector<int32_t>> queue;  // each block: whole records
  std::size_t queued = 0;                  // bytes waiting
  bool stopping = false;
  bool failed = false;  // the writer met an error: nothing more is taken
  bool overrun = false;
  bool limit = false;
  long long pushed = 0;  // values taken so far
  int error = 0;
  long long bytes = 0;  // on disk (as far as write() said)
  bool active = false;

  RecordingSetup setup{};
  std::string infPath;
  int fd = -1;
  RecorderSink sink{};
  std::thread writer;

  ~Recorder() { RecorderStop(); }
};

Recorder g;

long long RecordsIn(long long bytes) { return g.setup.nrec > 0 ? bytes / (4LL * g.setup.nrec) : 0; }

// The header for what is on disk: the data are synced first, so the header never claims a
// record the disk does not hold. Runs on the writer thread (and at the start, before it runs).
int WriteHeader(long long bytes) {
  const std::string text = RecordingHeaderText(g.setup, RecordsIn(bytes));
  std::vector<char> cp(text.size() + 1);
  if (!RecodeText("CP1251", "UTF-8", text.data(), text.size(), cp.data(), cp.size())) return EILSEQ;
  const int r = WriteFileAtomic(g.infPath.c_str(), cp.data(), std::strlen(cp.data()));
  return r == 0 ? 0 : (errno != 0 ? errno : EIO);
}

void Checkpoint(long long bytes) {
  const int synced = g.sink.sync(g.sink.ctx, g.fd) == 0 ? 0 : errno;
  const int header = WriteHeader(bytes);
  std::lock_guard lk(g.m);
  if (g.error == 0 && (synced != 0 || header != 0)) {
    g.error = synced != 0 ? synced : header;
    g.failed = true;
  }
}

void WriterLoop() {
  auto last = Clock::now();
  long long checkpointed = 0;
  std::vector<unsigned char> bytes;
  for (;;) {
    std::vector<int32_t> block;
    {
      std::unique_lock lk(g.m);
      g.cv.wait_for(lk, kCheckpointEvery,
                    [] { return !g.queue.empty() || g.stopping || g.failed; });
      if (g.failed || (g.queue.empty() && g.stopping)) break;
      if (!g.queue.empty()) {
        block = std::move(g.queue.front());
        g.queue.pop_front();
        g.queued -= block.size() * 4;
      }
    }
    if (!block.empty()) {
      bytes.resize(block.size() * 4);
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(bytes.data(), block.data(), bytes.size());
      } else {
        for (std::size_t i = 0; i < block.size(); ++i) {
          const auto u = static_cast<uint32_t>(block[i]);
          for (int j = 0; j < 4; ++j) bytes[4 * i + j] = static_cast<unsigned char>(u >> (8 * j));
        }
      }
      errno = 0;
      const long w = g.sink.write(g.sink.ctx, g.fd, bytes.data(), bytes.size());
      const int err = errno;
      std::lock_guard lk(g.m);
      if (w > 0) g.bytes += w;
      if (w < 0 || static_cast<std::size_t>(w) != bytes.size()) {
        g.error = err != 0 ? err : EIO;
        g.failed = true;
        break;
      }
    }
    long long now;
    {
      std::lock_guard lk(g.m);
      now = g.bytes;
    }
    if (now != checkpointed && Clock::now() - last >= kCheckpointEvery) {
      Checkpoint(now);
      checkpointed = now;
      last = Clock::now();
    }
  }
  long long end;
  {
    std::lock_guard lk(g.m);
    end = g.bytes;
  }
  Checkpoint(end);
}

}  // namespace

std::string RecordingHeaderText(const RecordingSetup& s, long long recordCount) {
  const int mode = s.runmode >= 0 && s.runmode < kRunModes ? s.runmode : 0;
  std::string t = textmode[mode];
  t += "\n";
  t += "N=" + std::to_string(recordCount * s.nrec) + " Fs=" + Number(s.srate) +
       " Nch=" + std::to_string(s.nrec) + "\n";
  t += "L=" + std::to_string(s.flen) +
       " T=" + Number(s.srate > 0 ? recordCount / s.srate : 0.0, 9) + "\n";
  t += "Вход Чувств.,мВ/ед. Ед./отсчёт Опорн.ур. Ед.\n";
  for (int k = 0; k < s.nrec && k < kRecordValues; ++k) {
    // A line holds 76 characters: exact numbers when they fit, ten digits otherwise.
    std::string line = ColumnLine(s, k, 0);
    if (line.size() > static_cast<std::size_t>(kMaxHeaderChars)) line = ColumnLine(s, k, 10);
    t += line + "\n";
  }
  return t;
}

int RecorderStart(const char* dataPath, const RecordingSetup& setup, const RecorderSink* sink) {
  if (g.active) return EBUSY;
  if (setup.nrec < 1 || setup.nrec > kRecordValues || !(setup.srate > 0)) return EINVAL;
  // Only a plain file (or none): a pipe under the name would hold the program, a device would
  // be written into. Checked before opening, and on what was opened.
  struct stat st {};
  if (::lstat(dataPath, &st) == 0 && !S_ISREG(st.st_mode)) return EISDIR;
  const int fd =
      ::open(dataPath, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0644);
  if (fd < 0) return errno;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return EISDIR;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  char inf[kPathLen + 8];
  InfPathFor(dataPath, inf, sizeof inf);
  g.setup = setup;
  g.infPath = inf;
  g.fd = fd;
  g.sink = sink != nullptr ? *sink : kFileSink;
  g.queue.clear();
  g.queued = 0;
  g.stopping = g.failed = g.overrun = g.limit = false;
  g.pushed = 0;
  g.error = 0;
  g.bytes = 0;
  // A header from the first moment: a crash before the first checkpoint leaves an empty
  // recording, not a data file nothing describes.
  if (const int e = WriteHeader(0); e != 0) {
    ::close(fd);
    g.fd = -1;
    return e;
  }
  g.active = true;
  g.writer = std::thread(WriterLoop);
  return 0;
}

bool RecorderPush(const int32_t* recordCount, int frames) {
  if (!g.active || frames <= 0) return g.active;
  const std::size_t n = static_cast<std::size_t>(frames) * static_cast<std::size_t>(g.setup.nrec);
  {
    std::lock_guard lk(g.m);
    if (g.failed || g.overrun || g.limit) return false;
    // The header states the value count as an int: a longer recording could not be played.
    if (g.pushed + static_cast<long long>(n) > INT_MAX) {
      g.limit = true;
      return false;
    }
    g.pushed += static_cast<long long>(n);
    if (g.queued + n * 4 > kRecorderQueueBytes) {
      // A gap would make the rest of the recording lie about its time: it ends here.
      g.overrun = true;
      return false;
    }
    g.queue.emplace_back(recordCount, recordCount + n);
    g.queued += n * 4;
  }
  g.cv.notify_one();
  return true;
}

RecorderStatus RecorderPoll() {
  std::lock_guard lk(g.m);
  RecorderStatus s{};
  s.active = g.active;
  s.bytes = g.bytes;
  s.records = RecordsIn(g.bytes);
  s.seconds = g.setup.srate > 0 ? s.records / g.setup.srate : 0.0;
  s.error = g.error;
  s.overrun = g.overrun;
  s.limit = g.limit;
  return s;
}

RecorderStatus RecorderStop() {
  if (!g.active) return RecorderStatus{};
  {
    std::lock_guard lk(g.m);
    g.stopping = true;
  }
  g.cv.notify_one();
  if (g.writer.joinable()) g.writer.join();
  RecorderStatus s = RecorderPoll();
  ::close(g.fd);
  g.fd = -1;
  g.queue.clear();
  g.queued = 0;
  g.active = false;
  s.active = false;
  return s;
}
