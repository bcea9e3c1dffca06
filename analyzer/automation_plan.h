// The automation command line: actions that drive the measurement as a person would, in the
// order given. The program with panels and the batch tool read the same line.
#pragma once

#include <string>
#include <vector>

// Ticks a --run waits at most for its measurement to end.
constexpr long kMaxRunTicks = 200000;
constexpr long kMaxTicks = 10000000;

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

// --run: starts a counted run with `startRun` unless one is running, ticks it with `tick` until
// it ends by itself, and checks it reached its target. 0, or 3 with the reason in *error.
int RunToEnd(void (*startRun)(), void (*tick)(), std::string* error);
