// The analyzer's panels for the benchmarks that run it: loaded once per program, offscreen, in a
// scratch working directory, so no settings file of wherever the benchmark runs shapes the
// geometry. Popups are answered at once.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "analyzer/panels.h"
#include "ui/userint.h"

namespace bench {

inline int IgnorePopup(int, const char*, const char*, char*, int, void*) { return 0; }

// Created on first use and removed with what the benchmarks left in it when the program ends.
inline const std::string& ScratchDir() {
  static char path[] = "/tmp/veltra-bench-XXXXXX";
  static const std::string dir = [] {
    if (mkdtemp(path) == nullptr) return std::string();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    });
    return std::string(path);
  }();
  return dir;
}

// Starts the analyzer the first time; every call installs `popups`. False when it cannot run.
inline bool StartAnalyzer(PopupHandlerPtr popups = IgnorePopup) {
  static const bool started = [] {
    if (ScratchDir().empty() || chdir(ScratchDir().c_str()) != 0) return false;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static int argc = 1;
    InitUserInterface(&argc, argv);
    return StartVeltra() == 0;
  }();
  if (started) SetPopupHandler(popups, nullptr);
  return started;
}

inline void Set(const char* role, const char* value) {
  int panel = 0, control = 0;
  if (FindCtrlByRole(role, &panel, &control) == 0) UserSetCtrlVal(panel, control, value);
}

inline void Press(const char* role) {
  int panel = 0, control = 0;
  if (FindCtrlByRole(role, &panel, &control) == 0) UserPressCtrl(panel, control);
}

}  // namespace bench
