// veltra-batch against veltra: the same command line in two empty folders must leave the same
// result files, byte for byte; what only the panels can do is refused before anything runs.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <iconv.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string err;
};

// Runs a program in `dir` with the line `args`; its standard error is kept.
Outcome RunIn(const std::string& dir, const std::vector<std::string>& args) {
  Outcome o;
  const std::string errPath = dir + "/stderr.txt";
  std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "HOME=" + dir,
                                  "XDG_RUNTIME_DIR=" + dir, "LANG=C.UTF-8"};
  for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "PATH"}) {
    if (const char* v = std::getenv(keep)) env.push_back(std::string(keep) + "=" + v);
  }
  std::vector<char*> argv, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
  }
  posix_spawn_file_actions_destroy(&actions);
  std::ifstream in(errPath);
  o.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  fs::remove(errPath);
  return o;
}

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Cp1251(const std::string& utf8) {
  iconv_t cd = iconv_open("CP1251", "UTF-8");
  std::string out(utf8.size(), '\0');
  char* in = const_cast<char*>(utf8.data());
  char* dst = out.data();
  size_t left = utf8.size(), room = out.size();
  iconv(cd, &in, &left, &dst, &room);
  iconv_close(cd);
  out.resize(out.size() - room);
  return out;
}

class BatchTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char dirTemplate[] = "/tmp/veltra-batch-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    root_ = dirTemplate;
    fs::create_directories(root_ + "/gui");
    fs::create_directories(root_ + "/batch");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // A recording at 2048 Hz of inputs 0 and 3: a 128 Hz sine and a 400 Hz sine with a little of
  // the first, so that responses and coherence have something to show. Written into both
  // folders, as recording.dat with its header recording.inf.
  void WriteRecording() {
    std::string data;
    for (int i = 0; i < 65536; ++i) {
      const double a = 1e6 * std::sin(2 * M_PI * 128 * i / 2048.0);
      const double b = 3e5 * std::sin(2 * M_PI * 400 * i / 2048.0) + 0.2 * a;
      for (double v : {a, b}) {
        const auto u = static_cast<uint32_t>(static_cast<int32_t>(std::lround(v)));
        for (int j = 0; j < 4; ++j) data.push_back(static_cast<char>(u >> (8 * j)));
      }
    }
    const std::string header = Cp1251(
        "Сбор-непрерывный. Старт-свободный.\nN=131072 Fs=2048 Nch=2\nL=1024 T=64\n"
        "Вход Чувств. Ед/отсчет Уровень Ед.\n 0 100.0 0.001 1e-05 м/с^2\n 3 50.5 0.002 .5 Па\n");
    for (const char* side : {"/gui", "/batch"}) {
      std::ofstream(root_ + side + "/recording.dat", std::ios::binary) << data;
      std::ofstream(root_ + side + "/recording.inf", std::ios::binary) << header;
    }
  }

  // The line in both programs; both must succeed and leave the same files.
  void ExpectSameResults(const std::vector<std::string>& line) {
    std::vector<std::string> gui = {VELTRA_BINARY, "--offscreen"};
    std::vector<std::string> batch = {VELTRA_BATCH_BINARY};
    gui.insert(gui.end(), line.begin(), line.end());
    batch.insert(batch.end(), line.begin(), line.end());
    const Outcome g = RunIn(root_ + "/gui", gui);
    const Outcome b = RunIn(root_ + "/batch", batch);
    ASSERT_EQ(g.status, 0) << g.err;
    ASSERT_EQ(b.status, 0) << b.err;
    int results = 0;
    for (const auto& e : fs::directory_iterator(root_ + "/batch")) {
      const std::string name = e.path().filename();
      if (name.rfind("r", 0) != 0) continue;  // result files only
      ++results;
      const fs::path other = fs::path(root_ + "/gui") / name;
      ASSERT_TRUE(fs::exists(other)) << name << " written by veltra-batch only";
      EXPECT_EQ(Slurp(e.path()), Slurp(other)) << name << " differs";
    }
    EXPECT_GE(results, 2);
  }

  std::string root_;
};

