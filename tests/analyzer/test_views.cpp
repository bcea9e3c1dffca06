// The views beyond a window's plain trace, checked against physics: peak hold, the spectrogram
// rows, THD / THD+N of tones with known harmonics and noise, and the confidence of averaged
// frequency-response estimates.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../measure/model_geometry.h"
#include "analyzer/display1.h"
#include "analyzer/iirfilter.h"
#include "analyzer/save.h"
#include "analyzer/views.h"
#include "fixture.h"

namespace {

constexpr double kPi = 3.141592653589793;

double Db20(double ratio) { return 20.0 * std::log10(ratio); }

// The model without panels: geometry for frames of n samples at `rate`, both windows on plain
// line spectra.
class ViewsModel : public ::testing::Test {
 protected:
  int n = 0, lines = 0;

  void Geometry(int frame, double rate, int window) {
    n = frame;
    veltra_test::PlainModel(n, rate);
    lines = cus.lines;
    cus.window = window;
    for (ViewOptions& o : vopt) o = ViewOptions{};
    rcu.expAver = 0;
    WeightFunction(&cus);
    ClearViews();
  }

  // One frame into the averages as a measurement takes it: window, transform, average k.
  void Frame(const std::vector<double>& a, const std::vector<double>& b, int k) {
    for (int i = 0; i < n; ++i) {
      Rx[i] = a[static_cast<size_t>(i)];
      Ry[i] = b[static_cast<size_t>(i)];
    }
    WeightCtrl();
    Averaging(k);
  }

