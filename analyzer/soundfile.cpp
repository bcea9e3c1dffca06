// Sound files through libsndfile: reading them as recordings, and exporting recordings to them.
#include "analyzer/soundfile.h"

#include <sndfile.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "analyzer/fileio.h"
#include "analyzer/menager.h"
#include "analyzer/model.h"
#include "analyzer/notify.h"
#include "analyzer/recorder.h"
#include "safefile/safefile.h"

double soundFullScale = 0.0;

namespace {

// The first line of the comment of a file we exported; the recording's header follows it.
constexpr const char* kMarker = "veltra-recording\n";
constexpr double kConverterFullScale = 8388608.0;  // 2^23 counts
constexpr long kChunk = 4096;                      // records per read

struct SoundFile {
  SNDFILE* f = nullptr;
  SF_INFO info{};
  explicit SoundFile(const char* path, int mode = SFM_READ, const SF_INFO* want = nullptr) {
    // Only a plain file: a pipe under the name could hold the program.
    std::error_code ec;
    if (mode == SFM_READ && !std::filesystem::is_regular_file(path, ec)) return;
    if (want != nullptr) info = *want;
    f = sf_open(path, mode, &info);
  }
  // Writes into a descriptor the caller owns and closes.
  SoundFile(int fd, const SF_INFO& want) : info(want) {
    f = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
  }
  ~SoundFile() {
    if (f != nullptr) sf_close(f);
  }
  SoundFile(const SoundFile&) = delete;
  SoundFile& operator=(const SoundFile&) = delete;
};

// Our header from the file's comment, or empty.
std::string OwnHeader(SNDFILE* f) {
  const char* c = sf_get_string(f, SF_STR_COMMENT);
  if (c == nullptr || std::strncmp(c, kMarker, std::strlen(kMarker)) != 0) return {};
  return c + std::strlen(kMarker);
}

// Counts per unit of the file's normalised samples.
double CountsPerFullScale(bool own) {
  if (own || !(soundFullScale > 0.0)) return kConverterFullScale;
  return soundFullScale * 1000.0 / kMvPerCount;
}

int32_t ToCount(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(std::lround(v));
}

long ReadCounts(SoundFile& s, long count, double scale, int32_t* out) {
  const int nrec = s.info.channels;
  std::vector<double> buf(static_cast<size_t>(std::min(count, kChunk)) * nrec);
  long done = 0;
  while (done < count) {
    const long want = std::min(count - done, kChunk);
    const sf_count_t got = sf_readf_double(s.f, buf.data(), want);
    if (got <= 0) break;
    for (sf_count_t i = 0; i < got * nrec; ++i) out[done * nrec + i] = ToCount(buf[i] * scale);
    done += static_cast<long>(got);
    if (got < want) break;
  }
  return done;
}

bool EndsWith(const char* path, const char* ext) {
  const size_t n = std::strlen(path), e = std::strlen(ext);
  return n > e && strcasecmp(path + n - e, ext) == 0;
}

// The loaded recording as the recorder would describe it, with the calibration its inputs
// have now (the operator may have corrected it).
RecordingSetup LoadedSetup() {
  RecordingSetup s{};
  s.srate = fs.srate > 0 ? fs.srate : cus.srate;
  s.runmode = rcu.runmode;
  s.flen = fs.flen;
  s.nrec = fs.nrec;
  for (int n = 0; n < kInputs; ++n) {
    if (!OnOffCh[n] || records[n] < 0 || records[n] >= fs.nrec) continue;
    const int k = records[n];
    s.input[k] = n;
    s.sen[k] = cch.sen[n];
    s.upc[k] = cch.upc[n];
    s.lo[k] = cch.lo[n];
    std::snprintf(s.dim[k], sizeof s.dim[k], "%s", cch.dim[n]);
  }
  return s;
}

// Reads the loaded recording from its start, in chunks, whatever its format.
struct SourceReader {
  bool sound;
  std::FILE* raw = nullptr;
  SoundFile* snd = nullptr;
  double scale = kConverterFullScale;
  long Read(long count, int nrec, int32_t* out) {
    if (sound) return ReadCounts(*snd, count, scale, out);
    std::vector<unsigned char> b(static_cast<size_t>(count) * nrec * 4);
    const size_t got =
        std::fread(b.data(), static_cast<size_t>(nrec) * 4, static_cast<size_t>(count), raw);
    for (size_t i = 0; i < got * nrec; ++i) {
      const uint32_t u = b[4 * i] | (b[4 * i + 1] << 8) | (b[4 * i + 2] << 16) |
                         (static_cast<uint32_t>(b[4 * i + 3]) << 24);
      out[i] = static_cast<int32_t>(u);
    }
    return static_cast<long>(got);
  }
};

}  // namespace

