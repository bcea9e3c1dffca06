// Live input without a sound card: ALSA's file plugin replays raw S32_LE files as capture
// devices defined in a test ~/.asoundrc, so the whole road from the device to the result
// windows runs as it does with an interface on the bench.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "analyzer/capture.h"
#include "analyzer/live.h"
#include "analyzer/menager_panel.h"
#include "analyzer/setters.h"
#include "fixture.h"

namespace {

using veltra_test::VeltraTest;

constexpr double kPi = 3.14159265358979323846;
constexpr double kFull = 2147483647.0;  // S32 device full scale

// A scratch HOME with the test devices, inside the tests' scratch folder (removed with it); the
// data files are written on first use.
const std::string& LiveHome() {
  static const std::string dir = [] {
    const std::string d = veltra_test::ScratchDir() + "/live-home";
    std::error_code ec;
    std::filesystem::create_directories(d, ec);
    return d;
  }();
  return dir;
}

std::string DataFile(const char* name) { return LiveHome() + "/" + name + ".raw"; }

// Writes `frames` interleaved frames of `channels` samples (fractions of full scale).
void WriteRaw(const char* name, int channels, long frames,
              const std::function<double(int, long)>& sample) {
  const std::string path = DataFile(name);
  if (std::filesystem::exists(path)) return;
  std::vector<int32_t> data(static_cast<size_t>(channels * frames));
  for (long i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      data[static_cast<size_t>(i * channels + c)] =
          static_cast<int32_t>(std::lround(sample(c, i) * kFull));
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()),
             static_cast<std::streamsize>(data.size() * sizeof(int32_t)));
}

double Sine(double f, double rate, long i) { return std::sin(2.0 * kPi * f * i / rate); }

// A file device; with `listed` it carries a hint, so ALSA's device list names it.
std::string Device(const char* name, bool listed = false) {
  return std::string("pcm.") + name + " {\n type file\n slave.pcm \"null\"\n file \"/dev/null\"\n" +
         " infile \"" + DataFile(name) + "\"\n format \"raw\"\n" +
         (listed ? " hint { show on description \"test\" }\n" : "") + "}\n";
}

class Live : public VeltraTest {
 protected:
  void SetUp() override {
    const char* home = std::getenv("HOME");
    savedHome_ = home != nullptr ? home : "";
    setenv("HOME", LiveHome().c_str(), 1);
    std::ofstream(LiveHome() + "/.asoundrc")
        << Device("levels", true) << Device("quad") << Device("rate48") << Device("pulses")
        << Device("tone") << Device("clip")
        << "pcm.two {\n type multi\n slaves.a { pcm \"quad\" channels 2 }\n"
        << " bindings.0 { slave a channel 0 }\n bindings.1 { slave a channel 1 }\n}\n";
    snd_config_update_free_global();  // ALSA reads the configuration again, with this HOME
    live_wait_ms = 2000;
    for (double& v : cch.reserved1) v = 0.0;  // full scales of an earlier test in this process
    VeltraTest::SetUp();
  }
  void TearDown() override {
    LiveStop();
    live_wait_ms = 0;
    unsetenv("VELTRA_CAPTURE_DEVICE");
    unsetenv("VELTRA_CAPTURE_RATE");
    setenv("HOME", savedHome_.c_str(), 1);
    snd_config_update_free_global();
    VeltraTest::TearDown();
  }

  // Source 0 on `device`, both windows showing the RMS spectra of A and B with the rectangular
  // window (the test tones complete whole periods in a frame, so each is one line).
  static void PrepareLive(const char* device, const char* rate, const char* fftSize) {
    setenv("VELTRA_CAPTURE_DEVICE", device, 1);
    Set("SourceRing", "0");
    Set("SampleRateRing", rate);
    Set("FftSizeRing", fftSize);
    Set("OverlapRing", "0");
    Set("WindowRing", "0");
    Set("WindowSelBoth", "1");
    Set("FunctionRing1", "0");
    Set("FunctionRing2", "1");
    Set("YUnitRing1", "1");
    Set("YUnitRing2", "1");
  }
  // A counted run to its end, tick by tick, as automation does.
  static void RunTo(int averages) {
    Set("AveragesField", std::to_string(averages).c_str());
    Set("StartButton", "1");
    ASSERT_EQ(start, 1) << (Seen().empty() ? "" : Seen().back().text);
    for (int i = 0; i < 400 && start == 1; ++i) Tick();
    ASSERT_EQ(start, 0);
    ASSERT_EQ(rcu.avgCount - 1, averages);
  }
  // Line `k` of window w in volts, and its level in dB relative to `ref` volts.
  static double Volts(int w, int k) { return vs[w].yData[k] * vs[w].yScale; }
  static double Db(double v, double ref) { return 20.0 * std::log10(v / ref); }
  static int PeakLine(int w) {
    int best = 0;
    for (int i = 1; i < vs[w].count; ++i)
      if (vs[w].yData[i] > vs[w].yData[best]) best = i;
    return best;
  }
  static std::string Status() {
    char text[512] = "";
    GetCtrlVal(mainpanel, MAIN_CaptureStatus, text, sizeof text);
    return text;
  }