  // A tone of amplitude amp at f Hz with harmonics of relative amplitude h2, h3, plus white
  // noise of σ counts, frame `index` of a continuous signal.
  std::vector<double> Tone(double amp, double f, double h2, double h3, double sigma,
                           std::mt19937* rng, int index) const {
    std::normal_distribution<double> noise(0.0, sigma > 0.0 ? sigma : 1.0);
    std::vector<double> s(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      const double t = (static_cast<double>(index) * n + i) * sp.dt;
      s[static_cast<size_t>(i)] =
          amp * (std::sin(2 * kPi * f * t) + h2 * std::sin(2 * kPi * 2 * f * t + 0.3) +
                 h3 * std::sin(2 * kPi * 3 * f * t + 1.1)) +
          (sigma > 0.0 ? noise(*rng) : 0.0);
    }
    return s;
  }
};

TEST_F(ViewsModel, PeakHoldOfAToneThatStepsDownKeepsTheLargerLevel) {
  Geometry(1024, 8192.0, 1);
  ViewState& v = vs[0];
  vopt[0].peakHold = 1;
  std::mt19937 rng(7);
  std::vector<double> highest(static_cast<size_t>(lines), -1.0);
  for (int f = 0; f < 8; ++f) {
    const double amp = f < 4 ? 4000.0 : 1000.0;  // the tone falls by 12 dB halfway
    Frame(Tone(amp, 1000.0, 0.0, 0.0, 10.0, &rng, f), std::vector<double>(1024, 0.0), 1);
    SpectrumA(&v);
    for (int j = 0; j < lines; ++j) highest[j] = std::fmax(highest[j], v.yData[j]);
    UpdatePeakHold(0, v);
  }
  const int tone = static_cast<int>(std::lround(1000.0 / sp.df));
  ASSERT_EQ(PeakHoldShown(0), lines);
  // (The noise moves a line's level by a few parts in 10⁴.)
  EXPECT_NEAR(peak[0].held[tone] / (4000.0 * 4000.0 / 2.0), 1.0, 2e-3) << "the larger level";
  EXPECT_NEAR(v.yData[tone] / (1000.0 * 1000.0 / 2.0), 1.0, 2e-3) << "the trace shows the present";
  for (int j = 0; j < lines; ++j) ASSERT_EQ(peak[0].held[j], highest[j]) << "line " << j;
  // A change of unit starts the hold afresh; with peak hold off nothing is held or shown.
  v.yUnit = kYDb;
  SpectrumA(&v);
  UpdatePeakHold(0, v);
  EXPECT_NEAR(peak[0].held[tone], v.yData[tone], 1e-12);
  vopt[0].peakHold = 0;
  EXPECT_EQ(PeakHoldShown(0), 0);
}

TEST_F(ViewsModel, SpectrogramRowsAreThePerFrameSpectraInTheWindowsUnit) {
  Geometry(2048, 8192.0, 1);
  ViewState& v = vs[0];
  v.function = 0;
  v.yUnit = kYDb;
  vopt[0].spectrogram = 1;
  SetSpectroRows(0, 6);
  std::mt19937 rng(11);
  std::vector<std::vector<double>> frames;
  const std::vector<double> silent(2048, 0.0);
  for (int f = 0; f < 9; ++f) {
    frames.push_back(Tone(1000.0 * (f + 1), 500.0 + 100.0 * f, 0.0, 0.0, 50.0, &rng, f));
    Frame(frames.back(), silent, f + 1);
  }
  ASSERT_EQ(spectro[0].filled, 6);
  ASSERT_EQ(spectro[0].cols, lines);
  // Each row against the spectrum of its frame alone, as the window shows one frame in dB.
  vopt[0].spectrogram = 0;
  for (int age = 0; age < 6; ++age) {
    Frame(frames[static_cast<size_t>(8 - age)], silent, 1);
    SpectrumA(&v);
    const float* row = SpectroRow(0, age);
    ASSERT_NE(row, nullptr);
    for (int j = 0; j < lines; ++j)
      ASSERT_NEAR(row[j], v.yData[j], 1e-4 * std::fmax(1.0, std::fabs(v.yData[j])))
          << "age " << age << " line " << j;
  }
  EXPECT_EQ(SpectroRow(0, 6), nullptr) << "older frames have left the ring";
}

TEST_F(ViewsModel, ThdPlusNoiseOfAToneInWhiteNoiseIsTheNoiseOverTheTone) {
  // On a line with the Hanning window, and half-way between lines with the seven-term
  // Blackman-Harris window, where only the window's shape gives the tone its level back.
  for (const auto& [window, f] : {std::pair{1, 1000.0}, std::pair{8, 1004.0}}) {
    Geometry(4096, 32768.0, window);
    constexpr double amp = 10000.0, sigma = 30.0;
    std::mt19937 rng(3);
    const std::vector<double> silent(4096, 0.0);
    for (int k = 1; k <= 16; ++k) Frame(Tone(amp, f, 0.0, 0.0, sigma, &rng, k), silent, k);
    vs[0].function = 0;
    Distortion d;
    ASSERT_EQ(WindowDistortion(0, &d), 1);
    // Each line of white noise holds 2σ²/N; the readout sums every line but DC's and the
    // tone's main lobe.
    const int lobe = MainLobeHalfWidth(window);
    int counted = 0;
    for (int j = lobe + 1; j < lines; ++j)
      if (std::fabs(j - f / sp.df) > lobe) ++counted;
    const double expected = std::sqrt(counted * 2.0 * sigma * sigma / n / (amp * amp / 2.0));
    std::printf(
        "window %d, %.1f Hz: F0 %.4f Hz, level %.5f, THD+N %.3f dB (expected %.3f dB), "
        "SINAD %.2f dB\n",
        window, f, d.f0, std::sqrt(2.0 * d.p1) / amp, Db20(d.thdN), Db20(expected),
        10.0 * std::log10(d.sinad));
    EXPECT_NEAR(Db20(d.thdN), Db20(expected), 0.2) << "window " << window;
    EXPECT_NEAR(d.f0, f, 0.01 * sp.df);
    EXPECT_NEAR(std::sqrt(2.0 * d.p1) / amp, 1.0, 2e-3) << "the tone's level, interpolated";
    EXPECT_NEAR(10.0 * std::log10(d.sinad),
                -10.0 * std::log10(d.thdN * d.thdN / (1 + d.thdN * d.thdN)), 1e-9);
  }
}

TEST(ViewsConfidence, ErrorsShrinkAsOneOverTheRootOfTheAverages) {
  for (double g2 : {0.2, 0.5, 0.9}) {
    EXPECT_NEAR(GainError(g2, 64) / GainError(g2, 16), 0.5, 1e-12);
    EXPECT_NEAR(CoherenceError(g2, 64) / CoherenceError(g2, 16), 0.5, 1e-12);
    EXPECT_NEAR(PhaseError(g2, 100) / PhaseError(g2, 25), 0.5, 1e-12);
    EXPECT_NEAR(CoherenceBias(g2, 64) / CoherenceBias(g2, 16), 0.25, 1e-12);
  }
  EXPECT_EQ(GainError(1.0, 10), 0.0) << "a noise-free system is known exactly";
  EXPECT_NEAR(GainError(0.5, 8), std::sqrt(0.5) / (std::sqrt(0.5) * 4.0), 1e-12);
}

TEST_F(ViewsModel, NinetyFivePercentOfResponseEstimatesLieInTheNinetyFivePercentBand) {
  // y = g·x + n with white x and n: γ² = g²σx² / (g²σx² + σn²) = 0.5 on every line.
  constexpr double g = 0.8, sx = 1000.0, sn = 800.0;
  constexpr int kAverages = 16, kRuns = 40;
  Geometry(256, 8192.0, 1);
  const double g2 = g * g * sx * sx / (g * g * sx * sx + sn * sn);
  const double band = kZ95 * GainError(g2, kAverages);
  std::mt19937 rng(2024);
  std::normal_distribution<double> x(0.0, sx), e(0.0, sn);
  int inside = 0, total = 0, coveredByShown = 0;
  static double lo[kMaxLines], hi[kMaxLines];
  ViewState& v = vs[1];
  v.function = 10;
  v.format = 2;
  v.yUnit = kYLinear;
  vopt[1].confidence = 1;
  for (int r = 0; r < kRuns; ++r) {
    std::vector<double> a(256), b(256);
    for (int k = 1; k <= kAverages; ++k) {
      for (int i = 0; i < 256; ++i) {
        a[static_cast<size_t>(i)] = x(rng);
        b[static_cast<size_t>(i)] = g * a[static_cast<size_t>(i)] + e(rng);
      }
      Frame(a, b, k);
    }
    rcu.avgCount = kAverages + 1;
    FreqRespH1(&v);
    ASSERT_EQ(ConfidenceBand(1, v, lo, hi), 1);
    for (int j = 4; j < lines; ++j, ++total) {
      const double h = v.yData[j];
      if (std::fabs(h - g) <= band * g) ++inside;
      if (lo[j] <= g && g <= hi[j]) ++coveredByShown;
    }
  }
  // The band drawn for the same spectra narrows as 1/√n with the averages counted.
  static double lo4[kMaxLines], hi4[kMaxLines];
  rcu.avgCount = 4 * kAverages + 1;
  ASSERT_EQ(ConfidenceBand(1, v, lo4, hi4), 1);
  for (int j = 4; j < lines; ++j)
    ASSERT_NEAR((hi4[j] - lo4[j]) / (hi[j] - lo[j]), 0.5, 1e-9) << "line " << j;
  const double share = static_cast<double>(inside) / total;
  const double shown = static_cast<double>(coveredByShown) / total;
  std::printf(
      "|H1| within the 95 %% band: %.1f %% of %d estimates; the band shown about each "
      "estimate covers the true |H| in %.1f %%\n",
      100.0 * share, total, 100.0 * shown);
  EXPECT_NEAR(share, 0.95, 0.05 * 0.95);
  EXPECT_NEAR(shown, 0.95, 0.05 * 0.95);
}

TEST(ViewsDelta, CursorTwoAgainstCursorOneInHertzAndDecibels) {
  double x[4] = {0.0, 10.0, 20.0, 30.0}, y[4] = {1.0, 4.0, 100.0, 0.0};
  ViewState v{};
  v.xData = x;
  v.yData = y;
  v.count = 4;
  v.xScale = v.yScale = 1.0;
  v.xUnit = kXLines;
  char text[96];
  v.yUnit = kYPower;  // a power ratio of 25 is 13.98 dB
  DeltaText(v, 1, 2, text, sizeof text);
  EXPECT_STREQ(text, "; Δf= 10.00,Гц; ΔдБ= 13.98");
  v.yUnit = kYRms;  // an amplitude ratio of 25 is twice that
  DeltaText(v, 1, 2, text, sizeof text);
  EXPECT_STREQ(text, "; Δf= 10.00,Гц; ΔдБ= 27.96");
  v.yUnit = kYDb;
  DeltaText(v, 2, 0, text, sizeof text);
  EXPECT_STREQ(text, "; Δf= -20.00,Гц; ΔдБ= -99.00");
  v.yUnit = kYPower;  // no ratio to a line without power: the difference instead
  DeltaText(v, 2, 3, text, sizeof text);
  EXPECT_STREQ(text, "; Δf= 10.00,Гц; ΔY= -100.000");
  DeltaText(v, 1, -1, text, sizeof text);
  EXPECT_STREQ(text, "") << "cursor 2 not placed";
}

// ---- through the panels

class ViewsPanel : public veltra_test::VeltraTest {
 protected:
  static void Answer(const std::string& path) { veltra_test::Popups().fileAnswers.push_back(path); }

