// The analyzer's entry: panels, start-up, then either the person's event loop or the actions
// given on the command line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "analyzer/automation.h"
#include "analyzer/menager_panel.h"
#include "analyzer/panels.h"
#include "ui/userint.h"

int main(int argc, char** argv) {
  AutomationPlan plan;
  std::string error;
  if (ParseAutomation(argc, argv, &plan, &error) != 0) {
    std::fprintf(stderr, "veltra: %s\n", error.c_str());
    return 2;
  }
  if (plan.help) {
    std::fputs(AutomationUsage(), stdout);
    return 0;
  }
  if (plan.offscreen) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  // Our options are not the toolkit's: it sees the program name only.
  static char* uiArgv[] = {argv[0], nullptr};
  static int uiArgc = 1;
  InitUserInterface(&uiArgc, uiArgv);
  if (StartVeltra() < 0) return -1;

  if (!plan.actions.empty()) {
    int status = CheckAutomationRoles(plan, &error);
    if (status == 0) status = RunAutomation(plan, &error);
    if (status != 0) {
      std::fprintf(stderr, "veltra: %s\n", error.c_str());
      return status;
    }
    if (plan.HasQuit()) return 0;
  }
  // Headless, there is nobody to work the panels once the actions are done.
  if (plan.offscreen) return 0;
  SetPopupHandler(nullptr, nullptr);
  // Playback may use 60 % of each 0.05 s step; the rest keeps the panels responsive.
  SetTickBudget(0.03);
  RunUserInterface();
  return 0;
}