 private:
  std::string savedHome_;
};

constexpr double kHalfScaleRms = 5.0 / 1.4142135623730951;  // 0.5 of ±10 V, RMS: 3.536 V

TEST_F(Live, DeviceRingListsAlsaDevicesAndKeepsTheChoice) {
  auto labels = [] {
    std::vector<std::string> out;
    int n = 0;
    GetNumListItems(mainpanel, MAIN_CaptureDeviceRing, &n);
    for (int i = 0; i < n; ++i) {
      char label[256] = "";
      GetLabelFromIndex(mainpanel, MAIN_CaptureDeviceRing, i, label, sizeof label);
      out.push_back(label);
    }
    return out;
  };
  std::vector<std::string> listed = labels();
  ASSERT_FALSE(listed.empty());
  EXPECT_EQ(listed[0], "default");
  EXPECT_NE(std::find(listed.begin(), listed.end(), "levels"), listed.end());
  EXPECT_STREQ(CaptureDeviceName(), "default");
  Set("CaptureDeviceRing", "levels");
  EXPECT_STREQ(CaptureDeviceName(), "levels");
  setenv("VELTRA_CAPTURE_DEVICE", "hw:5,0", 1);
  EXPECT_STREQ(CaptureDeviceName(), "hw:5,0");
  unsetenv("VELTRA_CAPTURE_DEVICE");

  // A device that is absent at the next start stays the choice.
  InsertListItem(mainpanel, MAIN_CaptureDeviceRing, -1, "hw:7,0", 99);
  Set("CaptureDeviceRing", "hw:7,0");
  Press("QuitButton");
  ASSERT_EQ(StartVeltra(), 0);
  EXPECT_STREQ(CaptureDeviceName(), "hw:7,0");
  listed = labels();
  EXPECT_NE(std::find(listed.begin(), listed.end(), "levels"), listed.end());
}

TEST_F(Live, SineLevelsOnBothChannelsAtTheDefaultFullScale) {
  WriteRaw("levels", 2, 2 * 65536,
           [](int c, long i) { return (c == 0 ? 0.5 : 0.25) * Sine(1000.0, 65536.0, i); });
  PrepareLive("levels", "65536", "8192");
  RunTo(4);
  const int line = 1000 / 8;  // df = 8 Hz
  EXPECT_EQ(PeakLine(0), line);
  EXPECT_EQ(PeakLine(1), line);
  EXPECT_NEAR(Db(Volts(0, line), kHalfScaleRms), 0.0, 0.05) << Volts(0, line);
  EXPECT_NEAR(Db(Volts(1, line), kHalfScaleRms / 2), 0.0, 0.05) << Volts(1, line);
  EXPECT_LT(Db(Volts(0, line + 1), Volts(0, line)), -100.0);
  EXPECT_EQ(Status(), "levels: 65536 Гц, потеряно блоков: 0");
  EXPECT_TRUE(Seen().empty());
  EXPECT_EQ(IntOf("OverloadLedA"), 0);

  // An operator full scale of 2 V on input 0 scales channel A alone, and it is kept in the
  // calibration file, which stays 728 bytes.
  Set("CaptureInputRing", "0");
  Set("CaptureFullScaleField", "2");
  EXPECT_DOUBLE_EQ(CaptureFullScale(0), 2.0);
  EXPECT_DOUBLE_EQ(CaptureFullScale(1), 10.0);
  RunTo(4);
  EXPECT_NEAR(Db(Volts(0, line), kHalfScaleRms / 5), 0.0, 0.05) << Volts(0, line);
  EXPECT_NEAR(Db(Volts(1, line), kHalfScaleRms / 2), 0.0, 0.05) << Volts(1, line);
  Press("QuitButton");
  EXPECT_EQ(std::filesystem::file_size("Calibr.inf"), 728u);
  cch.reserved1[0] = 0.0;
  ASSERT_EQ(GetParamCalibrOfFile(), 1);
  EXPECT_DOUBLE_EQ(CaptureFullScale(0), 2.0);
}