  static std::string Text(const char* role) {
    int panel = 0;
    char text[4096] = "";
    GetCtrlVal(panel, Control(role, &panel), text, sizeof text);
    return text;
  }
  static int Visible(const char* role) {
    int panel = 0, shown = 0;
    GetCtrlAttribute(panel, Control(role, &panel), ATTR_VISIBLE, &shown);
    return shown;
  }
  // A value after `key` in a readout.
  static double After(const std::string& text, const char* key) {
    const size_t at = text.find(key);
    EXPECT_NE(at, std::string::npos) << key << " in " << text;
    return at == std::string::npos ? NAN : std::atof(text.c_str() + at + std::strlen(key));
  }
};

TEST_F(ViewsPanel, DistortionOfARecordedToneWithTwoHarmonics) {
  // 1 kHz at half scale with 1 % second and 0.5 % third harmonic, 65536 Hz, 32-bit float WAV.
  constexpr int rate = 65536, frames = 2 * 65536;
  std::vector<float> s(static_cast<size_t>(2 * frames));
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    s[2 * static_cast<size_t>(i)] = static_cast<float>(
        0.5 * (std::sin(2 * kPi * 1000 * t) + 0.01 * std::sin(2 * kPi * 2000 * t + 0.4) +
               0.005 * std::sin(2 * kPi * 3000 * t + 2.0)));
  }
  const std::string path = veltra_test::ScratchDir() + "/harmonics.wav";
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(sf_writef_float(f, s.data(), frames), frames);
  sf_close(f);