bool IsSoundFileName(const char* path) {
  for (const char* ext : {".wav", ".flac", ".w64", ".rf64"}) {
    if (EndsWith(path, ext)) return true;
  }
  return false;
}

const char* ReadSoundFileHeader(const char* path, RecordingHeader* h) {
  *h = RecordingHeader{};
  h->runmode = kRunModes;
  SoundFile s(path);
  if (s.f == nullptr) return "звуковой файл не открывается";
  const int ch = s.info.channels;
  if (ch < 1 || ch > kInputs) return "в звуковом файле больше 8 каналов";
  if (s.info.frames < 1) return "в записи нет данных";
  if (!(s.info.samplerate >= kMinRecordRate) || s.info.samplerate > kMaxRecordRate) {
    return "неверная частота опроса";
  }
  const std::string own = OwnHeader(s.f);
  bool taken = false;
  if (!own.empty()) {
    std::vector<char> cp(own.size() * 2 + 1);
    if (RecodeText("CP1251", "UTF-8", own.data(), own.size(), cp.data(), cp.size()) &&
        ParseRecordingHeader(cp.data(), std::strlen(cp.data()), h) == nullptr && h->nrec == ch) {
      taken = true;
    }
  }
  if (!taken) {
    // A file from elsewhere: inputs 0, 1, … in volts at the default sensitivity.
    *h = RecordingHeader{};
    const std::string mode = textmode[0];
    RecodeText("CP1251", "UTF-8", mode.data(), mode.size(), h->text[0], sizeof h->text[0]);
    h->lines = 1;
    h->runmode = 0;
    h->nrec = ch;
    h->flen = cus.frameLen;
    for (int k = 0; k < ch; ++k) {
      h->input[k] = k;
      h->sen[k] = 1000.0;
      h->upc[k] = kMvPerCount / 1000.0;
      h->lo[k] = 1e-05;
      std::snprintf(h->dim[k], sizeof h->dim[k], "%s", "В");
    }
  }
  // The file itself says how long it is and at what rate; a very long one plays its first
  // part (the record count is an int).
  h->srate = s.info.samplerate;
  h->nrecs = static_cast<int>(std::min<sf_count_t>(s.info.frames, INT_MAX / ch));
  h->total = static_cast<long long>(h->nrecs) * ch;
  return nullptr;
}

long ReadSoundRecords(const char* path, long long first, long frames, int nrec, int32_t* out) {
  SoundFile s(path);
  if (s.f == nullptr || s.info.channels != nrec || frames <= 0) return 0;
  if (sf_seek(s.f, first, SEEK_SET) < 0) return 0;
  return ReadCounts(s, frames, CountsPerFullScale(!OwnHeader(s.f).empty()), out);
}

void DataOfSoundFile() {
  const int n = cus.frameLen;
  const int nrec = fs.nrec;
  if (nrec < 1 || nrec > kInputs || fs.nread < 1 || static_cast<int>(wave.size()) < 2 * n) {
    StopMeass();
    return;
  }
  SoundFile s(file_name);
  if (s.f == nullptr || s.info.channels != nrec) {
    StopMeass();
    NotifyMessage("Внимание !", "Файл записи не читается !");
    return;
  }
  const long long first = fs.pos / (4LL * nrec);
  bool complete = sf_seek(s.f, first, SEEK_SET) >= 0;
  const double scale = CountsPerFullScale(!OwnHeader(s.f).empty());
  const int colA = rcu.colA >= 0 && rcu.colA < nrec ? rcu.colA : 0;
  const int colB = rcu.colB >= 0 && rcu.colB < nrec ? rcu.colB : 0;
  std::vector<int32_t> chunk(static_cast<size_t>(kChunk) * nrec);
  for (long i = 0; complete && i < fs.nread;) {
    const long want = std::min<long>(kChunk, fs.nread - i);
    const long got = ReadCounts(s, want, scale, chunk.data());
    for (long j = 0; j < got; ++j, ++i) {
      if (i < dbuf.nframe && i < n) {
        wave[i] = rcu.onA ? chunk[j * nrec + colA] : 0;
        wave[n + i] = rcu.onB ? chunk[j * nrec + colB] : 0;
      }
    }
    if (got < want) complete = false;
  }
  if (complete) fs.pos += static_cast<long>(fs.nread) * nrec * 4;
  if (!complete) StopMeass();
}