TEST_F(Live, InputsAreTheDeviceChannels) {
  // Channel k carries (k + 1) kHz.
  WriteRaw("quad", 4, 2 * 65536,
           [](int c, long i) { return 0.5 * Sine(1000.0 * (c + 1), 65536.0, i); });
  PrepareLive("quad", "65536", "8192");
  SetChannelInput(0, 2);
  SetChannelInput(1, 3);
  Set("ChannelSwitchA", "1");
  Set("ChannelSwitchB", "1");
  ASSERT_EQ(rcu.chanA, 2);
  ASSERT_EQ(rcu.chanB, 3);
  RunTo(2);
  EXPECT_EQ(PeakLine(0), 3000 / 8);
  EXPECT_EQ(PeakLine(1), 4000 / 8);

  // A device with two channels has no input 2: the start is refused, naming both.
  setenv("VELTRA_CAPTURE_DEVICE", "two", 1);
  veltra_test::Popups().seen.clear();
  Set("StartButton", "1");
  EXPECT_EQ(start, 0);
  EXPECT_EQ(IntOf("StartButton"), 0);
  ASSERT_EQ(Seen().size(), 1u);
  EXPECT_NE(Seen()[0].text.find("«two»"), std::string::npos) << Seen()[0].text;
  EXPECT_NE(Seen()[0].text.find("нет входа 3"), std::string::npos) << Seen()[0].text;
}

TEST_F(Live, ConvertedRateKeepsLevelAndFrequency) {
  // The device runs at 48 kHz, the analysis at 32768 Hz: libsoxr converts.
  WriteRaw("rate48", 2, 3 * 48000, [](int, long i) { return 0.5 * Sine(1000.0, 48000.0, i); });
  setenv("VELTRA_CAPTURE_RATE", "48000", 1);
  PrepareLive("rate48", "32768", "8192");
  RunTo(4);
  const int line = 1000 / 4;  // df = 4 Hz
  EXPECT_EQ(PeakLine(0), line);
  EXPECT_NEAR(Db(Volts(0, line), kHalfScaleRms), 0.0, 0.05) << Volts(0, line);
  // A frequency off by a hundredth of a line would spread into the neighbours.
  EXPECT_LT(Db(Volts(0, line - 1), Volts(0, line)), -70.0);
  EXPECT_LT(Db(Volts(0, line + 1), Volts(0, line)), -70.0);
  EXPECT_EQ(Status(), "rate48: 48000 Гц → 32768 Гц, потеряно блоков: 0");
}

TEST_F(Live, UnopenableDeviceRefusesTheStartAndTheProgramGoesOn) {
  PrepareLive("no-such-device", "65536", "1024");
  Set("StartButton", "1");
  EXPECT_EQ(start, 0);
  EXPECT_EQ(IntOf("StartButton"), 0);
  EXPECT_EQ(TimerEnabled(), 0);
  ASSERT_EQ(Seen().size(), 1u);
  EXPECT_EQ(Seen()[0].text,
            "Не удалось открыть устройство захвата «no-such-device»: устройство не найдено "
            "(No such file or directory).");
  // The generator still measures.
  Set("SourceRing", "1");
  PrepareSineRun(3);
  Set("StartButton", "1");
  Tick(6);
  EXPECT_EQ(rcu.avgCount - 1, 3);
}

TEST_F(Live, LevelStartTakesOneFramePerCapturedPulse) {
  // Eight 5 V pulses 4096 samples apart, then silence.
  constexpr int kPulses = 8, kSpacing = 4096;
  WriteRaw("pulses", 2, 4 * 65536, [](int, long i) {
    const long k = i / kSpacing, at = i % kSpacing;
    return k < kPulses && at >= 100 && at < 164 ? 0.5 : 0.0;
  });
  PrepareLive("pulses", "65536", "1024");
  Set("CollectRing", "1");
  Set("StartRing", "2");
  Set("LevelModeList", "0");
  Set("TriggerChannelField", "0");
  Set("LevelField", "1");
  Set("SlopeRing", "0");
  Set("PretrigField", "10");
  Set("AveragesField", "1000");
  Set("StartButton", "1");
  ASSERT_EQ(start, 1) << (Seen().empty() ? "" : Seen().back().text);
  ASSERT_EQ(rcu.runmode, 3);
  // A quarter of a second of silence after the last pulse (1024-sample blocks).
  for (int i = 0; i < (kPulses * kSpacing + 16384) / 1024; ++i) Tick();
  // The first frame settles the stream, as with any source; each later pulse gives one frame.
  EXPECT_EQ(rcu.avgCount - 1, kPulses - 1);
  EXPECT_EQ(start, 1);
}