  EXPECT_EQ(Visible("DistortionReadout1"), 0) << "off until harmonic markers are chosen";
  Set("WindowRing", "1");
  // 16 Hz lines put 1 kHz half-way between two lines; 8 Hz lines put it on one.
  for (const char* size : {"4096", "8192"}) {
    Set("FftSizeRing", size);
    Answer(path);
    Set("SourceRing", "2");
    ASSERT_GE(fs.nrec, 1);
    if (!rcu.onA) Press("InputButton0");
    Set("AveragesField", "4");
    Set("StartButton", "1");
    for (int i = 0; i < 100 && start == 1; ++i) Tick();
    ASSERT_EQ(start, 0);
    Set("CursorModeRing1", "1");
    ASSERT_EQ(Visible("DistortionReadout1"), 1);
    const std::string text = Text("DistortionReadout1");
    std::printf("N = %s: %s\n", size, text.c_str());
    EXPECT_NEAR(After(text, "THD= ") / 1.118034, 1.0, 0.01) << text;
    EXPECT_NEAR(After(text, "% ("), -39.03, 0.09) << text;
    EXPECT_NEAR(After(text, "F0= "), 1000.0, 0.05) << text;
    // Without noise, THD+N is the THD: the fundamental's own side lobes are not counted.
    EXPECT_NEAR(After(text, "THD+N= ") / 1.118034, 1.0, 0.01) << text;
    EXPECT_NEAR(After(text, " 2: 2000.0,Гц "), -40.0, 0.09) << text;
    EXPECT_NEAR(After(text, " 3: 3000.0,Гц "), -46.02, 0.09) << text;
    Set("CursorModeRing1", "0");
    EXPECT_EQ(Visible("DistortionReadout1"), 0);
  }
}

TEST_F(ViewsPanel, PeakHoldIsAThirdSavedColumnOnlyWhileOn) {
  Set("ExponentialBox", "1");
  PrepareSineRun(2);
  Press("PeakHoldToggle1");
  Press("SpectrogramToggle2");
  Press("ConfidenceToggle2");
  Set("StartButton", "1");
  Tick(6);
  Set("StartButton", "0");
  ASSERT_EQ(sp.dataReady, 1);
  const std::string dir = veltra_test::ScratchDir();
  auto columns = [&](const char* name) {
    std::snprintf(result_name, sizeof result_name, "%s/%s", dir.c_str(), name);
    EXPECT_EQ(SaveInfData(0), 1);
    std::ifstream in(dir + "/" + name);
    std::string line;
    std::getline(in, line);
    std::istringstream words(line);
    double a = 0, b = 0, c = 0;
    int count = 0;
    if (words >> a) ++count;
    if (words >> b) ++count;
    if (words >> c) ++count;
    return count;
  };
  EXPECT_EQ(columns("held.txt"), 3);
  // The cursor readout gains the delta only once cursor 2 has left its corner.
  vs[0].cursorMode = 0;
  SetGraphCursor(mainpanel, MAIN_Graph1, 1, x_band[100], 0.0);
  CtrlCursors(0);
  EXPECT_EQ(Text("CursorReadout1").find("Δf"), std::string::npos) << Text("CursorReadout1");
  SetGraphCursor(mainpanel, MAIN_Graph1, 2, x_band[60], 0.0);
  CtrlCursors(0);
  EXPECT_NE(Text("CursorReadout1").find("; Δf= -"), std::string::npos) << Text("CursorReadout1");
  ASSERT_GT(spectro[1].filled, 0) << "window 2's spectrogram took the frames";
  Press("PeakHoldToggle1");
  EXPECT_EQ(columns("plain.txt"), 2);
  // A fresh start shows every view off, and the model agrees with the panel.
  ASSERT_EQ(StartVeltra(), 0);
  EXPECT_EQ(vopt[1].spectrogram + vopt[1].confidence + vopt[0].peakHold, 0);
  EXPECT_EQ(IntOf("SpectrogramToggle2"), 0);
}

}  // namespace
