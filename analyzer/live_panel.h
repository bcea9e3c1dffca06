// The panel side of the live input: the device ring and full-scale field, the status line and
// the overload lamps.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "analyzer/live.h"

void InitCapturePanel();
// After a step: the status line and the overload lamps.
void ShowLiveState(int drawn);
