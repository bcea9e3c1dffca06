// Faults from outside the program: a disk that stops taking bytes part-way through a result or
// a settings file, and a recording cut short while it plays. Each leaves the files as they were,
// says so, and lets the program go on.
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analyzer/dkv.h"
#include "analyzer/menager_panel.h"
#include "fixture.h"

namespace {

using veltra_test::ScratchDir;
using veltra_test::VeltraTest;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Spit(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// While it lives, no file of this process grows beyond `bytes` (a write past it fails with
// EFBIG instead of raising SIGXFSZ): a disk that fills up after K bytes.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = signal(SIGXFSZ, SIG_IGN);
    rlimit r = saved_;
    r.rlim_cur = bytes;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &r), 0);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

std::vector<std::string> Listing() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(ScratchDir())) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Faults : public VeltraTest {
 protected:
  static void RunSine(const char* freq, const char* averages = "2") {
    Set("Freq1Field", freq);
    Set("AveragesField", averages);
    if (gen_start == 0) Press("GeneratorSwitch");
    Set("StartButton", "1");
    for (int i = 0; i < 50 && start == 1; ++i) Tick();
    ASSERT_EQ(start, 0);
  }
  static void SaveWindow1(const std::string& path) {
    veltra_test::Popups().fileAnswers.push_back(path);
    Press("SaveButton1");
  }
};

TEST_F(Faults, ResultWriteCutShortKeepsThePreviousResult) {
  const std::string data = ScratchDir() + "/fault.txt", inf = ScratchDir() + "/fault.inf";
  RunSine("1000");
  SaveWindow1(data);
  const std::string oldData = Slurp(data), oldInf = Slurp(inf);
  ASSERT_GT(oldInf.size(), 8u);
  ASSERT_GT(oldData.size(), oldInf.size());
  const std::vector<std::string> files = Listing();

  RunSine("2000", "3");  // a new description too: it counts the averages
  // The disk fills at once, and in the middle of the description.
  for (const rlim_t k : {rlim_t{0}, rlim_t{oldInf.size() / 2}}) {
    const size_t seen = Seen().size();
    {
      FileSizeLimit full(k);
      SaveWindow1(data);
    }
    EXPECT_GT(Seen().size(), seen) << k << ": the operator is told";
    EXPECT_EQ(Slurp(data), oldData) << k;
    EXPECT_EQ(Slurp(inf), oldInf) << k;
    EXPECT_EQ(Listing(), files) << k << ": no half-written file is left beside them";
  }
  // The program goes on: the next save with room writes the new result.
  SaveWindow1(data);
  EXPECT_NE(Slurp(data), oldData);
}

TEST_F(Faults, SettingsWriteCutShortAtExitKeepsThePreviousSettings) {
  Press("QuitButton");
  const char* names[] = {"veltrafile", "triggfile", "Calibr.inf", "dkv5128.inf"};
  std::vector<std::string> before;
  for (const char* n : names) before.push_back(Slurp(n));
  ASSERT_EQ(before[3].size(), 128u);
  const std::vector<std::string> files = Listing();

  // Changes that every settings file would carry, then an exit on a disk that is full after
  // 64 bytes: no settings file fits.
  Set("Freq1Field", "1234");
  Set("LevelField", "0.5");
  Set("SenFieldA", "7.5");
  amplif[2].gain100 = 777;
  const size_t seen = Seen().size();
  {
    FileSizeLimit full(64);
    Press("QuitButton");
  }
  EXPECT_GT(Seen().size(), seen) << "the operator is told";
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(Slurp(names[i]), before[i]) << names[i];
  EXPECT_EQ(Listing(), files) << "no half-written file is left beside them";
  // The program goes on.
  RunSine("500");
  EXPECT_EQ(sp.dataReady, 1);
}

TEST_F(Faults, RecordingCutWhilePlayingStopsTheRunWithAMessage) {
  Set("FftSizeRing", "1024");
  const std::string base = ScratchDir() + "/cut";
  constexpr int kRecords = 8 * 1024;
  // Header in Windows-1251: only ASCII and the Cyrillic mode line, written as its bytes.
  const std::string header =
      "\xd1\xe1\xee\xf0-\xed\xe5\xef\xf0\xe5\xf0\xfb\xe2\xed\xfb\xe9. "
      "\xd1\xf2\xe0\xf0\xf2-\xf1\xe2\xee\xe1\xee\xe4\xed\xfb\xe9.\n"  // Сбор-непрерывный.
                                                                      // Старт-свободный.
      "N=" +
      std::to_string(2 * kRecords) +
      " Fs=2048 Nch=2\nL=1024 T=64\nheading\n"
      " 0 100.0 0.001 1e-05 V\n 3 50.5 0.002 .5 V\n";
  Spit(base + ".inf", header);
  std::string bytes;
  for (int i = 0; i < 2 * kRecords; ++i) {
    const auto v = static_cast<uint32_t>(static_cast<int32_t>(1e6 * std::sin(0.39 * i)));
    for (int j = 0; j < 4; ++j) bytes.push_back(static_cast<char>(v >> (8 * j)));
  }
  Spit(base + ".dat", bytes);
  veltra_test::Popups().fileAnswers.push_back(base + ".dat");
  Set("SourceRing", "2");
  Press("InputButton0");
  Set("AveragesField", "6");
  Set("StartButton", "1");
  ASSERT_EQ(start, 1);
  Tick(2);
  ASSERT_EQ(start, 1);
  const size_t seen = Seen().size();
  // The recorder's disk is cleaned up under the running playback: a third of the data is left.
  std::filesystem::resize_file(base + ".dat", bytes.size() / 3);
  for (int i = 0; i < 10 && start == 1; ++i) Tick();
  EXPECT_EQ(start, 0);
  ASSERT_EQ(Seen().size(), seen + 1);
  EXPECT_EQ(Seen().back().text, "Файл записи оборвался: измерение остановлено !");
  // The program goes on: the generator measures again.
  Set("SourceRing", "1");
  RunSine("1000");
  EXPECT_EQ(sp.dataReady, 1);
}

}  // namespace
