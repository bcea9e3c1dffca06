// The measurement's settings by the role names of the panels' controls, for a command line
// without panels: each role parses its value as the panel's control takes it (an item's value
// or its text, a number within the control's limits, 0 or 1 for a switch) and calls one setter.
#pragma once

#include <string>

// The model as the program's first start in a folder without saved panels gives it: the panels'
// own defaults, the calibration of "Calibr.inf" when there is one, no run.
void InitModel();

struct MeasureRole {
  const char* role;
  // 1 taken; 0 refused (value not offered or out of limits, or the control would be dimmed).
  int (*set)(const char* value);
  int (*press)();        // a button pressed; nullptr when the role is no button
  std::string (*get)();  // what the control shows; nullptr when nothing
};

// The role of that name, or nullptr when the core has none (a control of the panels only).
const MeasureRole* FindMeasureRole(const char* role);

// The answer to the next file dialog (the recording a source change to playback loads).
void QueueFileAnswer(const char* path);
void ClearFileAnswers();

// Item texts of the panels' rings, the model's item tables filled from them.
void FillItemTables();

// The windows the panels would draw now (rcu.winsel) are evaluated, as a redraw does.
void EvaluateShownWindows();
