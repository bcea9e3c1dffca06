// Front-end set-up: the module settings file, input modes, gains and the channel scale, the
// sensitivity fine-tuning keys, units, and auto-ranging.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "analyzer/dkv.h"
#include "analyzer/range_ch.h"
#include "fixture.h"

namespace {

using veltra_test::VeltraTest;

const double kMvpc = 20000.0 / 16777215.0;

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A file image built from the layout: record i at 16·i, fields as little-endian int32.
struct DkvImage {
  std::vector<unsigned char> b = std::vector<unsigned char>(128, 0);
  void Put(int record, int field, std::int32_t v) {
    for (int k = 0; k < 4; ++k)
      b[16 * record + 4 * field + k] =
          static_cast<unsigned char>(static_cast<std::uint32_t>(v) >> (8 * k));
  }
  void Record(int i, int on, int gain, int lpf, int hpf) {
    Put(i, 0, on), Put(i, 1, gain), Put(i, 2, lpf), Put(i, 3, hpf);
  }
};

void ExpectRecord(int i, int on, int gain, int lpf, int hpf) {
  EXPECT_EQ(amplif[i].on, on) << "input " << i;
  EXPECT_EQ(amplif[i].gain100, gain) << "input " << i;
  EXPECT_EQ(amplif[i].lpfcode, lpf) << "input " << i;
  EXPECT_EQ(amplif[i].hpfcode, hpf) << "input " << i;
}

void ExpectDefaults(int i) { ExpectRecord(i, 0, 100, 6, 0); }

class DkvFile : public ::testing::Test {
 protected:
  void SetUp() override { path_ = veltra_test::ScratchDir() + "/dkv5128-file-test.inf"; }
  void TearDown() override { std::remove(path_.c_str()); }
  std::string path_;
};

TEST_F(DkvFile, RoundTripIsEightLittleEndianRecords) {
  for (int i = 0; i < kAmplifiers; ++i) amplif[i] = {i % 2, 100 * (i + 1), i, i % 4};
  amplif[5].gain100 = 25000;  // 0x61A8
  ASSERT_EQ(SaveParamDKV5128To(path_.c_str()), 1);
  const auto bytes = ReadAll(path_);
  ASSERT_EQ(bytes.size(), 128u);
  const std::vector<unsigned char> rec5(bytes.begin() + 80, bytes.begin() + 96);
  EXPECT_EQ(rec5,
            (std::vector<unsigned char>{1, 0, 0, 0, 0xA8, 0x61, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_FALSE(std::ifstream(path_ + ".tmp").good());

  for (AmplifRecord& r : amplif) r = {1, 1, 1, 1};
  ASSERT_EQ(GetParamDKV5128From(path_.c_str()), 1);
  for (int i = 0; i < kAmplifiers; ++i)
    ExpectRecord(i, i % 2, i == 5 ? 25000 : 100 * (i + 1), i, i % 4);
}

TEST_F(DkvFile, MissingShortAndDamagedFilesFallBackToDefaults) {
  for (AmplifRecord& r : amplif) r = {1, 7, 1, 1};
  EXPECT_EQ(GetParamDKV5128From((path_ + ".none").c_str()), 0);
  for (int i = 0; i < kAmplifiers; ++i) ExpectDefaults(i);

  // Two whole records and half of a third.
  DkvImage img;
  img.Record(0, 1, 250, 3, 2);
  img.Record(1, 0, 1000, 7, 3);
  img.Record(2, 1, 500, 1, 1);
  WriteAll(path_, std::vector<unsigned char>(img.b.begin(), img.b.begin() + 40));
  EXPECT_EQ(GetParamDKV5128From(path_.c_str()), 1);
  ExpectRecord(0, 1, 250, 3, 2);
  ExpectRecord(1, 0, 1000, 7, 3);
  for (int i = 2; i < kAmplifiers; ++i) ExpectDefaults(i);

  // Values no module or panel can take reset only their own record.
  DkvImage bad;
  for (int i = 0; i < kAmplifiers; ++i) bad.Record(i, 1, 300, 2, 1);
  bad.Put(1, 0, 5);       // on neither 0 nor 1
  bad.Put(2, 1, -3);      // negative gain
  bad.Put(3, 1, 200000);  // gain 2000
  bad.Put(4, 2, 8);       // no such low-pass code
  bad.Put(5, 3, -1);      // no such high-pass code
  WriteAll(path_, bad.b);
  EXPECT_EQ(GetParamDKV5128From(path_.c_str()), 1);
  for (int i : {0, 6, 7}) ExpectRecord(i, 1, 300, 2, 1);
  for (int i = 1; i <= 5; ++i) ExpectDefaults(i);

  // A pipe without a writer (which a plain open would wait on for ever) or a directory under
  // the name is no settings file.
  std::remove(path_.c_str());
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
  for (AmplifRecord& r : amplif) r = {1, 7, 1, 1};
  EXPECT_EQ(GetParamDKV5128From(path_.c_str()), 0);
  for (int i = 0; i < kAmplifiers; ++i) ExpectDefaults(i);
  std::remove(path_.c_str());
  ASSERT_EQ(mkdir(path_.c_str(), 0700), 0);
  EXPECT_EQ(GetParamDKV5128From(path_.c_str()), 0);
  for (int i = 0; i < kAmplifiers; ++i) ExpectDefaults(i);
  rmdir(path_.c_str());
}

TEST_F(DkvFile, WindowsTextModeFilesReadBack) {
  DkvImage img;
  for (int i = 0; i < kAmplifiers; ++i) img.Record(i, 0, 100, 6, 0);
  img.Record(2, 1, 10, 6, 0);  // gain 0x0A: stored as 0D 0A by a text-mode write
  img.Record(4, 1, 0x0A0A, 2, 1);
  std::vector<unsigned char> text;
  for (unsigned char c : img.b) {
    if (c == 0x0A) text.push_back(0x0D);
    text.push_back(c);
  }
  ASSERT_EQ(text.size(), 131u);
  WriteAll(path_, text);
  EXPECT_EQ(GetParamDKV5128From(path_.c_str()), 1);
  ExpectRecord(2, 1, 10, 6, 0);
  ExpectRecord(4, 1, 0x0A0A, 2, 1);
  ExpectDefaults(7);

  // A file of the exact size is taken byte for byte, 0D 0A included.
  DkvImage exact;
  for (int i = 0; i < kAmplifiers; ++i) exact.Record(i, 0, 100, 6, 0);
  exact.Record(3, 1, 0x0A0D, 5, 2);
  WriteAll(path_, exact.b);
  EXPECT_EQ(GetParamDKV5128From(path_.c_str()), 1);
  ExpectRecord(3, 1, 0x0A0D, 5, 2);
  ExpectDefaults(7);
}

// ---------------------------------------------------------------------------------------------
// Panels

class FrontEndSetup : public VeltraTest {
 protected:
  static std::string Text(const char* role) {
    int panel = 0;
    char text[64] = "";
    GetCtrlVal(panel, Control(role, &panel), text, sizeof text);
    return text;
  }
  static int Background(const char* role) {
    int panel = 0, color = 0;
    GetCtrlAttribute(panel, Control(role, &panel), ATTR_TEXT_BGCOLOR, &color);
    return color;
  }
  static double Upc(int input) { return kMvpc / cch.sen[input] / cch.gain[input]; }
};

TEST_F(FrontEndSetup, CoefficientFieldChoosesTheInputMode) {
  const int a = rcu.chanA;
  Set("SenFieldA", "200");
  Set("CoefFieldA", "icp");
  EXPECT_EQ(hs.inmode[a], 0);
  EXPECT_EQ(cch.mode[a], 0);
  EXPECT_EQ(cch.gain[a], 1.0);
  EXPECT_EQ(Text("CoefFieldA"), "ICP");
  EXPECT_EQ(IntOf("AcDcSwitchA"), kCoupledAC) << "an ICP sensor is AC-coupled";
  int panel = 0;
  char label[16] = "";
  GetCtrlAttribute(panel, Control("AcDcSwitchA", &panel), ATTR_ON_TEXT, label, sizeof label);
  EXPECT_STREQ(label, "AC") << "the side the switch shows is the AC one";
  Set("AcDcSwitchA", "0");
  EXPECT_EQ(IntOf("AcDcSwitchA"), kCoupledAC) << "and it stays there";

  Set("CoefFieldA", "2.5");
  EXPECT_EQ(hs.inmode[a], 1);
  EXPECT_EQ(cch.gain[a], 2.5);
  EXPECT_DOUBLE_EQ(cch.upc[a], kMvpc / 200.0 / 2.5);
  EXPECT_DOUBLE_EQ(cch.upcdb[a], 20.0 * std::log10(kMvpc / 500.0));
  EXPECT_DOUBLE_EQ(cch.reldb[a], cch.upcdb[a] - cch.lodb[a]);
  EXPECT_EQ(Background("CoefFieldA"), 0xC0C0C0);

  // Not digits and points only, or no gain at all: refused, the field shows the present mode.
  for (const char* entry : {"1e3", "-2", "0", ""}) {
    Set("CoefFieldA", entry);
    EXPECT_EQ(hs.inmode[a], 1) << entry;
    EXPECT_EQ(cch.gain[a], 2.5) << entry;
    EXPECT_EQ(Text("CoefFieldA"), "2.50") << entry;
    EXPECT_EQ(Background("CoefFieldA"), 0xFFFF00) << entry;
  }
  EXPECT_EQ(ControlStr("ДЖ"), 3);
  EXPECT_EQ(ControlStr("Дж"), 2);
  EXPECT_EQ(ControlStr("ICP"), 1);
  EXPECT_EQ(ControlStr("Icp"), 2);
  EXPECT_EQ(ControlStr("12.5"), 0);
}

TEST_F(FrontEndSetup, ModuleGainSetsTheChannelScale) {
  ASSERT_EQ(dev5128, nullptr);  // no link: every library call is a silent no-op
  const int a = rcu.chanA, b = rcu.chanB;
  ASSERT_NE(a, b);
  Set("SenFieldA", "50");
  Set("CoefFieldA", "дж");
  EXPECT_EQ(hs.inmode[a], 3);
  EXPECT_EQ(amplif[a].on, 1);
  for (int j = 0; j < kAmplifiers; ++j) {
    if (j != a && j != b) {
      EXPECT_EQ(amplif[j].on, 0) << j;
    }
  }
  EXPECT_EQ(cch.gain[a], 1.0);  // a newly chosen module keeps its stored gain

  Set("GainField", "0.257");  // the module takes 0.25: the scale and the field follow it
  EXPECT_EQ(amplif[a].gain100, 25);
  EXPECT_EQ(cch.gain[a], 0.25);
  EXPECT_DOUBLE_EQ(cch.upc[a], kMvpc / 50.0 / 0.25);
  EXPECT_DOUBLE_EQ(DoubleOf("GainField"), 0.25);

  Set("GainField", "2.29");  // 100 · 2.29 is 228.99999… in binary
  EXPECT_EQ(amplif[a].gain100, 229);
  EXPECT_DOUBLE_EQ(cch.upc[a], kMvpc / 50.0 / 2.29);

  Set("GainField", "0");  // refused: the scale would be infinite
  EXPECT_EQ(amplif[a].gain100, 229);
  EXPECT_DOUBLE_EQ(DoubleOf("GainField"), 2.29);

  Set("LowPassSelector", "2");
  Set("HighPassSelector", "3");
  EXPECT_EQ(amplif[a].lpfcode, 2);
  EXPECT_EQ(amplif[a].hpfcode, 3);

  // The selector shows a module in use with its settings, one not in use as zeros.
  const int spare = (b + 1) % kAmplifiers == a ? (b + 2) % kAmplifiers : (b + 1) % kAmplifiers;
  Set("ChannelSelector", std::to_string(spare).c_str());
  EXPECT_EQ(IntOf("LowPassSelector"), 0);
  EXPECT_EQ(DoubleOf("GainField"), 0.0);
  Set("ChannelSelector", std::to_string(a).c_str());
  EXPECT_EQ(IntOf("LowPassSelector"), 2);
  EXPECT_EQ(IntOf("HighPassSelector"), 3);
  EXPECT_DOUBLE_EQ(DoubleOf("GainField"), 2.29);
}

TEST_F(FrontEndSetup, SensitivityFineTuningClosesIn) {
  const int a = rcu.chanA;
  Set("SenFieldA", "100");
  const int shiftUp = VAL_SHIFT_MODIFIER | VAL_UP_ARROW_VKEY;
  const int shiftDown = VAL_SHIFT_MODIFIER | VAL_DOWN_ARROW_VKEY;
  auto key = [](int code) { UserFireEvent(mainpanel, MAIN_SenFieldA, EVENT_KEYPRESS, code, 0); };
  const double expected[] = {105.0, 110.25, 115.7625};
  for (double v : expected) {
    key(shiftUp);
    EXPECT_NEAR(DoubleOf("SenFieldA"), v, 1e-9);
  }
  key(shiftDown);
  EXPECT_NEAR(cch.sen[a], 110.25, 1e-9);
  key(shiftUp);  // the step halved to 2.5 %
  EXPECT_NEAR(cch.sen[a], 110.25 * 1.025, 1e-9);
  key(shiftUp);  // halved again to 1.25 % after the second reversal
  EXPECT_NEAR(cch.sen[a], 110.25 * 1.025 * 1.0125, 1e-9);
  key(shiftUp);  // same direction: back to 5 %
  EXPECT_NEAR(cch.sen[a], 110.25 * 1.025 * 1.0125 * 1.05, 1e-9);
  EXPECT_DOUBLE_EQ(cch.upc[a], Upc(a));
  double incr = 0.0;
  GetCtrlAttribute(mainpanel, MAIN_SenFieldA, ATTR_INCR_VALUE, &incr);
  EXPECT_NEAR(incr, 0.01, 1e-15);  // value in the hundreds

  EXPECT_NEAR(Incval(1000.0), 0.1, 1e-15);
  EXPECT_NEAR(Incval(50.0), 0.001, 1e-15);
  EXPECT_EQ(Incval(20000.0), 1.0);
  EXPECT_EQ(Incval(0.0), 1.0);  // must not loop for ever
  EXPECT_NEAR(Incval(2e-300), 1e-304, 1e-310);
  EXPECT_GE(Incval(5e-324), 0.0);  // x/10000 is 0: must not loop for ever either
}

TEST_F(FrontEndSetup, UnitAndReferenceLevel) {
  const int b = rcu.chanB;
  Set("UnitRingB", "Па");
  EXPECT_STREQ(cch.dim[b], "Па");
  EXPECT_EQ(cch.lo[b], 2e-05);
  EXPECT_NEAR(cch.lodb[b], -93.9794, 1e-4);
  EXPECT_DOUBLE_EQ(DoubleOf("LoFieldB"), 2e-05);
  EXPECT_DOUBLE_EQ(cch.reldb[b], 20.0 * std::log10(Upc(b)) + 93.97940008672037);

  Set("LoFieldB", "0.001");
  EXPECT_NEAR(cch.lodb[b], -60.0, 1e-12);
  EXPECT_NEAR(cch.reldb[b], 20.0 * std::log10(Upc(b)) + 60.0, 1e-9);

  // The unit of another input is selected by its text when the channel changes input.
  std::snprintf(cch.dim[5], kDimTextLen, "%s", "м/с");
  SetDimension(1, 5);
  char label[32] = "";
  int idx = -1;
  GetCtrlIndex(mainpanel, MAIN_UnitRingB, &idx);
  GetLabelFromIndex(mainpanel, MAIN_UnitRingB, idx, label, sizeof label);
  EXPECT_STREQ(label, "м/с");
}

// ---------------------------------------------------------------------------------------------
// Auto-ranging

class AutoRange : public FrontEndSetup {
 protected:
  void SetUp() override {
    FrontEndSetup::SetUp();
    Set("CoefFieldA", "дж");
    Set("CoefFieldB", "дж");
    raw_.assign(2 * 1024, 0);
    adapt = raw_.data();
    dbuf.nframe = 1024;
  }
  void TearDown() override {
    adapt = nullptr;
    FrontEndSetup::TearDown();
  }
  // Channel A peaks at +peakA, channel B at −peakB, in the first half of the frame.
  void Peaks(int peakA, int peakB) {
    std::fill(raw_.begin(), raw_.end(), 0);
    raw_[2 * 100] = peakA;
    raw_[2 * 101] = -peakA / 2;
    raw_[2 * 200 + 1] = -peakB;
  }
  std::vector<int> raw_;
};

TEST_F(AutoRange, GainBringsThePeakToHalfScale) {
  Peaks(4194303, 41943);
  EXPECT_NEAR(KoefDKV(0), 1.0, 1e-6);
  EXPECT_NEAR(KoefDKV(1), 100.0, 1e-3);
  Peaks(16000, 0);
  EXPECT_EQ(KoefDKV(0), 250.0);
  EXPECT_EQ(KoefDKV(1), 250.0);  // silent

  Peaks(4194303, 41943);
  KoefTransfer();
  const int a = rcu.chanA, b = rcu.chanB;
  const int first = a < b ? a : b, second = a < b ? b : a;
  EXPECT_EQ(amplif[first].gain100, 100);
  EXPECT_EQ(amplif[second].gain100, 10000);
  EXPECT_NEAR(cch.gain[second], 100.0, 1e-3);
  // A gain between steps of 0.01: the module is set to the truncated one, and so is the scale.
  Peaks(1826010, 41943);  // 0.5 · 8388607 / 1826010 = 2.29700…
  KoefTransfer();
  EXPECT_EQ(amplif[first].gain100, 229);
  EXPECT_DOUBLE_EQ(cch.gain[first], 2.29);
  EXPECT_DOUBLE_EQ(cch.upc[first], hs.mvpc / cch.sen[first] / 2.29);

  // Channel A fed from the higher input: each module still gets its own channel's gain.
  Peaks(4194303, 41943);
  rcu.chanA = 3;
  rcu.chanB = 1;
  for (int j = 0; j < kAmplifiers; ++j) amplif[j].on = j == 1 || j == 3;
  KoefTransfer();
  EXPECT_EQ(amplif[3].gain100, 100);
  EXPECT_EQ(amplif[1].gain100, 10000);
  EXPECT_NEAR(cch.upc[1], kMvpc / cch.sen[1] / cch.gain[1], 1e-18);
}

TEST_F(AutoRange, PassRunsThreeStepsAndRestoresTheRun) {
  PrepareSineRun(10);
  Set("OverlapRing", "0.25");
  const int overlap = sr.ovsamp;
  ASSERT_EQ(overlap, 256);
  Press("AutoRangeButton");
  ASSERT_EQ(start, 1);
  EXPECT_EQ(rcu.adaptpass, 2);
  int color = 0;
  GetCtrlAttribute(frontpanel, FRONT_AutoRangeButton, ATTR_TEXT_BGCOLOR, &color);
  EXPECT_EQ(color, VAL_GREEN);

  AutoAdaptation();  // step 0: unity gain in use, 0 elsewhere, no overlap
  EXPECT_EQ(sr.ovsamp, 0);
  for (int j = 0; j < kAmplifiers; ++j) EXPECT_EQ(amplif[j].gain100, amplif[j].on ? 100 : 0) << j;
  Peaks(41943, 16000);
  dbuf.nframe = 1024;  // as collection leaves it with the next raw step
  AutoAdaptation();    // step 1: gains from the raw step
  int inUse = 0;
  for (int j = 0; j < kAmplifiers; ++j) inUse += amplif[j].on;
  ASSERT_EQ(inUse, 2);
  AutoAdaptation();  // step 2: back to normal processing
  EXPECT_EQ(rcu.adaptpass, 1);
  EXPECT_EQ(sr.ovsamp, overlap);
  EXPECT_EQ(start, 1);
  GetCtrlAttribute(frontpanel, FRONT_AutoRangeButton, ATTR_TEXT_BGCOLOR, &color);
  EXPECT_NE(color, VAL_GREEN);
  const int first = rcu.chanA < rcu.chanB ? rcu.chanA : rcu.chanB;
  EXPECT_EQ(amplif[first].gain100, 10000);
}

TEST_F(AutoRange, StopEndsAnUnfinishedPass) {
  PrepareSineRun(10);
  Set("OverlapRing", "0.25");
  const int overlap = sr.ovsamp;
  ASSERT_EQ(overlap, 256);
  int before[kAmplifiers];
  for (int j = 0; j < kAmplifiers; ++j) before[j] = amplif[j].gain100 = 150 + j;
  for (int k = 0; k < 2; ++k) SetThroug(k == 0 ? rcu.chanA : rcu.chanB);
  Press("AutoRangeButton");
  AutoAdaptation();  // step 0: the modules at unity gain, waiting for the next raw step
  ASSERT_EQ(amplif[rcu.chanA].gain100, 100);

  Set("StartButton", "0");  // СТОП
  EXPECT_EQ(rcu.adaptpass, 1);
  EXPECT_EQ(sr.ovsamp, overlap);
  for (int j = 0; j < kAmplifiers; ++j) EXPECT_EQ(amplif[j].gain100, before[j]) << j;
  int color = 0;
  GetCtrlAttribute(frontpanel, FRONT_AutoRangeButton, ATTR_TEXT_BGCOLOR, &color);
  EXPECT_NE(color, VAL_GREEN);

  // The next ПУСК is an ordinary run: its frames are analysed and no gain changes.
  adapt = nullptr;
  Set("StartButton", "1");
  ASSERT_EQ(start, 1);
  for (int i = 0; i < 20 && start == 1; ++i) Tick();
  EXPECT_EQ(rcu.adaptpass, 1);
  EXPECT_GT(rcu.avgCount, 1);
  for (int j = 0; j < kAmplifiers; ++j) EXPECT_EQ(amplif[j].gain100, before[j]) << j;
}

TEST_F(AutoRange, RefusedStartLeavesNoPassBehind) {
  if (gen_start == 1) Press("GeneratorSwitch");
  ASSERT_EQ(gen_start, 0);
  Press("AutoRangeButton");
  EXPECT_EQ(start, 0);
  EXPECT_EQ(rcu.adaptpass, 1);
  ASSERT_FALSE(Seen().empty());
  EXPECT_EQ(Seen().back().text, "Генератор не включен !!!");
}

// ---------------------------------------------------------------------------------------------
// Settings across program restarts ("Calibr.inf", "dkv5128.inf" and the panel state)

class Restarts : public FrontEndSetup {
 protected:
  // Выход, then a new program over the files it wrote: every model record starts empty.
  void Restart() {
    Press("QuitButton");
    ASSERT_TRUE(Seen().empty());
    rcu = RcuRecord{};
    cus = CusRecord{};
    ws = WsRecord{};
    hs = HsRecord{};
    cch = CalibrRecord{};
    for (AmplifRecord& r : amplif) r = AmplifRecord{};
    ASSERT_EQ(StartVeltra(), 0);
  }
  static std::string UnitShown(int ring) {
    int idx = -1;
    char label[kItemText] = "";
    GetCtrlIndex(mainpanel, ring, &idx);
    GetLabelFromIndex(mainpanel, ring, idx, label, sizeof label);
    return label;
  }
};

TEST_F(Restarts, CoefficientsKeepEveryDigit) {
  const int a = rcu.chanA, b = rcu.chanB;
  Set("CoefFieldA", "0.025");
  Set("CoefFieldB", "0.001");  // a 1:1000 divider
  EXPECT_EQ(Text("CoefFieldB"), "0.001");
  EXPECT_EQ(hs.inmode[b], 1);
  for (int restart = 1; restart <= 2; ++restart) {
    SCOPED_TRACE(restart);
    Restart();
    EXPECT_EQ(cch.gain[a], 0.025);
    EXPECT_EQ(cch.gain[b], 0.001);
    EXPECT_EQ(Text("CoefFieldA"), "0.025");
    EXPECT_EQ(Text("CoefFieldB"), "0.001");
    EXPECT_EQ(hs.inmode[b], 1);
    EXPECT_EQ(Background("CoefFieldB"), 0xC0C0C0) << "accepted, not refused";
    EXPECT_DOUBLE_EQ(cch.upc[b], kMvpc / cch.sen[b] / 0.001);
  }
  Set("CoefFieldA", "0.0123");
  Restart();
  EXPECT_EQ(cch.gain[a], 0.0123);
  char text[kCoefTextLen];
  CoefText(2.5, text, sizeof text);
  EXPECT_STREQ(text, "2.50");
  CoefText(0.1 + 0.2, text, sizeof text);  // not 0.3 in binary: every digit it takes
  EXPECT_EQ(std::strtod(text, nullptr), 0.1 + 0.2);
}

TEST_F(Restarts, ExitDuringAutoRangingKeepsTheOperatorsGains) {
  for (int j = 0; j < kAmplifiers; ++j) amplif[j].gain100 = 150 + j;
  PrepareSineRun(10);
  Press("AutoRangeButton");
  ASSERT_EQ(rcu.adaptpass, 2);
  AutoAdaptation();  // the modules now hold trial gains
  Restart();
  for (int j = 0; j < kAmplifiers; ++j) EXPECT_EQ(amplif[j].gain100, 150 + j) << j;
}

TEST_F(Restarts, CouplingUnitsAndReferenceLevelsComeBackAsChosen) {
  const int a = rcu.chanA, b = rcu.chanB;
  Set("AcDcSwitchA", "0");  // DC
  ASSERT_EQ(hs.acdc[a], 0);
  Set("UnitRingB", "Па");
  Set("LoFieldB", "0.0001");  // a level of its own, not the unit's 2e-05
  Set("SenFieldA", "12.345");
  for (int restart = 1; restart <= 2; ++restart) {
    SCOPED_TRACE(restart);
    Restart();
    EXPECT_EQ(IntOf("AcDcSwitchA"), 0);
    EXPECT_EQ(hs.acdc[a], 0);
    EXPECT_EQ(IntOf("AcDcSwitchB"), kCoupledAC);
    EXPECT_EQ(UnitShown(MAIN_UnitRingB), "Па");
    EXPECT_STREQ(cch.dim[b], "Па");
    EXPECT_EQ(cch.lo[b], 0.0001);
    EXPECT_DOUBLE_EQ(DoubleOf("LoFieldB"), 0.0001);
    EXPECT_NEAR(cch.reldb[b], 20 * std::log10(cch.upc[b]) + 80.0, 1e-9);
    EXPECT_EQ(cch.sen[a], 12.345);
  }
  // An ICP sensor comes back as one, on the AC side of its switch.
  Set("CoefFieldB", "icp");
  Restart();
  EXPECT_EQ(hs.inmode[b], 0);
  EXPECT_EQ(Text("CoefFieldB"), "ICP");
  EXPECT_EQ(IntOf("AcDcSwitchB"), kCoupledAC);
  EXPECT_EQ(IntOf("AcDcSwitchA"), 0);
}

TEST_F(Restarts, UnitOutsideTheSevenKeepsItsCalibration) {
  // "Calibr.inf" written after playing a recording in inches on input 1.
  const int b = rcu.chanB;
  ASSERT_EQ(b, 1);
  std::snprintf(cch.dim[1], kDimTextLen, "%s", "дюйм");
  cch.sen[1] = 25.4;
  cch.lo[1] = 0.5;
  CalibrDerive(1);
  Restart();
  EXPECT_STREQ(cch.dim[1], "дюйм");
  EXPECT_EQ(cch.sen[1], 25.4);
  EXPECT_EQ(cch.lo[1], 0.5);
  EXPECT_EQ(UnitShown(MAIN_UnitRingB), "дюйм");
  EXPECT_DOUBLE_EQ(DoubleOf("LoFieldB"), 0.5);
  EXPECT_NEAR(cch.reldb[1], 20 * std::log10(kMvpc / 25.4) - 20 * std::log10(0.5), 1e-9);
}

}  // namespace
