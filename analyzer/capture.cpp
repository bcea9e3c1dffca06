// Live input from an ALSA capture device: open, capture thread, rate conversion, bounded ring.
#include "analyzer/capture.h"

#include <alsa/asoundlib.h>
#include <pthread.h>
#include <soxr.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kWaitMs = 100;            // one wait on the device; the stop flag is seen this often
constexpr int kStalledMs = 3000;        // a running device silent this long counts as gone
constexpr unsigned kPeriodUs = 20000;   // device period: a few per measurement tick
constexpr unsigned kBufferUs = 500000;  // device buffer: slack while the ring is full

// ALSA prints its own diagnostics to stderr; the analyzer reports failures itself.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

__attribute__((format(printf, 3, 4))) void Format(char* out, int size, const char* fmt, ...) {
  if (out == nullptr || size <= 0) return;
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(out, static_cast<size_t>(size), fmt, ap);
  va_end(ap);
}

// The operator's words for the usual reasons a device will not open or stops.
const char* Reason(int err) {
  switch (-err) {
    case ENOENT:
    case ENXIO: return "устройство не найдено";
    case ENODEV: return "устройство отключено";
    case EBUSY: return "устройство занято другой программой";
    case EACCES:
    case EPERM: return "нет прав доступа к устройству";
    case EINVAL: return "устройство не принимает параметры захвата";
    default: return "ошибка устройства";
  }
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Device sample formats we read, best first, with the code of device full scale.
struct FormatRow {
  snd_pcm_format_t format;
  int bytes;
};
constexpr FormatRow kFormats[] = {
    {SND_PCM_FORMAT_S32_LE, 4},
    {SND_PCM_FORMAT_FLOAT_LE, 4},
    {SND_PCM_FORMAT_S24_LE, 4},
    {SND_PCM_FORMAT_S16_LE, 2},
};

// One device sample as a fraction of device full scale; `clip` when it sits at full scale.
double Sample(const unsigned char* p, snd_pcm_format_t f, bool* clip) {
  switch (f) {
    case SND_PCM_FORMAT_S32_LE: {
      int32_t v;
      std::memcpy(&v, p, 4);
      // A 24-bit converter in a 32-bit word tops out at 0x7FFFFF00.
      if (v >= 0x7FFFFF00 || v <= -0x7FFFFF00) *clip = true;
      return v / 2147483648.0;
    }
    case SND_PCM_FORMAT_FLOAT_LE: {
      float v;
      std::memcpy(&v, p, 4);
      if (!std::isfinite(v)) return 0.0;
      if (v >= 1.0f || v <= -1.0f) *clip = true;
      return std::clamp(static_cast<double>(v), -1.0, 1.0);
    }
    case SND_PCM_FORMAT_S24_LE: {
      int32_t v;
      std::memcpy(&v, p, 4);
      v = static_cast<int32_t>(static_cast<uint32_t>(v) << 8) >> 8;
      if (v >= 0x7FFFFF || v <= -0x7FFFFF) *clip = true;
      return v / 8388608.0;
    }
    default: {
      int16_t v;
      std::memcpy(&v, p, 2);
      if (v >= 32767 || v <= -32767) *clip = true;
      return v / 32768.0;
    }
  }
}

}  // namespace

struct CaptureSource {
  snd_pcm_t* pcm = nullptr;
  soxr_t soxr = nullptr;
  std::thread thread;
  snd_pcm_format_t format = SND_PCM_FORMAT_S32_LE;
  int bytes = 4;
  int channels = 0;
  int inputs[2] = {-1, -1};
  double scale[2] = {0.0, 0.0};  // counts per unit of device full scale
  unsigned deviceRate = 0;
  double rate = 0.0;
  snd_pcm_uframes_t period = 0;

  // The ring: frames numbered from the start of the run; [readPos, writePos) are waiting.
  std::mutex lock;
  std::condition_variable space;  // the reader freed frames, or stop
  std::condition_variable data;   // frames arrived, or the device was lost
  std::vector<int32_t> ring;      // interleaved A/B counts
  long long capacity = 0;         // frames
  long long readPos = 0, writePos = 0;
  std::deque<long long> gapsAt;  // frame numbers that follow missing samples
  int gaps = 0;
  int lost = 0;
  char lostReason[kCaptureTextLen] = "";