const char* ExportRecording(const char* dst, long long* clipped) {
  *clipped = 0;
  if (fs.nrec < 1 || fs.nrecs < 1) return "запись не загружена";
  const bool flac = EndsWith(dst, ".flac");
  if (!flac && !EndsWith(dst, ".wav")) return "имя файла должно оканчиваться на .wav или .flac";
  const RecordingSetup setup = LoadedSetup();
  const int nrec = setup.nrec;
  const long long total = fs.nrecs;

  SourceReader src{IsSoundFileName(file_name)};
  std::unique_ptr<SoundFile> snd;
  if (src.sound) {
    snd = std::make_unique<SoundFile>(file_name);
    if (snd->f == nullptr || snd->info.channels != nrec) return "файл записи не читается";
    src.snd = snd.get();
    src.scale = CountsPerFullScale(!OwnHeader(snd->f).empty());
  } else {
    std::error_code ec;
    if (std::filesystem::is_regular_file(file_name, ec)) src.raw = std::fopen(file_name, "rb");
    if (src.raw == nullptr) return "файл записи не читается";
  }

  // Encoded into a fresh temporary beside the target, renamed over it only when complete: a
  // link or pipe under the name is never written through.
  StagedFile staged;
  int fd = -1;
  const int opened = OpenStagedFile(dst, &staged, &fd);
  if (opened != kFileWritten) {
    if (src.raw != nullptr) std::fclose(src.raw);
    return opened == kFileNotPlain ? "под этим именем не обычный файл" : "файл не создаётся";
  }
  SF_INFO want{};
  want.samplerate = static_cast<int>(std::lround(setup.srate));
  want.channels = nrec;
  // A WAV beyond 4 GB becomes RF64 by itself; below it stays a plain WAV.
  want.format = flac ? (SF_FORMAT_FLAC | SF_FORMAT_PCM_24) : (SF_FORMAT_RF64 | SF_FORMAT_PCM_32);
  const char* why = nullptr;
  {
    SoundFile out(fd, want);
    if (out.f == nullptr) {
      why = "файл не создаётся";
    } else {
      if (!flac) sf_command(out.f, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
      const long long described = std::min<long long>(total, INT_MAX / nrec);
      const std::string comment = kMarker + RecordingHeaderText(setup, described);
      sf_set_string(out.f, SF_STR_COMMENT, comment.c_str());
      sf_set_string(out.f, SF_STR_SOFTWARE, "veltra");
      std::vector<int32_t> counts(static_cast<size_t>(kChunk) * nrec);
      for (long long done = 0; done < total && why == nullptr;) {
        const long want_n = static_cast<long>(std::min<long long>(kChunk, total - done));
        const long got = src.Read(want_n, nrec, counts.data());
        if (got < want_n) why = "файл записи короче, чем указано";
        // Full scale of the file is the converter's: a count sits in the top 24 bits.
        for (long i = 0; i < got * nrec; ++i) {
          const int32_t c = std::clamp<int32_t>(counts[i], -8388608, 8388607);
          if (c != counts[i]) ++*clipped;
          counts[i] = c * 256;
        }
        if (got > 0 && sf_writef_int(out.f, counts.data(), got) != got) why = "ошибка записи файла";
        done += got;
      }
      // Closing writes what the encoder still holds: its result counts too.
      const int closed = sf_close(out.f);
      out.f = nullptr;
      if (why == nullptr && closed != 0) why = "ошибка записи файла";
    }
  }
  if (src.raw != nullptr) std::fclose(src.raw);
  if (fsync(fd) != 0 && why == nullptr) why = "ошибка записи файла";
  if (close(fd) != 0 && why == nullptr) why = "ошибка записи файла";
  if (why != nullptr) {
    DiscardStagedFile(&staged);
  } else if (CommitStagedFile(&staged) != kFileWritten) {
    why = "файл не переименовывается";
  }
  return why;
}
