// The panel side of the result windows: drawing, the function, format and unit rings, the
// window callbacks and the axis labelling.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "analyzer/view1.h"

// Refills a ring with the labels whose flag is set (value = position) and selects `choice`, or,
// when choice is -1, the value the ring had; the first entry when that is no longer offered.
void RefillRing(int panel, int control, const char (*labels)[kItemText], const int* flags, int n,
                int choice = -1);

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