  std::atomic<bool> stop{false};
  std::atomic<int> injected{0};
  std::atomic<long long> injectAt{0};
  std::atomic<int> clipped[2] = {0, 0};
  std::atomic<double> cpuSeconds{0.0};

  ~CaptureSource() {
    if (soxr != nullptr) soxr_delete(soxr);
    if (pcm != nullptr) snd_pcm_close(pcm);
  }
};

namespace {

void MarkLost(CaptureSource* s, const char* reason) {
  std::lock_guard<std::mutex> g(s->lock);
  s->lost = 1;
  Format(s->lostReason, sizeof s->lostReason, "%s", reason);
  s->data.notify_all();
}

// Appends converted frames; waits while the ring is full (the device buffer then takes the
// slack, and a reader that stays behind shows up as a device overrun).
void Push(CaptureSource* s, const int32_t* frames, long long n, bool gapFirst) {
  std::unique_lock<std::mutex> g(s->lock);
  if (gapFirst) {
    s->gapsAt.push_back(s->writePos);
    s->gaps += 1;
  }
  long long done = 0;
  while (done < n && !s->stop.load()) {
    s->space.wait(g, [&] { return s->stop.load() || s->writePos - s->readPos < s->capacity; });
    if (s->stop.load()) break;
    const long long room = s->capacity - (s->writePos - s->readPos);
    const long long take = std::min(room, n - done);
    for (long long i = 0; i < take; ++i) {
      const long long at = (s->writePos + i) % s->capacity;
      s->ring[2 * at] = frames[2 * (done + i)];
      s->ring[2 * at + 1] = frames[2 * (done + i) + 1];
    }
    s->writePos += take;
    done += take;
    s->data.notify_all();
  }
}

int32_t ToCounts(double x, double scale) {
  const double v = std::nearbyint(x * scale);
  // The collection path takes counts · 128 in a 32-bit word.
  constexpr double kLimit = 16777215.0;
  return static_cast<int32_t>(std::clamp(v, -kLimit, kLimit));
}

void CaptureLoop(CaptureSource* s) {
  const size_t frameBytes = static_cast<size_t>(s->channels * s->bytes);
  std::vector<unsigned char> raw(static_cast<size_t>(s->period) * frameBytes);
  std::vector<double> pair(2 * s->period);
  const double ratio = s->rate / s->deviceRate;
  std::vector<double> converted(2 * (static_cast<size_t>(std::ceil(s->period * ratio)) + 64));
  std::vector<int32_t> counts(converted.size());
  bool gap = false;
  int silentMs = 0;

  int err = snd_pcm_start(s->pcm);
  if (err < 0 && err != -EBADFD) {
    MarkLost(s, Reason(err));
    return;
  }
  while (!s->stop.load()) {
    err = snd_pcm_wait(s->pcm, kWaitMs);
    if (err == 0) {
      silentMs += kWaitMs;
      if (silentMs >= kStalledMs) {
        MarkLost(s, "устройство перестало отдавать данные");
        return;
      }
      continue;
    }
    snd_pcm_sframes_t n = err < 0 ? err : snd_pcm_readi(s->pcm, raw.data(), s->period);
    if (n == -EAGAIN) continue;
    // writePos changes only on this thread, so reading it here needs no lock.
    if (n > 0 && s->injected.load() < 0 && s->writePos >= s->injectAt.load())
      n = s->injected.exchange(0);
    if (n == -EPIPE || n == -ESTRPIPE) {
      // Overrun (or a suspend): samples are missing. Start again and mark the place.
      gap = true;
      if (s->soxr != nullptr) soxr_clear(s->soxr);
      err = snd_pcm_recover(s->pcm, static_cast<int>(n), 1);
      if (err >= 0) err = snd_pcm_start(s->pcm);
      if (err < 0 && err != -EBADFD) {
        MarkLost(s, Reason(err));
        return;
      }
      continue;
    }
    if (n < 0) {
      MarkLost(s, Reason(static_cast<int>(n)));
      return;
    }
    silentMs = 0;
    if (n == 0) continue;

    bool clip[2] = {false, false};
    for (snd_pcm_sframes_t i = 0; i < n; ++i) {
      const unsigned char* frame = raw.data() + static_cast<size_t>(i) * frameBytes;
      for (int k = 0; k < 2; ++k) {
        const int ch = s->inputs[k];
        pair[2 * i + k] = ch < 0 ? 0.0 : Sample(frame + ch * s->bytes, s->format, &clip[k]);
      }
    }
    for (int k = 0; k < 2; ++k)
      if (clip[k]) s->clipped[k].store(1);

    const double* out = pair.data();
    size_t frames = static_cast<size_t>(n);
    if (s->soxr != nullptr) {
      size_t idone = 0, odone = 0;
      soxr_process(s->soxr, pair.data(), frames, &idone, converted.data(), converted.size() / 2,
                   &odone);
      out = converted.data();
      frames = odone;
    }
    for (size_t i = 0; i < 2 * frames; ++i) counts[i] = ToCounts(out[i], s->scale[i & 1]);
    if (frames > 0 || gap) {
      Push(s, counts.data(), static_cast<long long>(frames), gap);
      gap = false;
    }
    s->cpuSeconds.store(ThreadCpuSeconds());
  }
  s->cpuSeconds.store(ThreadCpuSeconds());
}

__attribute__((format(printf, 4, 5))) int Fail(int result, char* message, int size, const char* fmt,
                                               ...) {
  if (message != nullptr && size > 0) {
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(message, static_cast<size_t>(size), fmt, ap);
    va_end(ap);
  }
  return result;
}

}  // namespace

