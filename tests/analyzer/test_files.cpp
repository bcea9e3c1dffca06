// Recordings played back through the real panels: the header taken or refused, inputs assigned
// to channels A and B, the spectra of the chosen columns, the end of a recording; and the arrow
// keys on the channel switches.
#include <iconv.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "analyzer/file_ctrl_rec.h"
#include "analyzer/iirfilter.h"
#include "analyzer/menager_panel.h"
#include "fixture.h"

namespace {

using veltra_test::ScratchDir;
using veltra_test::VeltraTest;

constexpr double kPi = 3.14159265358979323846;
constexpr const char* kRefused = " Указанный файл не годен для обработки !";

std::string Cp1251(const std::string& utf8) {
  iconv_t cd = iconv_open("CP1251", "UTF-8");
  std::string out(utf8.size() + 1, '\0');
  char* in = const_cast<char*>(utf8.data());
  char* dst = out.data();
  size_t left = utf8.size(), room = out.size();
  iconv(cd, &in, &left, &dst, &room);
  iconv_close(cd);
  out.resize(out.size() - room);
  return out;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Little-endian 32-bit records.
void WriteData(const std::string& path, const std::vector<int32_t>& values) {
  std::string bytes;
  for (int32_t v : values) {
    const auto u = static_cast<uint32_t>(v);
    for (int j = 0; j < 4; ++j) bytes.push_back(static_cast<char>(u >> (8 * j)));
  }
  WriteBytes(path, bytes);
}

std::string Header(long long total, int nrec, const std::string& channels,
                   const std::string& mode = "Сбор-непрерывный. Старт-свободный.") {
  return mode + "\nN=" + std::to_string(total) + " Fs=2048 Nch=" + std::to_string(nrec) +
         "\nL=1024 T=64\nВход Чувств. Ед/отсчет Уровень Ед.\n" + channels;
}

// Two columns for inputs 0 and 3: a sine on line 64 (128 Hz at 2048 Hz, N = 1024) in column 0,
// a sine on line 200 (400 Hz) in column 1.
std::vector<int32_t> TwoSines(int records) {
  std::vector<int32_t> v;
  for (int i = 0; i < records; ++i) {
    v.push_back(static_cast<int32_t>(std::lround(1e6 * std::sin(2 * kPi * 64 * i / 1024.0))));
    v.push_back(static_cast<int32_t>(std::lround(3e5 * std::sin(2 * kPi * 200 * i / 1024.0))));
  }
  return v;
}

const std::string kTwoInputs = " 0 100.0 0.001 1e-05 м/с^2\n 3 50.5 0.002 .5 Па\n";

class Recordings : public VeltraTest {
 protected:
  // name.inf (Windows-1251) and name.dat; returns the data path.
  static std::string Write(const std::string& name, const std::string& headerUtf8,
                           const std::vector<int32_t>& data) {
    const std::string base = ScratchDir() + "/recording_" + name;
    WriteBytes(base + ".inf", Cp1251(headerUtf8));
    WriteData(base + ".dat", data);
    return base + ".dat";
  }
  // Playback chosen as the source, the dialog answered with `path`.
  static void Choose(const std::string& path) {
    veltra_test::Popups().fileAnswers.push_back(path);
    Set("SourceRing", "2");
  }
  static int Dimmed(int control) {
    int d = 0;
    GetCtrlAttribute(mainpanel, control, ATTR_DIMMED, &d);
    return d;
  }
  static int PeakLine(const double* g) {
    int best = 1;
    for (int i = 1; i < cus.frameLen; ++i) {
      if (g[i] > g[best]) best = i;
    }
    return best;
  }
};

TEST_F(Recordings, HeaderSetsRateLayoutInputsAndAverages) {
  Set("FftSizeRing", "1024");
  Choose(Write("rec", Header(131072, 2, kTwoInputs), std::vector<int32_t>(131072, 0)));
  EXPECT_TRUE(Seen().size() == 1u && Seen()[0].kind == POPUP_FILE_SELECT);
  EXPECT_EQ(rcu.runmode, 0);
  EXPECT_EQ(cus.srate, 2048.0);
  EXPECT_EQ(fs.nrec, 2);
  EXPECT_EQ(fs.nrecs, 65536);
  EXPECT_EQ(fs.flen, 1024);
  for (int n = 0; n < kInputs; ++n) {
    const bool present = n == 0 || n == 3;
    EXPECT_EQ(OnOffCh[n], present ? 1 : 0) << n;
    EXPECT_EQ(Dimmed(MAIN_InputButton0 + n), present ? 0 : 1) << n;
  }
  EXPECT_EQ(records[0], 0);
  EXPECT_EQ(records[3], 1);
  EXPECT_DOUBLE_EQ(cch.sen[3], 50.5);
  EXPECT_DOUBLE_EQ(cch.upc[3], 0.002);
  EXPECT_DOUBLE_EQ(cch.lo[3], 0.5) << "a leading point belongs to the number";
  EXPECT_STREQ(cch.dim[0], "м/с^2");
  EXPECT_STREQ(cch.dim[3], "Па");
  // (65536 - 1024) records leave 62 whole steps of 1024 beyond the first frame's end.
  EXPECT_EQ(IntOf("AveragesField"), 62);
  EXPECT_EQ(rcu.avgTarget, 62);
  EXPECT_EQ(rcu.expAver, 0);
  EXPECT_EQ(Dimmed(MAIN_ExponentialBox), 1);
  EXPECT_NEAR(sp.df, 2.0, 1e-9);

  // Half overlap: steps of 512.
  Set("OverlapRing", "0.5");
  EXPECT_EQ(IntOf("AveragesField"), (65536 - 2 * 1024 + 511) / 512);

  // Another frame length plays a recording at its own rate still, one the rate ring does not
  // list included.
  std::string odd = Header(131072, 2, kTwoInputs);
  odd.replace(odd.find("Fs=2048"), 7, "Fs=300");
  Choose(Write("odd", odd, std::vector<int32_t>(131072, 0)));
  ASSERT_EQ(cus.srate, 300.0);
  Set("FftSizeRing", "2048");
  EXPECT_EQ(cus.srate, 300.0);
  EXPECT_EQ(cus.thin, 1);
  EXPECT_NEAR(sp.df, 300.0 / 2.56 / (cus.lines - 1), 1e-9);
  EXPECT_NEAR(sp.dt, 1.0 / 300.0, 1e-15);
  // One the ring lists below 1024 Hz is not taken for a decimated 1024 Hz stream; choosing a
  // quarter of its rate decimates it by 4 behind a filter scaled to it.
  std::string slow = Header(131072, 2, kTwoInputs);
  slow.replace(slow.find("Fs=2048"), 7, "Fs=512");
  Choose(Write("slow", slow, std::vector<int32_t>(131072, 0)));
  Set("FftSizeRing", "1024");
  EXPECT_EQ(cus.srate, 512.0);
  EXPECT_EQ(cus.thin, 1);
  EXPECT_NEAR(sp.df, 512.0 / 2.56 / (cus.lines - 1), 1e-9);
  Set("SampleRateRing", "128");
  EXPECT_EQ(cus.thin, 4);
  EXPECT_NEAR(sp.fmax, 50.0, 1e-9);
  EXPECT_NEAR(sp.dt, 4.0 / 512.0, 1e-15);
  IIRFilterParam();
  EXPECT_NEAR(cus.iirfcut, 55.0, 1e-9);
}

TEST_F(Recordings, RateRingOffersOnlyTheRatesTheRecordingIsAnalysedAt) {
  auto offered = [] {
    std::vector<double> rates;
    int items = 0;
    GetNumListItems(mainpanel, MAIN_SampleRateRing, &items);
    for (int i = 0; i < items; ++i) {
      double v = 0.0;
      GetValueFromIndex(mainpanel, MAIN_SampleRateRing, i, &v);
      rates.push_back(v);
    }
    return rates;
  };
  std::string fast = Header(131072, 2, kTwoInputs);
  fast.replace(fast.find("Fs=2048"), 7, "Fs=4096");
  Choose(Write("fast", fast, std::vector<int32_t>(131072, 0)));
  EXPECT_EQ(offered(), (std::vector<double>{4096, 2048, 1024, 512})) << "its own and / 2, 4, 8";
  EXPECT_EQ(DoubleOf("SampleRateRing"), 4096.0);
  int panel = 0;
  const int ring = Control("SampleRateRing", &panel);
  EXPECT_LT(UserSetCtrlVal(panel, ring, "256"), 0) << "not reachable, not offered";
  for (double rate : {1024.0, 4096.0, 512.0}) {  // down and back up again
    Set("SampleRateRing", std::to_string(static_cast<int>(rate)).c_str());
    EXPECT_EQ(cus.srate / cus.thin, rate);
    EXPECT_EQ(DoubleOf("SampleRateRing"), rate);
  }
  // The generator offers its own list again, at the rate analysed last, also when the program
  // is left in playback and started again over its saved state.
  Press("QuitButton");
  ASSERT_EQ(StartVeltra(), 0);
  EXPECT_EQ(offered().size(), 10u);
  EXPECT_EQ(DoubleOf("SampleRateRing"), 512.0);
  EXPECT_EQ(cus.srate / cus.thin, 512.0);
}

TEST_F(Recordings, InputButtonsPickTheColumnsAndPlaybackGivesTheirSpectra) {
  Set("FftSizeRing", "1024");
  Choose(Write("sines", Header(2 * 4096, 2, kTwoInputs), TwoSines(4096)));
  EXPECT_EQ(rcu.onA + rcu.onB, 0) << "no channel before an input is pressed";
  // Input 3 first (channel A), then input 0 (channel B).
  Press("InputButton3");
  EXPECT_EQ(rcu.chanA, 3);
  EXPECT_EQ(rcu.colA, 1);
  EXPECT_EQ(rcu.onA, 1);
  EXPECT_EQ(rcu.onB, 0);
  EXPECT_EQ(Dimmed(MAIN_ChannelSwitchB), 1);
  EXPECT_DOUBLE_EQ(DoubleOf("SenFieldA"), 50.5);
  EXPECT_NEAR(cch.upcdb[3], 20 * std::log10(0.002), 1e-12) << "the recording's own scale";
  EXPECT_NEAR(cch.reldb[3], 20 * std::log10(0.002) - 20 * std::log10(0.5), 1e-12);
  Press("InputButton0");
  EXPECT_EQ(rcu.chanB, 0);
  EXPECT_EQ(rcu.colB, 0);
  EXPECT_EQ(rcu.onB, 1);
  EXPECT_EQ(IntOf("ChannelSwitchB"), 1);
  // Switching a channel off and on again keeps the recording's scale of its input.
  Set("ChannelSwitchA", "0");
  EXPECT_EQ(rcu.onA, 0);
  Set("ChannelSwitchA", "1");
  EXPECT_EQ(rcu.onA, 1);
  EXPECT_DOUBLE_EQ(cch.upc[3], 0.002);
  EXPECT_DOUBLE_EQ(cch.sen[3], 50.5);
  EXPECT_NEAR(cch.reldb[3], 20 * std::log10(0.002) - 20 * std::log10(0.5), 1e-12);

  Set("AveragesField", "2");
  Set("StartButton", "1");
  ASSERT_EQ(start, 1);
  for (int i = 0; i < 10 && start == 1; ++i) Tick();
  EXPECT_EQ(start, 0) << "a counted run stops at its target";
  ASSERT_EQ(sp.dataReady, 1);
  // The spectra are 2N-point: line m of the N-point analysis sits at index 2m.
  EXPECT_EQ(PeakLine(Gxx), 2 * 200) << "channel A plays input 3's column";
  EXPECT_EQ(PeakLine(Gyy), 2 * 64) << "channel B plays input 0's column";
  EXPECT_NEAR(x_band[PeakLine(Gyy) / 2], 128.0, 1e-9);

  // A third press begins a new pair: channel A again, channel B cleared.
  Press("InputButton0");
  EXPECT_EQ(rcu.chanA, 0);
  EXPECT_EQ(rcu.colA, 0);
  EXPECT_EQ(rcu.onB, 0);
  EXPECT_EQ(IntOf("InputButton3"), 0);
}

TEST_F(Recordings, EndOfTheRecordingStopsTheRun) {
  Set("FftSizeRing", "1024");
  Choose(Write("short", Header(2 * 3000, 2, kTwoInputs), TwoSines(3000)));
  Press("InputButton0");
  Set("AveragesField", "100");
  Set("StartButton", "1");
  ASSERT_EQ(start, 1);
  int ticks = 0;
  for (; ticks < 20 && start == 1; ++ticks) Tick();
  EXPECT_EQ(start, 0);
  EXPECT_EQ(TimerEnabled(), 0);
  EXPECT_EQ(ticks, 3) << "two whole frames, then the short rest ends the run";
  EXPECT_EQ(fs.pos, 2 * 1024 * 2 * 4);
  EXPECT_LE(IntOf("AverCountDisplay"), 2);

  // Data cut short after the header was taken (half a record left), gone altogether, or a pipe
  // in their place: the run ends at its first step.
  for (const char* bytes : {"\x01\x02\x03\x04\x05\x06", "", "pipe"}) {
    const std::string data = Write("shrunk", Header(2 * 3000, 2, kTwoInputs), TwoSines(3000));
    Choose(data);
    Press("InputButton0");
    Press("InputButton3");
    WriteBytes(data, bytes);
    if (*bytes == '\0' || *bytes == 'p') std::remove(data.c_str());
    if (*bytes == 'p') {
      ASSERT_EQ(mkfifo(data.c_str(), 0600), 0);
    }
    Set("StartButton", "1");
    for (int i = 0; i < 5 && start == 1; ++i) Tick();
    EXPECT_EQ(start, 0);
    EXPECT_EQ(fs.pos, 0);
  }
}

TEST_F(Recordings, SavingAResultLeavesTheRecordingToTheNextRun) {
  Set("FftSizeRing", "1024");
  const std::string data = Write("resave", Header(2 * 4096, 2, kTwoInputs), TwoSines(4096));
  Choose(data);
  Press("InputButton3");
  Set("AveragesField", "2");
  auto runAndSave = [](const std::string& path) {
    Set("StartButton", "1");
    for (int i = 0; i < 10 && start == 1; ++i) Tick();
    ASSERT_EQ(start, 0);
    ASSERT_EQ(rcu.avgCount - 1, 2) << "both frames came from the recording";
    veltra_test::Popups().fileAnswers.push_back(path);
    Press("SaveButton1");
  };
  const std::string a = ScratchDir() + "/resave_a.txt", b = ScratchDir() + "/resave_b.txt";
  runAndSave(a);
  EXPECT_EQ(std::string(file_name), data) << "the recording is still what playback reads";
  runAndSave(b);
  auto read = [](const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
      char buf[4096];
      for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
      std::fclose(f);
    }
    return text;
  };
  EXPECT_FALSE(read(a).empty());
  EXPECT_EQ(read(b), read(a)) << "the second run analysed the recording again";
  EXPECT_EQ(PeakLine(Gxx), 2 * 200);
}

TEST_F(Recordings, PanelShowsTheRecordedUnitAndReferenceLevel) {
  // Input 3 is recorded in Па with its 0 dB at 0.5 Па; input 5 in a unit none of the seven.
  const std::string inputs = " 3 50.5 0.002 .5 Па\n 5 2.0 0.004 0.25 дюйм\n";
  Choose(Write("units", Header(2 * 4096, 2, inputs), TwoSines(4096)));
  auto unitShown = [](int ring) {
    int idx = -1;
    char label[kItemText] = "";
    GetCtrlIndex(mainpanel, ring, &idx);
    GetLabelFromIndex(mainpanel, ring, idx, label, sizeof label);
    return std::string(label);
  };
  Press("InputButton3");
  Press("InputButton5");
  EXPECT_EQ(unitShown(MAIN_UnitRingA), "Па");
  EXPECT_DOUBLE_EQ(DoubleOf("LoFieldA"), 0.5) << "the level the dB scale uses, not 2e-05";
  EXPECT_DOUBLE_EQ(cch.lo[3], 0.5);
  EXPECT_EQ(unitShown(MAIN_UnitRingB), "дюйм");
  EXPECT_DOUBLE_EQ(DoubleOf("LoFieldB"), 0.25);
  EXPECT_DOUBLE_EQ(DoubleOf("SenFieldB"), 2.0);
  EXPECT_STREQ(cch.dim[5], "дюйм");
  EXPECT_NEAR(cch.reldb[5], 20 * std::log10(0.004) - 20 * std::log10(0.25), 1e-12);
  // Committing the list as it stands keeps the recording's unit and level.
  Set("UnitRingB", "дюйм");
  EXPECT_STREQ(cch.dim[5], "дюйм");
  EXPECT_DOUBLE_EQ(cch.lo[5], 0.25);
  // A new pair: the list holds the seven units again, with the input's own selected.
  Press("InputButton3");
  EXPECT_EQ(unitShown(MAIN_UnitRingA), "Па");
  int items = 0;
  GetNumListItems(mainpanel, MAIN_UnitRingA, &items);
  EXPECT_EQ(items, 7);
}

TEST_F(Recordings, MalformedHeadersAreRefusedWithAMessage) {
  Choose(ScratchDir() + "/recording_none.dat");  // no header: refused, the program goes on
  ASSERT_FALSE(Seen().empty());
  EXPECT_EQ(Seen().back().title, "CAN'T OPEN FILE !!!");
  EXPECT_EQ(Seen().back().text, ScratchDir() + "/recording_none.inf");
  ASSERT_EQ(rcu.source, 2);
  // A pipe in the header's place is not waited on.
  const std::string pipe = ScratchDir() + "/recording_pipe";
  std::remove((pipe + ".inf").c_str());
  ASSERT_EQ(mkfifo((pipe + ".inf").c_str(), 0600), 0);
  std::snprintf(file_name, sizeof file_name, "%s.dat", pipe.c_str());
  EXPECT_EQ(InputInfFile(), 0);
  EXPECT_EQ(Seen().back().title, "CAN'T OPEN FILE !!!");
  // Nor a pipe in the data's place: its size is unknown and reading it could wait for ever.
  const std::string dataPipe = ScratchDir() + "/recording_datapipe";
  WriteBytes(dataPipe + ".inf", Cp1251(Header(8, 1, " 0 100 0.001 1e-05 В\n")));
  std::remove((dataPipe + ".dat").c_str());
  ASSERT_EQ(mkfifo((dataPipe + ".dat").c_str(), 0600), 0);
  std::snprintf(file_name, sizeof file_name, "%s.dat", dataPipe.c_str());
  EXPECT_EQ(InputInfFile(), 0);
  EXPECT_EQ(Seen().back().text.rfind(kRefused, 0), 0u);
  EXPECT_EQ(fs.nrec, 0);

  const std::string ok = " 0 100 0.001 1e-05 В\n";
  struct Case {
    const char* what;
    std::string header;
    int dataValues;
  };
  const Case cases[] = {
      {"empty file", "", 8},
      {"two lines only", "Сбор-непрерывный. Старт-свободный.\nN=8 Fs=2048 Nch=1\n", 8},
      {"no equals on line 2", "Сбор\nN 8 Fs 2048 Nch 1\nL=1024 T=1\nх\n" + ok, 8},
      {"no count", "Сбор\nN= Fs=2048 Nch=1\nL=1024 T=1\nх\n" + ok, 8},
      {"zero count", Header(0, 1, ok), 8},
      {"negative count", Header(-8, 1, ok), 8},
      {"huge count", Header(99999999999LL, 1, ok), 8},
      {"count beyond the data", Header(4096, 1, ok), 8},
      {"no rate", "Сбор\nN=8 Fs=x Nch=1\nL=1024 T=1\nх\n" + ok, 8},
      {"zero rate", "Сбор\nN=8 Fs=0 Nch=1\nL=1024 T=1\nх\n" + ok, 8},
      {"rate below 1 Hz", "Сбор\nN=8 Fs=1e-300 Nch=1\nL=1024 T=1\nх\n" + ok, 8},
      {"rate not a number", "Сбор\nN=8 Fs=nan Nch=1\nL=1024 T=1\nх\n" + ok, 8},
      {"zero values per record", Header(8, 0, ok), 8},
      {"too many values per record", Header(80, 10, ok), 80},
      {"fewer than one record", Header(1, 2, ok + ok), 8},
      {"no frame length", "Сбор\nN=8 Fs=2048 Nch=1\nL T\nх\n" + ok, 8},
      {"missing column line", Header(8, 2, ok), 8},
      {"input 8", Header(8, 1, " 8 100 0.001 1e-05 В\n"), 8},
      {"no input number", Header(8, 1, " x 100 0.001 1e-05 В\n"), 8},
      {"missing calibration", Header(8, 1, " 0 100 0.001\n"), 8},
      {"zero sensitivity", Header(8, 1, " 0 0 0.001 1e-05 В\n"), 8},
      {"huge sensitivity", Header(8, 1, " 0 1e300 0.001 1e-05 В\n"), 8},
      {"vanishing units per count", Header(8, 1, " 0 100 1e-320 1e-05 В\n"), 8},
      {"infinite level", Header(8, 1, " 0 100 0.001 1e999 В\n"), 8},
      {"long unit", Header(8, 1, " 0 100 0.001 1e-05 мм/сек^2\n"), 8},
      {"long line", Header(8, 1, ok) + std::string(200, 'x') + "\n", 8},
      {"binary", std::string("\x01\x00\xff\n=\x00=\n", 8) + std::string(500, '\xff'), 8},
  };
  for (const Case& c : cases) {
    const std::string base = ScratchDir() + "/recording_bad";
    const bool raw = !c.header.empty() && c.header[0] == '\x01';
    WriteBytes(base + ".inf", raw ? c.header : Cp1251(c.header));
    WriteData(base + ".dat", std::vector<int32_t>(static_cast<size_t>(c.dataValues), 7));
    // A good recording first, so that a refusal visibly takes it away.
    std::snprintf(file_name, sizeof file_name, "%s",
                  Write("good", Header(8, 1, ok), std::vector<int32_t>(8, 1)).c_str());
    ASSERT_EQ(InputInfFile(), 1) << c.what;
    veltra_test::Popups().seen.clear();
    std::snprintf(file_name, sizeof file_name, "%s.dat", base.c_str());
    EXPECT_EQ(InputInfFile(), 0) << c.what;
    ASSERT_EQ(Seen().size(), 1u) << c.what;
    EXPECT_EQ(Seen()[0].title, "Внимание !") << c.what;
    EXPECT_EQ(Seen()[0].text.rfind(kRefused, 0), 0u) << c.what << ": " << Seen()[0].text;
    EXPECT_EQ(fs.nrec, 0) << c.what;
    EXPECT_EQ(OnOffCh[0], 0) << c.what;
    EXPECT_EQ(Dimmed(MAIN_InputButton0), 1) << c.what;
  }
}

TEST_F(Recordings, UnknownModeTextIsModeNineAndTheHeaderStandsForItsData) {
  const std::string data =
      Write("mode", Header(8, 1, " 5 1 1 1 g\n", "Сбор как-нибудь"), std::vector<int32_t>(8, 0));
  Choose(data.substr(0, data.size() - 3) + "inf");
  EXPECT_EQ(rcu.runmode, 9);
  EXPECT_EQ(OnOffCh[5], 1);
  EXPECT_EQ(std::string(file_name), data) << "the data are read from the .dat beside the header";
  EXPECT_EQ(GetStartMode("Сбор по условию. Регион и ещё"), 6);
  EXPECT_EQ(GetStartMode("Сбор по условию."), 9);
}

TEST_F(Recordings, ChannelSwitchesOutsidePlayback) {
  // Generator: arrows keep A below B.
  auto key = [](int control, int code) {
    UserFireEvent(mainpanel, control, EVENT_KEYPRESS, code, 0);
  };
  ASSERT_EQ(rcu.source, 1);
  ShowChannelNumber(MAIN_ChannelSwitchA, 0);
  ShowChannelNumber(MAIN_ChannelSwitchB, 1);
  rcu.chanA = 0, rcu.chanB = 1;
  key(MAIN_ChannelSwitchA, VAL_UP_ARROW_VKEY);
  EXPECT_EQ(rcu.chanA, 1);
  EXPECT_EQ(rcu.chanB, 2);
  key(MAIN_ChannelSwitchB, VAL_DOWN_ARROW_VKEY);
  EXPECT_EQ(rcu.chanB, 1);
  EXPECT_EQ(rcu.chanA, 0);
  key(MAIN_ChannelSwitchB, VAL_DOWN_ARROW_VKEY);
  EXPECT_EQ(rcu.chanB, 1) << "B stays above input 0";
  for (int i = 0; i < 10; ++i) key(MAIN_ChannelSwitchA, VAL_UP_ARROW_VKEY);
  EXPECT_EQ(rcu.chanA, 6);
  EXPECT_EQ(rcu.chanB, 7);
  char text[16] = "";
  GetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_OFF_TEXT, text, sizeof text);
  EXPECT_STREQ(text, "7");
  key(MAIN_ChannelSwitchA, 'x');
  EXPECT_EQ(rcu.chanA, 6);

  // Committing a switch takes its number and state.
  Set("ChannelSwitchA", "0");
  EXPECT_EQ(rcu.onA, 0);
  Set("ChannelSwitchA", "1");
  EXPECT_EQ(rcu.onA, 1);
  EXPECT_EQ(rcu.chanA, 6);

  // Playback: arrows do nothing, and a channel without an input cannot be switched on.
  Choose(Write("sw", Header(8, 1, " 2 1 1 1 g\n"), std::vector<int32_t>(8, 0)));
  key(MAIN_ChannelSwitchA, VAL_UP_ARROW_VKEY);
  EXPECT_EQ(rcu.chanA, 6);
  Set("ChannelSwitchA", "1");
  EXPECT_EQ(rcu.onA, 0);
  EXPECT_EQ(IntOf("ChannelSwitchA"), 0);
}

}  // namespace
