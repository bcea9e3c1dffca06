// The panel side of calibration: the channels' sensitivity, unit and level fields.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "analyzer/calibration.h"

// Shows channel k's input calibration (k 0 = A, 1 = B) and applies its sensitivity.
void SetParam_Calibr(int k);
// Selects in channel k's unit list the unit of `input` and applies it.
void SetDimension(int k, int input);
// Channel k's unit list, reference level and sensitivity fields show the calibration of
// `input` as it stands, committing nothing (a unit outside the seven gets its own list item).
void ShowChannelCalibration(int k, int input);
// Start-up pass over both channels once the panel state is restored.
void InitCalibration();
// Arrow increment of the sensitivity field for value x: 10^(floor(log10 x) − 4), at most 1.
double Incval(double x);