int CaptureStart(const CaptureRequest& req, CaptureSource** out, char* message, int size) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { snd_lib_error_set_handler(QuietAlsa); });
  *out = nullptr;
  const char* name = req.device != nullptr && req.device[0] != '\0' ? req.device : "default";
  int need = 0;
  for (int k = 0; k < 2; ++k) {
    if (req.inputs[k] >= kCaptureMaxInputs)
      return Fail(kCaptureNoInput, message, size, "Вход %d не существует (входы 0 … 7).",
                  req.inputs[k]);
    need = std::max(need, req.inputs[k] + 1);
  }
  if (need == 0) return Fail(kCaptureNoInput, message, size, "Не выбран ни один вход.");
  if (!(req.rate >= 1.0)) return Fail(kCaptureNoRate, message, size, "Частота анализа не задана.");

  auto s = std::make_unique<CaptureSource>();
  // Without the blocking flag a busy device refuses at once instead of holding the program.
  // ALSA's own rate conversion is left out: where rates differ libsoxr converts.
  int err = snd_pcm_open(&s->pcm, name, SND_PCM_STREAM_CAPTURE,
                         SND_PCM_NONBLOCK | SND_PCM_NO_AUTO_RESAMPLE);
  if (err < 0) {
    s->pcm = nullptr;
    return Fail(kCaptureOpenFailed, message, size,
                "Не удалось открыть устройство захвата «%s»: %s (%s).", name, Reason(err),
                snd_strerror(err));
  }
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  err = snd_pcm_hw_params_any(s->pcm, hw);
  if (err >= 0) err = snd_pcm_hw_params_set_access(s->pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
  if (err < 0)
    return Fail(kCaptureOpenFailed, message, size,
                "Устройство захвата «%s» не настраивается: %s (%s).", name, Reason(err),
                snd_strerror(err));
  err = -EINVAL;
  for (const FormatRow& f : kFormats) {
    if (snd_pcm_hw_params_test_format(s->pcm, hw, f.format) == 0) {
      err = snd_pcm_hw_params_set_format(s->pcm, hw, f.format);
      s->format = f.format;
      s->bytes = f.bytes;
      break;
    }
  }
  if (err < 0)
    return Fail(kCaptureOpenFailed, message, size,
                "Устройство захвата «%s» не даёт отсчётов в понятном формате (16, 24, 32 бит или "
                "float).",
                name);

  unsigned maxChannels = 0;
  snd_pcm_hw_params_get_channels_max(hw, &maxChannels);
  if (static_cast<unsigned>(need) > maxChannels)
    return Fail(kCaptureNoInput, message, size,
                "У устройства захвата «%s» нет входа %d: входов %u (0 … %u).", name, need - 1,
                maxChannels, maxChannels > 0 ? maxChannels - 1 : 0);
  unsigned channels = static_cast<unsigned>(need);
  err = snd_pcm_hw_params_set_channels_min(s->pcm, hw, &channels);
  if (err >= 0) err = snd_pcm_hw_params_set_channels_first(s->pcm, hw, &channels);
  if (err < 0)
    return Fail(kCaptureNoInput, message, size,
                "Устройство захвата «%s» не открывается с %d входами: %s.", name, need,
                snd_strerror(err));

  unsigned rate = req.deviceRate;
  int dir = 0;
  if (rate > 0) {
    err = snd_pcm_hw_params_set_rate(s->pcm, hw, rate, 0);
  } else {
    rate = static_cast<unsigned>(std::ceil(req.rate));
    err = snd_pcm_hw_params_set_rate_min(s->pcm, hw, &rate, &dir);
    if (err >= 0) err = snd_pcm_hw_params_set_rate_first(s->pcm, hw, &rate, &dir);
  }
  if (err < 0) {
    unsigned top = 0;
    snd_pcm_hw_params_t* any = nullptr;
    snd_pcm_hw_params_alloca(&any);
    snd_pcm_hw_params_any(s->pcm, any);
    snd_pcm_hw_params_get_rate_max(any, &top, &dir);
    return Fail(kCaptureNoRate, message, size,
                "Устройство захвата «%s» не работает на частоте %u Гц (наибольшая %u Гц).", name,
                req.deviceRate > 0 ? req.deviceRate : static_cast<unsigned>(std::ceil(req.rate)),
                top);
  }
  unsigned periodUs = kPeriodUs, bufferUs = kBufferUs;
  snd_pcm_hw_params_set_buffer_time_near(s->pcm, hw, &bufferUs, &dir);
  snd_pcm_hw_params_set_period_time_near(s->pcm, hw, &periodUs, &dir);
  err = snd_pcm_hw_params(s->pcm, hw);
  if (err < 0)
    return Fail(kCaptureOpenFailed, message, size,
                "Устройство захвата «%s» не принимает параметры захвата: %s (%s).", name,
                Reason(err), snd_strerror(err));
  snd_pcm_hw_params_get_period_size(hw, &s->period, &dir);
  if (s->period == 0) s->period = 1024;
  snd_pcm_hw_params_get_rate(hw, &rate, &dir);

  s->channels = static_cast<int>(channels);
  s->deviceRate = rate;
  s->rate = req.rate;
  for (int k = 0; k < 2; ++k) {
    s->inputs[k] = req.inputs[k];
    const double volts = req.fullScaleVolts[k] > 0.0 ? req.fullScaleVolts[k] : 10.0;
    s->scale[k] = kCaptureCountsPer10V * volts / 10.0;
  }
  if (std::fabs(req.rate - rate) > 1e-9 * req.rate) {
    soxr_error_t e = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t q = soxr_quality_spec(SOXR_VHQ, 0);
    s->soxr = soxr_create(rate, req.rate, 2, &e, &io, &q, nullptr);
    if (e != nullptr || s->soxr == nullptr) {
      s->soxr = nullptr;
      return Fail(kCaptureNoConverter, message, size,
                  "Преобразование частоты %u Гц → %g Гц невозможно: %s.", rate, req.rate,
                  e != nullptr ? e : "");
    }
  }
  long long frames = req.ringFrames > 0 ? req.ringFrames : static_cast<long long>(2 * req.rate);
  const long long chunk = static_cast<long long>(std::ceil(s->period * s->rate / rate)) + 64;
  s->capacity = std::max(frames, 4 * chunk);
  s->ring.assign(static_cast<size_t>(2 * s->capacity), 0);
  err = snd_pcm_prepare(s->pcm);
  if (err < 0)
    return Fail(kCaptureOpenFailed, message, size,
                "Устройство захвата «%s» не запускается: %s (%s).", name, Reason(err),
                snd_strerror(err));
  CaptureSource* raw = s.release();
  raw->thread = std::thread(CaptureLoop, raw);
  pthread_setname_np(raw->thread.native_handle(), "veltra-capture");  // for top and /proc
  *out = raw;
  if (message != nullptr && size > 0) message[0] = '\0';
  return kCaptureOk;
}

