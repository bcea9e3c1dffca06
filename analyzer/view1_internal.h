// Shared inside the result-window modules: the controls of each window and small helpers.
#pragma once

// Control ids of one result window on the main panel.
struct WindowControls {
  int graph, functionRing, formatRing, yUnitRing, xUnitRing, dbRangeRing, dbTopField;
  int integrationRing, cursorModeRing, gateToggle, memoryToggle, equalizeToggle, showMemoryToggle;
  int totalReadout, overloadLed;
};
const WindowControls& WindowCtrl(int w);
// Whether a window showing `function` offers its gate toggle (time displays and cepstra).
bool GateOffered(int function);
// The window (0, 1) whose control of a pair sent an event, or -1.
int WindowOf(int control, int first, int second);

// Whether window w holds a reference taken of the function and format it shows now (a Y-unit
// change keeps such a reference: it is held both linear and in dB).
bool MemoryHeldForView(int w);

// Maximum and minimum of n values (both 0 for n < 1).
void ResultRange(const double* y, int n, double* mx, double* mn);
