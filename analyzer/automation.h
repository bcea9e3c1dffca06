// Command-line automation: actions that drive the panels as a person would, in the order given,
// so measurements can be scripted and run headless.
#pragma once

#include <string>
#include <vector>

struct AutomationAction {
  enum Kind { Set, Press, File, Ticks, Run, Save, Grab, Quit, Get } kind;
  std::string role;   // Set, Press, Get
  std::string value;  // Set: the value; File, Save, Grab: the path
  long number = 0;    // Ticks: how many; Save: the window 1 or 2
};

struct AutomationPlan {
  bool offscreen = false;
  bool help = false;
  std::vector<AutomationAction> actions;
  bool HasQuit() const;
};

// Parses the command line. 0 when it is valid; otherwise 2 with the reason in *error.
int ParseAutomation(int argc, const char* const* argv, AutomationPlan* plan, std::string* error);
// Usage text for --help.
const char* AutomationUsage();
// After the panels are loaded: every role of the plan names a control. 0, else 2 and *error.
int CheckAutomationRoles(const AutomationPlan& plan, std::string* error);
// Installs the popup handler (popups to standard error, file dialogs answered by --file) and
// runs the actions. 0 when all succeeded; otherwise the exit status, the reason in *error.
int RunAutomation(const AutomationPlan& plan, std::string* error);
// Popups seen by the handler since RunAutomation began, "title: text" each (for tests).
const std::vector<std::string>& AutomationPopups();