TEST_F(BatchTool, GeneratorRunsGiveTheProgramsFilesInEveryFunctionAndUnit) {
  const std::vector<std::string> common = {"--press", "GeneratorSwitch", "--set",
                                           "AveragesField=3"};
  const std::vector<std::vector<std::string>> lines = {
      // Spectra A and B in dB, then in RMS over octave bands.
      {"--run", "--save", "1=r1.txt", "--save", "2=r2.txt", "--set", "YUnitRing1=СКЗ", "--set",
       "XUnitRing1=Октавы", "--save", "1=r3.txt", "--save", "2=r4.csv"},
      // Noise through a Hamming window at 2048 Hz, 2048 lines, half overlap: cross spectrum in
      // phase and coherence.
      {"--set",    "WaveformRing=Гауссов шум",
       "--set",    "SampleRateRing=2048",
       "--set",    "FftSizeRing=2048",
       "--set",    "OverlapRing=0.5",
       "--set",    "WindowRing=Хэмминг",
       "--set",    "FunctionRing1=8",
       "--set",    "FormatRing1=Фаза",
       "--set",    "FunctionRing2=Когерентность",
       "--run",    "--save",
       "1=r1.txt", "--save",
       "2=r2.txt"},
      // Statistics: density and distribution of A, decimated to 256 Hz.
      {"--set", "MeasTypeRing=Статистика", "--set", "SampleRateRing=256", "--set", "BinsField=32",
       "--set", "FunctionRing1=21", "--set", "FunctionRing2=23", "--run", "--save", "1=r1.txt",
       "--save", "2=r2.txt"},
      // A liftered spectrum takes its cepstrum into the other window.
      {"--run", "--set", "FunctionRing1=Лифтр. спектр A", "--save", "1=r1.txt", "--save",
       "2=r2.txt"},
      // Synchronous time averaging, A integrated, its cepstrum and autocorrelation.
      {"--set", "MeasTypeRing=1", "--set", "DiffIntRingA=3", "--set", "FunctionRing1=17", "--set",
       "FunctionRing2=2", "--set", "FormatRing2=Модуль", "--run", "--save", "1=r1.txt", "--save",
       "2=r2.txt"},
  };
  for (const auto& l : lines) {
    std::vector<std::string> line = common;
    line.insert(line.end(), l.begin(), l.end());
    SCOPED_TRACE(l[1]);
    ExpectSameResults(line);
  }
}

TEST_F(BatchTool, PlaybackRunsGiveTheProgramsFiles) {
  WriteRecording();
  const std::vector<std::string> pick = {"--file",  "recording.dat", "--set",   "SourceRing=2",
                                         "--press", "InputButton0",  "--press", "InputButton3"};
  const std::vector<std::vector<std::string>> lines = {
      // The recorded inputs' spectra in their own units, then the response H1 of 3 to 0.
      {"--run", "--save", "1=r1.txt", "--save", "2=r2.txt", "--set", "FunctionRing1=10", "--set",
       "FormatRing1=Модуль", "--save", "1=r3.txt"},
      // Decimated by 2, 50 % overlap, window 2 alone shows the cepstrum of A.
      {"--set", "SampleRateRing=1024", "--set", "OverlapRing=0.5", "--set", "FunctionRing2=17",
       "--press", "WindowSel2", "--run", "--save", "2=r2.txt", "--save", "2=r2.csv"},
  };
  for (const auto& l : lines) {
    std::vector<std::string> line = pick;
    line.insert(line.end(), l.begin(), l.end());
    SCOPED_TRACE(l[1]);
    ExpectSameResults(line);
  }
}

TEST_F(BatchTool, RefusesWhatOnlyThePanelsDoBeforeAnythingRuns) {
  const std::string dir = root_ + "/batch";
  const struct {
    std::vector<std::string> line;
    const char* says;
  } refused[] = {
      {{"--run", "--grab", "p.png"}, "--grab"},
      {{"--run", "--save", "1=p.svg"}, "рисунок окна"},
      {{"--set", "CursorModeRing1=1"}, "только на панели"},
      {{"--set", "NoSuchRing=1"}, "нет элемента"},
      {{"--set", "FftSizeRing=1000"}, "не принимает"},
      // In playback a channel has no input until an input button gives it one.
      {{"--file", "none.dat", "--set", "SourceRing=2", "--set", "ChannelSwitchA=1"},
       "не принимает"},
  };
  for (const auto& r : refused) {
    std::vector<std::string> line = {VELTRA_BATCH_BINARY};
    line.insert(line.end(), r.line.begin(), r.line.end());
    const Outcome o = RunIn(dir, line);
    EXPECT_EQ(o.status, 2) << r.says;
    EXPECT_NE(o.err.find(r.says), std::string::npos) << o.err;
  }
  // Nothing was measured or written.
  EXPECT_TRUE(fs::is_empty(dir));
}

}  // namespace
