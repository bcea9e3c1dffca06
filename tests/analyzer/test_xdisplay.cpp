// The program on a real X display (a virtual frame buffer): started as a person starts it, the
// generator switched on, ПУСК pressed, and the picture of its window holding the spectra.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::string FindProgram(const char* name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t at = 0;
  while (at <= dirs.size()) {
    const size_t end = dirs.find(':', at);
    const std::string dir =
        dirs.substr(at, end == std::string::npos ? std::string::npos : end - at);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return "";
}

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            posix_spawn_file_actions_t* actions) {
  std::vector<char*> argv, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], actions, nullptr, argv.data(), envp.data()) != 0) return -1;
  return pid;
}

// Waits for a child; -1 when it has not ended within `seconds` (it is then killed). A guard
// against a hang, not a measure of speed.
int WaitFor(pid_t pid, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    usleep(100000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

// Pixels of a colour family inside a rectangle of the picture.
int Count(const QImage& image, QRect r, bool (*is)(QRgb)) {
  int n = 0;
  r = r.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += is(image.pixel(x, y)) ? 1 : 0;
  return n;
}

}  // namespace

TEST(XDisplay, StartedProgramDrawsTheGeneratorsSpectrum) {
  const std::string xvfb = FindProgram("Xvfb");
  if (xvfb.empty()) {
    GTEST_SKIP()
        << "Xvfb is not installed (Debian package xvfb, listed in scripts/install-deps.sh): "
           "no X display to start the program on";
  }
  // The server tells its display number through a pipe once it accepts clients.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const pid_t server = Spawn({xvfb, "-displayfd", std::to_string(fds[1]), "-screen", "0",
                              "1600x1000x24", "-nolisten", "tcp"},
                             {"PATH=/usr/bin:/bin"}, &actions);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  ASSERT_GT(server, 0);
  std::string display;
  char c = 0;
  while (read(fds[0], &c, 1) == 1 && c != '\n') display += c;
  close(fds[0]);
  if (display.empty()) {
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    GTEST_SKIP() << "Xvfb did not start here";
  }

  char dirTemplate[] = "/tmp/veltra-x-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;
  const std::string picture = dir + "/panel.png";
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  std::vector<std::string> env = {"DISPLAY=:" + display, "QT_QPA_PLATFORM=xcb", "HOME=" + dir,
                                  "XDG_RUNTIME_DIR=" + dir};
  for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "PATH", "LANG"}) {
    const char* v = std::getenv(keep);
    if (v == nullptr) continue;
    std::string value = v;
    // libxkbcommon-x11 duplicates keymap names with strndup from buffers that are not
    // NUL-terminated, which is correct but trips the sanitizer's strict string checks.
    const std::string strict = "strict_string_checks=1";
    if (const size_t at = value.find(strict); at != std::string::npos)
      value.replace(at, strict.size(), "strict_string_checks=0");
    env.push_back(std::string(keep) + "=" + value);
  }
  const pid_t program = Spawn({VELTRA_BINARY, "--press", "GeneratorSwitch", "--set",
                               "AveragesField=4", "--run", "--grab", picture, "--quit"},
                              env, &actions);
  posix_spawn_file_actions_destroy(&actions);
  ASSERT_GT(program, 0);
  const int status = WaitFor(program, 240);
  kill(server, SIGTERM);
  WaitFor(server, 30);
  EXPECT_EQ(status, 0);

  QImage image(QString::fromStdString(picture));
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  ASSERT_FALSE(image.isNull()) << "no picture of the window";
  // Window 1 draws channel A's spectrum in yellow, window 2 channel B's in cyan, on black.
  const QRect graph1(460, 74, 776, 320), graph2(460, 468, 776, 320);
  auto yellow = [](QRgb p) { return qRed(p) > 180 && qGreen(p) > 180 && qBlue(p) < 90; };
  auto cyan = [](QRgb p) { return qRed(p) < 90 && qGreen(p) > 180 && qBlue(p) > 180; };
  auto black = [](QRgb p) { return qRed(p) < 16 && qGreen(p) < 16 && qBlue(p) < 16; };
  EXPECT_GT(Count(image, graph1, yellow), 300);
  EXPECT_GT(Count(image, graph2, cyan), 300);
  EXPECT_GT(Count(image, graph1, black), graph1.width() * graph1.height() / 4) << "a plot area";
}
