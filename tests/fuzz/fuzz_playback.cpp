// A recording (header and data) as any bytes, played through the panels as an operator would:
// it is refused with a message or played to its end; a run never reads beyond the data.
#include <algorithm>

#include "analyzer/initstruct.h"
#include "fuzz_ui_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzUserInterface();
  static bool started = false;
  if (!started) {
    if (StartVeltra() != 0) std::abort();
    started = true;
  }
  // First byte: the header's length in bytes / 2; then the header, then the data.
  const std::size_t headerLen = size > 0 ? std::min<std::size_t>(2u * data[0], size - 1) : 0;
  const std::uint8_t* header = data + (size > 0 ? 1 : 0);
  WriteFuzzFile("rec.inf", header, headerLen);
  const std::size_t rest = size > 0 ? size - 1 - headerLen : 0;
  FuzzFileAnswer() = WriteFuzzFile("rec.dat", header + headerLen, rest);
  UserSetCtrlVal(mainpanel, MAIN_SourceRing, "2");
  UserPressCtrl(mainpanel, MAIN_InputButton0);
  UserPressCtrl(mainpanel, MAIN_InputButton1);
  UserSetCtrlVal(mainpanel, MAIN_StartButton, "1");
  for (int i = 0; i < 8 && start == 1; ++i) {
    UserFireEvent(mainpanel, MAIN_TimerTick, EVENT_TIMER_TICK, 0, 0);
  }
  if (start == 1) UserSetCtrlVal(mainpanel, MAIN_StartButton, "0");
  UserSetCtrlVal(mainpanel, MAIN_SourceRing, "1");
  return 0;
}
