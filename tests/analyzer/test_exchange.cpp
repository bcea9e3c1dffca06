// Recording and exchange: the recorder (round trip through playback, a failing or slow disk),
// sound files played and exported through libsndfile, CSV and pictures of a result window.
#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "analyzer/file_ctrl_rec.h"
#include "analyzer/fileio.h"
#include "analyzer/menager_panel.h"
#include "analyzer/recorder.h"
#include "analyzer/save.h"
#include "analyzer/soundfile.h"
#include "fixture.h"

namespace {

using veltra_test::ScratchDir;
using veltra_test::VeltraTest;

constexpr double kPi = 3.14159265358979323846;

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::vector<int32_t> RawRecords(const std::string& path) {
  const std::string b = Slurp(path);
  std::vector<int32_t> v(b.size() / 4);
  for (size_t i = 0; i < v.size(); ++i) {
    uint32_t u = 0;
    for (int j = 0; j < 4; ++j) {
      u |= static_cast<uint32_t>(static_cast<unsigned char>(b[4 * i + j])) << (8 * j);
    }
    v[i] = static_cast<int32_t>(u);
  }
  return v;
}

// The header as the playback reader takes it.
RecordingHeader ParsedHeader(const std::string& infPath) {
  const std::string b = Slurp(infPath);
  RecordingHeader h{};
  const char* why = ParseRecordingHeader(b.data(), b.size(), &h);
  EXPECT_EQ(why, nullptr) << (why ? why : "");
  return h;
}

RecordingSetup TwoInputSetup() {
  RecordingSetup s{};
  s.srate = 4096;
  s.flen = 1024;
  s.nrec = 2;
  s.input[0] = 2, s.input[1] = 5;
  for (int k = 0; k < 2; ++k) {
    s.sen[k] = 10.0 * (k + 1);
    s.upc[k] = 1e-4 / (k + 1);
    s.lo[k] = 2e-05;
    std::snprintf(s.dim[k], sizeof s.dim[k], "%s", k == 0 ? "Па" : "м/с^2");
  }
  return s;
}

// A disk that takes `limit` bytes and then reports itself full.
struct FullDisk {
  long limit;
  long taken = 0;
};
long FullDiskWrite(void* ctx, int fd, const void* data, std::size_t n) {
  auto* d = static_cast<FullDisk*>(ctx);
  const long room = d->limit - d->taken;
  const long now = static_cast<long>(n) < room ? static_cast<long>(n) : room;
  if (now > 0 && ::write(fd, data, static_cast<size_t>(now)) != now) return -1;
  d->taken += now;
  if (now < static_cast<long>(n)) errno = ENOSPC;
  return now;
}
int NoSync(void*, int) { return 0; }

// A disk that holds every write until released.
std::atomic<bool> g_released{false};
long HeldWrite(void*, int fd, const void* data, std::size_t n) {
  while (!g_released.load()) usleep(1000);
  return ::write(fd, data, n);
}

// A result window's picture or CSV saved through the save button, the dialog answered.
class Exchange : public VeltraTest {
 protected:
  static void Answer(const std::string& path) { veltra_test::Popups().fileAnswers.push_back(path); }
  static std::vector<double> SpectrumDb(const double* g) {
    std::vector<double> db;
    for (int i = 0; i < cus.lines; ++i) db.push_back(10.0 * std::log10(g[2 * i] + 1e-300));
    return db;
  }
  static int PeakLine(const double* g) {
    int best = 1;
    for (int i = 1; i < cus.lines; ++i) {
      if (g[2 * i] > g[2 * best]) best = i;
    }
    return best;
  }
  static void Play(const std::string& path, int inputA, int inputB, int averages) {
    Answer(path);
    Set("SourceRing", "2");
    ASSERT_EQ(rcu.source, 2);
    ASSERT_GE(fs.nrec, 1) << path;
    Press(("InputButton" + std::to_string(inputA)).c_str());
    if (inputB >= 0) Press(("InputButton" + std::to_string(inputB)).c_str());
    Set("AveragesField", std::to_string(averages).c_str());
    Set("StartButton", "1");
    for (int i = 0; i < 100 && start == 1; ++i) Tick();
    ASSERT_EQ(start, 0);
    ASSERT_EQ(rcu.avgCount - 1, averages) << "the recording supplied every frame";
  }
};

TEST_F(Exchange, GeneratorRecordedAndPlayedBackGivesTheSameSpectrum) {
  Set("SampleRateRing", "8192");
  Set("FftSizeRing", "1024");
  Set("WaveformRing", "1");  // Gaussian noise: every sample counts
  Set("AmplitudeField", "5000");
  Press("GeneratorSwitch");
  Set("AveragesField", "10");
  // Typed without an extension: the header is "generated.inf", and playback finds it there.
  const std::string rec = ScratchDir() + "/generated";
  std::remove(rec.c_str());
  Answer(rec);
  Press("RecordButton");
  Set("StartButton", "1");
  for (int i = 0; i < 100 && start == 1; ++i) Tick();
  ASSERT_EQ(start, 0);
  Press("RecordButton");  // stop: the header is final
  const std::vector<double> a = SpectrumDb(Gxx), b = SpectrumDb(Gyy);
  const int inputA = rcu.chanA, inputB = rcu.chanB;

  const RecordingHeader h = ParsedHeader(ScratchDir() + "/generated.inf");
  EXPECT_EQ(h.srate, 8192.0);
  EXPECT_EQ(h.nrec, 2);
  EXPECT_EQ(h.runmode, 0);
  EXPECT_EQ(h.input[0], inputA);
  EXPECT_EQ(h.input[1], inputB);
  EXPECT_DOUBLE_EQ(h.upc[0], cch.upc[inputA]) << "the calibration is stored exactly";
  EXPECT_GE(h.nrecs, 10 * 1024);
  EXPECT_EQ(RawRecords(rec).size(), static_cast<size_t>(h.total)) << "header and data agree";

  Play(rec, inputA, inputB, 10);
  const std::vector<double> pa = SpectrumDb(Gxx), pb = SpectrumDb(Gyy);
  ASSERT_EQ(pa.size(), a.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_NEAR(pa[i], a[i], 0.01) << "line " << i;
    EXPECT_NEAR(pb[i], b[i], 0.01) << "line " << i;
  }
}

TEST_F(Exchange, TheRecordButtonEndsARecordingThatCannotGoOnAsItBegan) {
  auto lastPopup = [] { return Seen().empty() ? std::string() : Seen().back().text; };
  Set("SampleRateRing", "8192");
  Set("FftSizeRing", "1024");
  Press("GeneratorSwitch");
  Set("ExponentialBox", "1");
  // Armed and released without data: nothing is left under the name.
  const std::string idle = ScratchDir() + "/idle.dat";
  Answer(idle);
  Press("RecordButton");
  EXPECT_EQ(IntOf("RecordButton"), 1);
  Press("RecordButton");
  EXPECT_NE(GetFileInfo(idle.c_str(), nullptr), 1);
  // A name that cannot be created: the first step says so and releases the button.
  Answer(ScratchDir() + "/no/such/dir/x.dat");
  Press("RecordButton");
  Set("StartButton", "1");
  Tick();
  EXPECT_NE(lastPopup().find("Запись не начата"), std::string::npos) << lastPopup();
  EXPECT_EQ(IntOf("RecordButton"), 0);
  // A pipe under the name is refused at the first step: nothing is written into it or waits on it.
  const std::string pipe = ScratchDir() + "/pipe.dat";
  std::remove(pipe.c_str());
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  Answer(pipe);
  Press("RecordButton");
  Tick();
  EXPECT_NE(lastPopup().find("не обычный файл"), std::string::npos) << lastPopup();
  EXPECT_EQ(IntOf("RecordButton"), 0);
  std::remove(pipe.c_str());
  // A new rate in the middle: the recording ends with the steps of the old one.
  const std::string rec = ScratchDir() + "/rate.dat";
  Answer(rec);
  Press("RecordButton");
  Tick(3);
  Set("SampleRateRing", "4096");
  Tick();
  EXPECT_NE(lastPopup().find("изменились частота"), std::string::npos) << lastPopup();
  EXPECT_EQ(IntOf("RecordButton"), 0);
  const RecordingHeader h = ParsedHeader(ScratchDir() + "/rate.inf");
  EXPECT_EQ(h.srate, 8192.0);
  EXPECT_EQ(h.nrecs, 3 * 1024);
  Set("StartButton", "0");
  // Playback is not recorded.
  Answer(rec);
  Set("SourceRing", "2");
  Press("RecordButton");
  EXPECT_EQ(IntOf("RecordButton"), 0);
  EXPECT_NE(lastPopup().find("не воспроизведение"), std::string::npos) << lastPopup();
}

TEST_F(Exchange, AFailingDiskLeavesAShorterRecordingItsHeaderDescribes) {
  const std::string path = ScratchDir() + "/full.dat";
  std::vector<int32_t> block(2 * 1000);
  for (size_t i = 0; i < block.size(); ++i) {
    block[i] = static_cast<int32_t>(i * 7919 % 100003) - 50000;
  }
  // 3 full blocks and 10.5 records of the fourth reach the disk.
  FullDisk disk{3 * 8000 + 84};
  const RecorderSink sink{FullDiskWrite, NoSync, &disk};
  ASSERT_EQ(RecorderStart(path.c_str(), TwoInputSetup(), &sink), 0);
  int accepted = 0;
  for (int i = 0; i < 50; ++i) accepted += RecorderPush(block.data(), 1000) ? 1 : 0;
  const RecorderStatus s = RecorderStop();
  EXPECT_GE(accepted, 4);
  EXPECT_EQ(s.error, ENOSPC);
  EXPECT_EQ(s.records, 3010);
  EXPECT_FALSE(RecorderPush(block.data(), 1000)) << "nothing is taken once stopped";

  const RecordingHeader h = ParsedHeader(ScratchDir() + "/full.inf");
  EXPECT_EQ(h.nrecs, 3010) << "whole records on disk, the torn one left out";
  EXPECT_EQ(h.input[1], 5);
  EXPECT_STREQ(h.dim[0], "Па");
  EXPECT_DOUBLE_EQ(h.sen[1], 20.0);
  const std::vector<int32_t> data = RawRecords(path);
  ASSERT_GE(data.size(), static_cast<size_t>(h.total));
  for (int i = 0; i < h.total; ++i) ASSERT_EQ(data[i], block[i % block.size()]) << i;

  // The analyzer takes it as a recording.
  std::snprintf(file_name, sizeof file_name, "%s", path.c_str());
  EXPECT_EQ(InputInfFile(), 1);
  EXPECT_EQ(fs.nrecs, 3010);
}

TEST_F(Exchange, TheHeaderFollowsTheDataWhileRecording) {
  const std::string path = ScratchDir() + "/live.dat";
  const std::string inf = ScratchDir() + "/live.inf";
  ASSERT_EQ(RecorderStart(path.c_str(), TwoInputSetup()), 0);
  auto statedValues = [&] {
    const std::string b = Slurp(inf);
    const size_t at = b.find("\nN=");
    return at == std::string::npos ? -1L : std::atol(b.c_str() + at + 3);
  };
  EXPECT_EQ(statedValues(), 0) << "a header from the first moment";
  std::vector<int32_t> block(2 * 1000, 3);
  ASSERT_TRUE(RecorderPush(block.data(), 1000));
  // A crash now would leave what the last checkpoint stated: it comes within about a second.
  for (int i = 0; i < 3000 && statedValues() != 2000; ++i) usleep(10000);
  EXPECT_EQ(statedValues(), 2000);
  ASSERT_TRUE(RecorderPush(block.data(), 1000));
  EXPECT_EQ(RecorderStop().records, 2000);
  EXPECT_EQ(statedValues(), 4000) << "the stop states everything";
}

TEST_F(Exchange, ASourceFasterThanTheDiskEndsTheRecordingWithoutAGap) {
  const std::string path = ScratchDir() + "/slow.dat";
  g_released = false;
  const RecorderSink sink{HeldWrite, NoSync, nullptr};
  ASSERT_EQ(RecorderStart(path.c_str(), TwoInputSetup(), &sink), 0);
  std::vector<int32_t> block(2 * 8192);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<int32_t>(i);
  int pushed = 0;
  while (pushed < 1000 && RecorderPush(block.data(), 8192)) ++pushed;
  EXPECT_LT(pushed, 1000) << "the queue is bounded";
  EXPECT_TRUE(RecorderPoll().overrun);
  EXPECT_FALSE(RecorderPush(block.data(), 8192)) << "no later step after a lost one";
  g_released = true;
  const RecorderStatus s = RecorderStop();
  EXPECT_EQ(s.error, 0);
  EXPECT_EQ(s.records, 8192LL * pushed) << "every accepted step, none after the loss";
  EXPECT_EQ(ParsedHeader(ScratchDir() + "/slow.inf").nrecs, 8192 * pushed);
}

TEST_F(Exchange, SoundFilesFromElsewherePlayAtTheirLevelAndFrequency) {
  // Stereo at 8192 Hz: 1 kHz at half scale on the left, 2.56 kHz at a quarter on the right; as
  // 16-bit WAV and as floating-point W64.
  std::vector<double> v(2 * 8192 * 2);
  for (int i = 0; i < 8192 * 2; ++i) {
    v[2 * i] = 0.5 * std::sin(2 * kPi * 1000.0 * i / 8192.0);
    v[2 * i + 1] = 0.25 * std::sin(2 * kPi * 2560.0 * i / 8192.0);
  }
  Set("FftSizeRing", "1024");
  for (const auto& [name, format] : {std::pair{"/tones.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                     std::pair{"/tones.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT}}) {
    const std::string path = ScratchDir() + name;
    SF_INFO info{};
    info.samplerate = 8192;
    info.channels = 2;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(sf_writef_double(f, v.data(), 8192 * 2), 8192 * 2);
    sf_close(f);

    Play(path, 0, 1, 4);
    EXPECT_EQ(cus.srate, 8192.0);
    EXPECT_STREQ(cch.dim[0], "В");
    EXPECT_NEAR(x_band[PeakLine(Gxx)], 1000.0, 1e-9) << name;
    EXPECT_NEAR(x_band[PeakLine(Gyy)], 2560.0, 1e-9) << name;
    // Full scale is the converter's 10 V: half of it is 5 V peak, 3.54 V RMS.
    EXPECT_NEAR(hs.rmsA * cch.upc[0], 5.0 / std::sqrt(2.0), 2e-3) << name;
    EXPECT_NEAR(hs.rmsB * cch.upc[1], 2.5 / std::sqrt(2.0), 2e-3) << name;
  }

  // The operator's full-scale voltage: 2 V.
  Set("FullScaleField", "2");
  Play(ScratchDir() + "/tones.wav", 0, 1, 4);
  EXPECT_NEAR(hs.rmsA * cch.upc[0], 1.0 / std::sqrt(2.0), 1e-3);
  Set("FullScaleField", "0");

  // A file that only bears the name is refused, and no recording stays loaded.
  const std::string bad = ScratchDir() + "/bad.flac";
  std::ofstream(bad) << "not a sound file at all";
  Answer(bad);
  Set("SourceRing", "2");
  EXPECT_EQ(fs.nrec, 0);
  ASSERT_FALSE(Seen().empty());
  EXPECT_NE(Seen().back().text.find("не годен"), std::string::npos) << Seen().back().text;
}

TEST_F(Exchange, ExportedWavAndFlacKeepSamplesAndCalibration) {
  // A header-format recording of inputs 0 and 3 with their own calibration.
  const std::string base = ScratchDir() + "/cal";
  std::vector<int32_t> data;
  for (int i = 0; i < 6000; ++i) {
    data.push_back(static_cast<int32_t>(std::lround(4e6 * std::sin(i * 0.01))));
    data.push_back(i % 2 ? -8388608 : 8388607);
  }
  {
    std::FILE* d = std::fopen((base + ".dat").c_str(), "wb");
    for (int32_t x : data) {
      const auto u = static_cast<uint32_t>(x);
      unsigned char b[4];
      for (int j = 0; j < 4; ++j) b[j] = static_cast<unsigned char>(u >> (8 * j));
      std::fwrite(b, 1, 4, d);
    }
    std::fclose(d);
  }
  RecordingSetup s = TwoInputSetup();
  s.srate = 2048;
  s.input[0] = 0, s.input[1] = 3;
  const std::string header = RecordingHeaderText(s, 6000);
  std::vector<char> cp(header.size() + 1);
  ASSERT_TRUE(RecodeText("CP1251", "UTF-8", header.data(), header.size(), cp.data(), cp.size()));
  std::FILE* inf = std::fopen((base + ".inf").c_str(), "wb");
  std::fputs(cp.data(), inf);
  std::fclose(inf);

  Answer(base + ".dat");
  Set("SourceRing", "2");
  ASSERT_EQ(fs.nrecs, 6000);
  Press("InputButton3");
  Set("SenFieldA", "33.5");  // the operator corrects input 3's sensitivity before exporting
  const double upc3 = cch.upc[3];
  for (const char* ext : {".wav", ".flac"}) {
    const std::string out = base + "_out" + ext;
    Answer(out);
    Press("ExportButton");
    ASSERT_EQ(GetFileInfo(out.c_str(), nullptr), 1) << ext;
    std::vector<int32_t> back(data.size());
    ASSERT_EQ(ReadSoundRecords(out.c_str(), 0, 6000, 2, back.data()), 6000) << ext;
    EXPECT_EQ(back, data) << ext << ": every count, full scale included";

    Answer(out);
    Set("SourceRing", "1");
    Set("SourceRing", "2");
    ASSERT_EQ(std::string(file_name), out);
    EXPECT_EQ(fs.nrecs, 6000);
    EXPECT_EQ(cus.srate, 2048.0);
    EXPECT_TRUE(OnOffCh[0] && OnOffCh[3] && !OnOffCh[1]) << ext;
    EXPECT_EQ(records[3], 1);
    EXPECT_DOUBLE_EQ(cch.sen[0], 10.0);
    EXPECT_DOUBLE_EQ(cch.sen[3], 33.5) << ext << ": the corrected calibration travels";
    EXPECT_DOUBLE_EQ(cch.upc[3], upc3);
    EXPECT_DOUBLE_EQ(cch.lo[3], 2e-05);
    EXPECT_STREQ(cch.dim[0], "Па");
    EXPECT_STREQ(cch.dim[3], "м/с^2");
    Press("InputButton3");
  }
}

TEST_F(Exchange, CsvHoldsTheTextFileNumbersAndPicturesAreReal) {
  PrepareSineRun(4);
  Set("StartButton", "1");
  for (int i = 0; i < 50 && start == 1; ++i) Tick();
  ASSERT_EQ(sp.dataReady, 1);
  const std::string dir = ScratchDir();
  std::snprintf(file_name, sizeof file_name, "%s", "kept.dat");
  Answer(dir + "/r.csv");
  Press("SaveButton1");
  EXPECT_STREQ(file_name, "kept.dat") << "an export leaves the recording's path alone";
  EXPECT_NE(GetFileInfo((dir + "/r.inf").c_str(), nullptr), 1) << "no description beside a CSV";
  std::snprintf(result_name, sizeof result_name, "%s/r.txt", dir.c_str());
  ASSERT_EQ(SaveInfData(0), 1);

  std::ifstream csv(dir + "/r.csv"), txt(dir + "/r.txt");
  std::string line, columns, comments;
  while (std::getline(csv, line) && line[0] == '#') comments += line + "\n";
  columns = line;
  EXPECT_EQ(columns, "f_Hz,value_dB");
  for (const char* key : {"# function: SpectrumA", "# averages: 4",
                          "# N: ", "# rate_Hz: ", "# window: ", "# calibration: input 0"}) {
    EXPECT_NE(comments.find(key), std::string::npos) << key;
  }
  int rows = 0;
  double tx = 0, ty = 0;
  while (std::getline(csv, line)) {
    const size_t comma = line.find(',');
    ASSERT_NE(comma, std::string::npos);
    ASSERT_EQ(line.find(',', comma + 1), std::string::npos) << "two fields: " << line;
    char* end = nullptr;
    const double x = std::strtod(line.c_str(), &end);
    ASSERT_EQ(end, line.c_str() + comma) << line;
    const double y = std::strtod(line.c_str() + comma + 1, &end);
    ASSERT_EQ(*end, '\0') << line;
    ASSERT_TRUE(txt >> tx >> ty);
    EXPECT_NEAR(x, tx, 6e-6 * std::fabs(tx) + 1e-300);
    EXPECT_NEAR(y, ty, 6e-6 * std::fabs(ty) + 1e-300);
    ++rows;
  }
  EXPECT_EQ(rows, vs[0].count);

  // Pictures of window 2 at the chosen size, through --save's path as well as the dialog's.
  Set("PictureSizeRing", "1280");
  Answer(dir + "/w2.png");
  Press("SaveButton2");
  const std::string png = Slurp(dir + "/w2.png");
  ASSERT_GT(png.size(), 1000u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  auto be32 = [&](size_t at) {
    int v = 0;
    for (size_t j = 0; j < 4; ++j) v = (v << 8) | static_cast<unsigned char>(png[at + j]);
    return v;
  };
  EXPECT_EQ(be32(16), 1280);
  EXPECT_EQ(be32(20), 720);
  Answer(dir + "/w2.svg");
  Press("SaveButton2");
  const std::string svg = Slurp(dir + "/w2.svg");
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_NE(svg.find("</svg>"), std::string::npos);
  EXPECT_TRUE(svg.find("<polyline") != std::string::npos || svg.find("<path") != std::string::npos)
      << "the plot is drawn";
  EXPECT_NE(svg.find("1280"), std::string::npos);
}

}  // namespace