TEST_F(Live, OverrunIsCountedAndNoFrameSpansTheGap) {
  WriteRaw("tone", 2, 8 * 65536, [](int, long i) { return 0.5 * Sine(1000.0, 65536.0, i); });
  PrepareLive("tone", "65536", "8192");
  Set("OverlapRing", "0.5");  // frames straddle the blocks, so one would straddle the gap
  Set("AveragesField", "40");
  Set("StartButton", "1");
  ASSERT_EQ(start, 1);
  // Nothing has been read yet, so the thread is at most its 2 s ring ahead: the chunk lost
  // lies between 1.5 s and 2 s into the signal, inside this run's 2.8 s.
  LiveInjectError(-EPIPE, 100000);
  for (int i = 0; i < 400 && start == 1; ++i) Tick();
  ASSERT_EQ(start, 0);
  EXPECT_EQ(LiveLostBlocks(), 1);
  EXPECT_EQ(Status(), "tone: 65536 Гц, потеряно блоков: 1");
  // A frame joined across the missing samples would leak the tone into its neighbours.
  const int line = 1000 / 8;
  EXPECT_NEAR(Db(Volts(0, line), kHalfScaleRms), 0.0, 0.05);
  EXPECT_LT(Db(Volts(0, line + 1), Volts(0, line)), -100.0);
  EXPECT_LT(Db(Volts(0, line - 3), Volts(0, line)), -100.0);
}

TEST_F(Live, DeviceThatVanishesStopsTheRunWithAMessage) {
  WriteRaw("tone", 2, 8 * 65536, [](int, long i) { return 0.5 * Sine(1000.0, 65536.0, i); });
  PrepareLive("tone", "65536", "1024");
  Press("ExponentialBox");  // a run that never ends by itself
  Set("StartButton", "1");
  ASSERT_EQ(start, 1);
  Tick(2);
  LiveInjectError(-ENODEV, 0);
  for (int i = 0; i < 400 && start == 1; ++i) Tick();
  EXPECT_EQ(start, 0);
  EXPECT_EQ(IntOf("StartButton"), 0);
  EXPECT_EQ(TimerEnabled(), 0);
  ASSERT_EQ(Seen().size(), 1u);
  EXPECT_EQ(Seen()[0].text,
            "Устройство захвата «tone» пропало: устройство отключено. Измерение остановлено.");
  // The program goes on: the device opens again.
  Set("StartButton", "1");
  EXPECT_EQ(start, 1);
  Tick(3);
  EXPECT_GT(rcu.avgCount, 1);
}

TEST_F(Live, FullScaleSamplesLightTheirChannelsLamp) {
  // A quiet tone on both channels; channel A reaches device full scale once in 4096 samples.
  WriteRaw("clip", 2, 2 * 65536, [](int c, long i) {
    return c == 0 && i % 4096 == 100 ? 1.0 : 0.1 * Sine(1000.0, 65536.0, i);
  });
  PrepareLive("clip", "65536", "1024");
  RunTo(3);
  EXPECT_EQ(IntOf("OverloadLedA"), 1);
  EXPECT_EQ(IntOf("OverloadLedB"), 0);
}

TEST_F(Live, CaptureRingStopsAtAGapMark) {
  WriteRaw("tone", 2, 8 * 65536, [](int, long i) { return 0.5 * Sine(1000.0, 65536.0, i); });
  CaptureRequest req{};
  req.device = "tone";
  req.rate = 65536;
  req.inputs[0] = 0;
  req.inputs[1] = 1;
  req.fullScaleVolts[0] = req.fullScaleVolts[1] = 10.0;
  req.ringFrames = 16384;
  CaptureSource* s = nullptr;
  char message[256];
  ASSERT_EQ(CaptureStart(req, &s, message, sizeof message), kCaptureOk) << message;
  std::vector<int32_t> buf(2 * 65536);
  int gap = 0;
  CaptureWait(s, 1000, 2000);
  ASSERT_GT(CaptureRead(s, buf.data(), 1000, &gap), 0);
  EXPECT_EQ(gap, 0);
  EXPECT_EQ(buf[2 * 16], std::lround(0.5 * Sine(1000.0, 65536.0, 16) * 8388608.0));
  CaptureInjectError(s, -EPIPE, 0);
  // Drain until the mark: data before it, then one read that reports the gap and moves nothing.
  int gaps = 0;
  for (int i = 0; i < 1000 && gaps == 0; ++i) {
    CaptureWait(s, 1, 2000);
    const int got = CaptureRead(s, buf.data(), 65536, &gap);
    if (gap) {
      EXPECT_EQ(got, 0);
      ++gaps;
    }
  }
  EXPECT_EQ(gaps, 1);
  CaptureStats st;
  CaptureGetStats(s, &st);
  EXPECT_EQ(st.gaps, 1);
  EXPECT_EQ(st.deviceRate, 65536u);
  EXPECT_EQ(st.converting, 0);
  CaptureStop(s);
}

}  // namespace
