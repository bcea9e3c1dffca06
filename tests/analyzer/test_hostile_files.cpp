// What the working directory may hold in place of the program's files: links and pipes at
// the settings names, a calibration with absurd gains, a disk that fills during a save, the
// leftovers of a program killed while it saved its settings.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "analyzer/save.h"
#include "fixture.h"

namespace {

using veltra_test::Popups;
using veltra_test::VeltraTest;

const char* const kSettings[] = {"Calibr.inf", "dkv5128.inf", "veltrafile", "triggfile"};

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void Put(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

bool IsKind(const char* path, mode_t kind) {
  struct stat st {};
  return lstat(path, &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

// Entries of the working directory that are none of the four settings files.
std::vector<std::string> Entries() {
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::directory_iterator(".")) {
    const std::string n = e.path().filename().string();
    if (std::find(std::begin(kSettings), std::end(kSettings), n) == std::end(kSettings))
      found.push_back(n);
  }
  std::sort(found.begin(), found.end());
  return found;
}

class HostileFiles : public VeltraTest {
 protected:
  void SetUp() override {
    VeltraTest::SetUp();
    before_ = Entries();
  }
  // What the test left beside the settings files, beyond what was there before it.
  std::vector<std::string> Strays() const {
    std::vector<std::string> now = Entries(), extra;
    std::set_difference(now.begin(), now.end(), before_.begin(), before_.end(),
                        std::back_inserter(extra));
    return extra;
  }
  std::vector<std::string> before_;
  void TearDown() override {
    for (const char* f : kSettings) unlink(f);
    VeltraTest::TearDown();
  }
  // Exit; every settings file that could not be written is named in its own message.
  static void QuitExpectingRefusals() {
    Popups().seen.clear();
    Press("QuitButton");
    ASSERT_EQ(Seen().size(), 4u);
    for (int i = 0; i < 4; ++i)
      EXPECT_NE(Seen()[static_cast<size_t>(i)].text.find(kSettings[i]), std::string::npos);
  }
};

TEST_F(HostileFiles, LinksAtTheSettingsNamesAreNeverWrittenThrough) {
  const std::string victim = veltra_test::ScratchDir() + "-victim";
  Put(victim, "precious\n");
  for (const char* f : kSettings) {
    ASSERT_EQ(symlink(victim.c_str(), f), 0);
    // The fixed temporary name an earlier writer used.
    ASSERT_EQ(symlink(victim.c_str(), (std::string(f) + ".part").c_str()), 0);
  }
  ASSERT_EQ(StartVeltra(), 0);
  QuitExpectingRefusals();
  EXPECT_EQ(Slurp(victim), "precious\n");
  for (const char* f : kSettings) {
    EXPECT_TRUE(IsKind(f, S_IFLNK)) << f;
    unlink((std::string(f) + ".part").c_str());
  }
  EXPECT_EQ(Strays(), std::vector<std::string>{});
  unlink(victim.c_str());
}

TEST_F(HostileFiles, PipesAtTheSettingsNamesNeitherHoldTheProgramNorAreWritten) {
  // At each settings name, at the fixed temporary names an earlier writer used, and at the
  // names of a result pair.
  std::vector<std::string> pipes;
  for (const char* f : kSettings) pipes.insert(pipes.end(), {f, std::string(f) + ".part"});
  pipes.insert(pipes.end(), {"result.txt", "result.inf", "other.txt.part"});
  std::vector<int> readers;
  for (const std::string& p : pipes) {
    ASSERT_EQ(mkfifo(p.c_str(), 0600), 0);
    readers.push_back(open(p.c_str(), O_RDONLY | O_NONBLOCK));
    ASSERT_GE(readers.back(), 0);
  }
  ASSERT_EQ(StartVeltra(), 0);  // a pipe read as a settings file would wait here for ever
  QuitExpectingRefusals();
  ViewState& v = vs[0];
  v.function = 0, v.format = -1, v.yUnit = 2, v.xUnit = 2, v.count = 3;
  Popups().seen.clear();
  std::snprintf(result_name, sizeof result_name, "%s", "result.txt");
  EXPECT_EQ(SaveInfData(0), 0);
  ASSERT_EQ(Seen().size(), 1u);
  EXPECT_NE(Seen()[0].text.find("result.inf"), std::string::npos) << Seen()[0].text;
  std::snprintf(result_name, sizeof result_name, "%s", "other.txt");
  EXPECT_EQ(SaveInfData(0), 1);
  for (size_t i = 0; i < pipes.size(); ++i) {
    char byte;
    EXPECT_EQ(read(readers[i], &byte, 1), 0) << pipes[i] << " was opened for writing";
    close(readers[i]);
    EXPECT_TRUE(IsKind(pipes[i].c_str(), S_IFIFO)) << pipes[i];
    if (i >= 8) unlink(pipes[i].c_str());
  }
  for (const char* f : kSettings) unlink((std::string(f) + ".part").c_str());
  unlink("other.txt");
  unlink("other.inf");
  EXPECT_EQ(Strays(), std::vector<std::string>{});
}

// Gains of 5e-324 and 1e300, a sensitivity of 1e-200 and a reference of 1e300 would make
// every scaled result infinite or absurd: those entries get their defaults, with a message.
TEST_F(HostileFiles, CalibrationOutsideSaneBoundsGivesDefaultsAndFiniteResults) {
  for (int i = 0; i < kInputs; ++i) CalibrDefaultsInput(i);
  cch.sen[5] = 250.0;  // a sound entry, kept
  unsigned char image[kCalibrFileSize];
  EncodeCalibr(cch, image);
  auto poke = [&](int block, int input, double v) {
    std::memcpy(image + block * 64 + input * 8, &v, 8);
  };
  poke(2, 0, 5e-324);  // gain
  poke(0, 1, 1e-200);  // sensitivity
  poke(7, 2, 1e300);   // reference level
  poke(2, 3, 1e300);   // gain
  Put("Calibr.inf", std::string(reinterpret_cast<char*>(image), sizeof image));

  Popups().seen.clear();
  ASSERT_EQ(StartVeltra(), 0);
  ASSERT_EQ(Seen().size(), 1u);
  EXPECT_NE(Seen()[0].text.find("0, 1, 2, 3"), std::string::npos) << Seen()[0].text;
  for (int i = 0; i < 4; ++i) {
    EXPECT_DOUBLE_EQ(cch.gain[i], 1.0);
    EXPECT_DOUBLE_EQ(cch.sen[i], 1000.0);
    EXPECT_DOUBLE_EQ(cch.lo[i], 1e-05);
  }
  EXPECT_DOUBLE_EQ(cch.sen[5], 250.0);

  // Spectra of both channels in physical units and in dB, their totals and their files.
  Set("YUnitRing1", "1");
  Set("YUnitRing2", "4");
  Set("WindowSelBoth", "1");
  PrepareSineRun(2);
  Set("StartButton", "1");
  Tick(4);
  ASSERT_EQ(start, 0);
  for (int w = 0; w < 2; ++w) {
    ASSERT_GT(vs[w].count, 0);
    for (int j = 0; j < vs[w].count; ++j)
      ASSERT_TRUE(std::isfinite(vs[w].yData[j])) << w << " " << j;
  }
  std::snprintf(result_name, sizeof result_name, "%s", "spectrum.txt");
  ASSERT_EQ(SaveInfData(0), 1);
  const std::string inf = Slurp("spectrum.inf");
  const size_t at = inf.find("Total=");
  ASSERT_NE(at, std::string::npos);
  EXPECT_TRUE(std::isfinite(std::strtod(inf.c_str() + at + 6, nullptr))) << inf;
  unlink("spectrum.txt");
  unlink("spectrum.inf");

  Press("QuitButton");
  const std::string saved = Slurp("Calibr.inf");
  ASSERT_EQ(saved.size(), static_cast<size_t>(kCalibrFileSize));
  for (int k = 0; k < 80; ++k) {
    double v;
    std::memcpy(&v, saved.data() + 8 * k, 8);
    EXPECT_TRUE(std::isfinite(v)) << "double " << k;
  }
}

// The disk fills after K bytes of a result save: the previous pair stays as it was, whole.
TEST_F(HostileFiles, ResultSaveFailingPartWayKeepsThePreviousPair) {
  auto fill = [](int count, double scale) {
    ViewState& v = vs[0];
    v.function = 0;
    v.format = -1;
    v.yUnit = 2;
    v.xUnit = 2;
    v.count = count;
    for (int j = 0; j < count; ++j) {
      v.xData[j] = j;
      v.yData[j] = scale * j;
    }
  };
  std::snprintf(result_name, sizeof result_name, "%s", "pair.txt");
  fill(401, 1.0);
  ASSERT_EQ(SaveInfData(0), 1);
  const std::string data = Slurp("pair.txt"), description = Slurp("pair.inf");
  ASSERT_GT(data.size(), 4000u);

  fill(3201, 2.0);
  struct rlimit was {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &was), 0);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  // Inside the description, and inside the data once the description was written.
  for (rlim_t k : {rlim_t{0}, rlim_t{40}, rlim_t{4000}}) {
    Popups().seen.clear();
    struct rlimit lim = was;
    lim.rlim_cur = k;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
    const int r = SaveInfData(0);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &was), 0);
    EXPECT_EQ(r, 0) << k;
    EXPECT_EQ(Seen().size(), 1u) << k;
    EXPECT_EQ(Slurp("pair.txt"), data) << k;
    EXPECT_EQ(Slurp("pair.inf"), description) << k;
  }
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(Strays(), (std::vector<std::string>{"pair.inf", "pair.txt"})) << "no temporary left";
  unlink("pair.txt");
  unlink("pair.inf");
}

