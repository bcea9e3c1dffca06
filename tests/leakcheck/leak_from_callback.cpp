// Proves that the leak checker still sees our own code under the toolkit's event loop: a panel
// callback, reached from Qt's timer through the event loop, drops a block. The test passes
// only when LeakSanitizer reports it with the project's suppressions in force.
#include <cstdlib>

#include "analyzer/panels.h"
#include "ui/userint.h"

namespace {

int* volatile g_sink = nullptr;

int LeakyTick(int, int, int event, void*, int, int) {
  if (event != EVENT_TIMER_TICK) return 0;
  g_sink = new int[16]();  // forgotten below, as a careless callback would
  g_sink = nullptr;
  QuitUserInterface(0);
  return 0;
}

}  // namespace

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static char name[] = "leak-probe";
  static char* argv[] = {name, nullptr};
  static int argc = 1;
  InitUserInterface(&argc, argv);
  if (StartVeltra() < 0) return 2;
  InstallCtrlCallback(mainpanel, MAIN_TimerTick, LeakyTick, nullptr);
  SetCtrlAttribute(mainpanel, MAIN_TimerTick, ATTR_ENABLED, 1);
  RunUserInterface();
  return 0;
}
