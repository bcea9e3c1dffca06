// The analyzer's panels, offscreen, for fuzz targets that go through start-up or a run; popups
// are answered at once.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "analyzer/panels.h"
#include "fuzz_settings_files.h"
#include "ui/userint.h"

inline std::string& FuzzFileAnswer() {
  static std::string answer;
  return answer;
}

inline int AnswerPopup(int kind, const char*, const char*, char* answer, int answerSize, void*) {
  if (kind == POPUP_CONFIRM) return VAL_YES;
  if (kind == POPUP_FILE_SELECT) {
    if (FuzzFileAnswer().empty() || answerSize <= 0) return VAL_NO_FILE_SELECTED;
    std::strncpy(answer, FuzzFileAnswer().c_str(), static_cast<std::size_t>(answerSize - 1));
    answer[answerSize - 1] = '\0';
    return VAL_EXISTING_FILE_SELECTED;
  }
  return 0;
}

// Runs once: the toolkit offscreen, the working directory the scratch folder of the inputs.
inline void FuzzUserInterface() {
  static bool done = false;
  if (done) return;
  done = true;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static char name[] = "veltra-fuzz";
  static char* argv[] = {name, nullptr};
  static int argc = 1;
  InitUserInterface(&argc, argv);
  const std::string& any = FuzzScratchFile("x");
  if (chdir(any.substr(0, any.rfind('/')).c_str()) != 0) std::abort();
  SetPopupHandler(AnswerPopup, nullptr);
}