void CaptureStop(CaptureSource* s) {
  if (s == nullptr) return;
  {
    std::lock_guard<std::mutex> g(s->lock);
    s->stop.store(true);
    s->space.notify_all();
  }
  if (s->thread.joinable()) s->thread.join();
  if (s->pcm != nullptr) snd_pcm_drop(s->pcm);
  delete s;
}

int CaptureRead(CaptureSource* s, int32_t* dst, int maxFrames, int* gap) {
  *gap = 0;
  if (s == nullptr || maxFrames <= 0) return 0;
  std::lock_guard<std::mutex> g(s->lock);
  long long limit = s->writePos;
  if (!s->gapsAt.empty()) {
    if (s->gapsAt.front() <= s->readPos) {
      s->gapsAt.pop_front();
      *gap = 1;
      return 0;
    }
    limit = std::min(limit, s->gapsAt.front());
  }
  const long long n = std::min<long long>(limit - s->readPos, maxFrames);
  for (long long i = 0; i < n; ++i) {
    const long long at = (s->readPos + i) % s->capacity;
    dst[2 * i] = s->ring[2 * at];
    dst[2 * i + 1] = s->ring[2 * at + 1];
  }
  s->readPos += n;
  if (n > 0) s->space.notify_all();
  return static_cast<int>(n);
}

