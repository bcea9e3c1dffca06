// Shared inside the result-window modules: the controls of each window and small helpers.
#pragma once

// Control ids of one result window on the main panel.
struct WindowControls {
  int graph, functionRing, formatRing, yUnitRing, xUnitRing, dbRangeRing, dbTopField;
  int integrationRing, cursorModeRing, gateToggle, memoryToggle, equalizeToggle, showMemoryToggle;
  int totalReadout, overloadLed;
};
const WindowControls& WindowCtrl(int w);

// Maximum and minimum of n values (both 0 for n < 1).
void ResultRange(const double* y, int n, double* mx, double* mn);
