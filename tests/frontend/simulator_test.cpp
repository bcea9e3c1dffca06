// The simulated unit the other tests and the users rely on: its reading of the
// protocol, and the dkv5128-sim program run as a user runs it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "frontend/DKV5120Lib.h"
#include "frontend/DeviceLink.h"
#include "frontend_test_util.h"

extern char** environ;

namespace {

std::string Feed(dkvsim::SimUnit& unit, const std::string& wire) {
  std::string out;
  for (char c : wire) dkvsim::SimFeed(unit, static_cast<unsigned char>(c), out);
  return out;
}

TEST(SimulatedUnit, AnswersOnlyWellFormedFramesForItsModules) {
  dkvsim::Options options;
  options.modules[2].status = 8;
  dkvsim::SimUnit unit;
  dkvsim::SimInit(unit, options, nullptr);
  EXPECT_EQ(Feed(unit, "$02STATE;"), "$02STATE;#8;");
  EXPECT_EQ(Feed(unit, "noise;$03GAIN250;"), "$03GAIN250;");
  EXPECT_EQ(unit.modules[3].gain100, 250);
  EXPECT_EQ(Feed(unit, "$09GAIN1;$00GAIN1;"), "");             // no module there
  EXPECT_EQ(Feed(unit, "$03GA\nIN7;$03GAIN8;"), "$03GAIN8;");  // garbled frame dropped
  EXPECT_EQ(Feed(unit, "$03ECHO0;$03GAIN9;"), "");             // echo off, still obeyed
  EXPECT_EQ(unit.modules[3].gain100, 9);
  EXPECT_EQ(Feed(unit, "$03ECHO1;"), "$03ECHO1;");
  EXPECT_EQ(Feed(unit, "$03STATE;"), "$03STATE;#0;");
}

TEST(SimulatedUnit, NoiseIsControlBytesOnly) {
  dkvsim::Options options;
  options.noiseBytes = 50;
  dkvsim::SimUnit unit;
  dkvsim::SimInit(unit, options, nullptr);
  const std::string out = Feed(unit, "$01LPF2;");
  ASSERT_EQ(out.size(), 50u + 8u);
  for (std::size_t i = 0; i < 50; ++i) EXPECT_LT(static_cast<unsigned char>(out[i]), 0x20) << i;
  EXPECT_EQ(out.substr(50), "$01LPF2;");
}

// The program beside this test binary in the build tree.
std::string SimulatorPath() {
  char self[PATH_MAX] = {};
  if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return {};
  std::string dir(self);
  dir.erase(dir.rfind('/'));
  dir.erase(dir.rfind('/') + 1);
  return dir + "tools/dkv5128-sim";
}

TEST(SimulatorProgram, PrintsTheLineThatPointsTheLibraryAtIt) {
  const std::string program = SimulatorPath();
  if (::access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << program;
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("--status-at"),
                  const_cast<char*>("4=9"), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::FILE* text = ::fdopen(out[0], "r");
  ASSERT_NE(text, nullptr);

  std::string path;
  char line[512];
  while (path.empty() && std::fgets(line, sizeof line, text) != nullptr) {
    const std::string s(line);
    if (s.rfind("DKV5120_COM1=", 0) == 0) path = s.substr(13, s.size() - 14);
  }
  ASSERT_FALSE(path.empty());
  fetest::MapPort(6, path.c_str());
  DeviceLink* link = DKV5120LibCreate(5);
  ASSERT_NE(link, nullptr);
  dkv::exportReplyWindowMs = 10000;  // a hang guard: both answers are expected
  EXPECT_EQ(DKV5120LibInit(link, 4, 1), 9);
  EXPECT_EQ(DKV5120LibSetGain(link, 4, 250), 2);
  dkv::exportReplyWindowMs = 200;
  DKV5120LibClose(link);

  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  std::string log;
  while (std::fgets(line, sizeof line, text) != nullptr) log += line;
  std::fclose(text);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(log.find("04: gain 2.50"), std::string::npos) << log;
  EXPECT_NE(log.find("04: status -> 9"), std::string::npos) << log;
}

TEST(SimulatorProgram, KeepsAFileThatStandsWhereItsLinkShouldGo) {
  const std::string program = SimulatorPath();
  if (::access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << program;
  char path[] = "/tmp/dkv5128-link-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "keep", 4), 4);
  ::close(fd);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("--link"), path, nullptr};
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  // It must refuse and end; one that took the path would serve until stopped.
  int status = 0;
  const bool ended = fetest::WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; });
  if (!ended) {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, &status, 0);
  }
  EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) == 1);

  char text[8] = {};
  const int again = ::open(path, O_RDONLY);
  ASSERT_GE(again, 0);
  EXPECT_EQ(::read(again, text, sizeof text), 4);
  ::close(again);
  ::unlink(path);
  EXPECT_STREQ(text, "keep");
}

}  // namespace