int CaptureAvailable(CaptureSource* s) {
  if (s == nullptr) return 0;
  std::lock_guard<std::mutex> g(s->lock);
  return static_cast<int>(s->writePos - s->readPos);
}

void CaptureWait(CaptureSource* s, int frames, int timeoutMs) {
  if (s == nullptr || timeoutMs <= 0) return;
  std::unique_lock<std::mutex> g(s->lock);
  // Never ask for more than the ring can hold.
  const long long want = std::min<long long>(frames, s->capacity);
  s->data.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] {
    return s->lost != 0 || !s->gapsAt.empty() || s->writePos - s->readPos >= want;
  });
}

void CaptureGetStats(CaptureSource* s, CaptureStats* st) {
  *st = CaptureStats{};
  if (s == nullptr) return;
  std::lock_guard<std::mutex> g(s->lock);
  st->deviceRate = s->deviceRate;
  st->deviceChannels = s->channels;
  st->converting = s->soxr != nullptr ? 1 : 0;
  st->frames = s->writePos;
  st->gaps = s->gaps;
  for (int k = 0; k < 2; ++k) st->clipped[k] = s->clipped[k].exchange(0);
  st->lost = s->lost;
  std::memcpy(st->lostReason, s->lostReason, sizeof st->lostReason);
  st->threadCpuSeconds = s->cpuSeconds.load();
}

int CaptureDeviceNames(char (*names)[kCaptureTextLen], int maxNames) {
  if (maxNames <= 0) return 0;
  static std::once_flag quiet;
  std::call_once(quiet, [] { snd_lib_error_set_handler(QuietAlsa); });
  int count = 0;
  Format(names[count++], kCaptureTextLen, "%s", "default");
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) < 0 || hints == nullptr) return count;
  for (void** h = hints; *h != nullptr && count < maxNames; ++h) {
    char* name = snd_device_name_get_hint(*h, "NAME");
    char* io = snd_device_name_get_hint(*h, "IOID");
    const bool input = io == nullptr || std::strcmp(io, "Input") == 0;
    bool seen = name == nullptr || std::strlen(name) >= kCaptureTextLen;
    for (int i = 0; !seen && i < count; ++i) seen = std::strcmp(names[i], name) == 0;
    if (input && !seen) Format(names[count++], kCaptureTextLen, "%s", name);
    std::free(name);
    std::free(io);
  }
  snd_device_name_free_hint(hints);
  return count;
}

void CaptureInjectError(CaptureSource* s, int err, long long afterFrames) {
  if (s == nullptr) return;
  s->injectAt.store(afterFrames);
  s->injected.store(err);
}
