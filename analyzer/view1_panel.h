// The panel side of the result windows: drawing, the function, format and unit rings, the
// window callbacks and the axis labelling.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "analyzer/view1.h"

int ViewResult(int w);
int ViewGraph(int w);
// Both windows' traces, markers and readouts removed: what they showed belongs to settings
// that no longer hold.
void ClearResults();
// Function selection of window w with function i (what FunctW1/FunctW2 do on commit).
void SelectFunction(int w, int i);
// The controls of window w show the function, gate, integration, format and units it shows.
void ShowWindow(int w);
// The gate toggles as the data window type allows them.
void ShowWindowType();
void SetFunctionMeas(int type);
void GetFunctionItem();
// Items of the panel's function ring whose text is not the table's (0 when they agree).
int FunctionRingMismatches();
void SetExtentionFunction(int w);
void SetCursorsItem(int w);
void LabelOkt(int w, int nb, int step);
void AxisX(int w);
void AxisY(int w);
void LabelAxixY(int w);
void LabelX_(int w);
void LabelBand(int w);
void LabelTime(int w);
void SetTot(int w);