// A program killed after its settings counted as saved: the next start puts the whole set in
// place before reading it. Killed before: the temporaries go and the old set stays.
TEST_F(HostileFiles, InterruptedExitSaveIsCompletedOrUndoneAtStart) {
  Set("AveragesField", "17");
  Press("QuitButton");
  const std::string old = Slurp("veltrafile");
  Set("AveragesField", "33");
  ASSERT_EQ(SavePanelState(mainpanel, "veltrafile.999999999.aBc123.part", 0), 0);
  ASSERT_EQ(StartVeltra(), 0);
  EXPECT_EQ(IntOf("AveragesField"), 17) << "no journal: the exit never counted as done";
  EXPECT_EQ(Slurp("veltrafile"), old);
  EXPECT_EQ(Strays(), std::vector<std::string>{});

  Set("AveragesField", "33");
  ASSERT_EQ(SavePanelState(mainpanel, "veltrafile.999999999.aBc123.part", 0), 0);
  Put("veltra.commit", "veltra file set\nveltrafile\tveltrafile.999999999.aBc123.part\nend\n");
  Set("AveragesField", "5");
  ASSERT_EQ(StartVeltra(), 0);
  EXPECT_EQ(IntOf("AveragesField"), 33);
  EXPECT_EQ(Strays(), std::vector<std::string>{});
}

}  // namespace
