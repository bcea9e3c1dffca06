// The panel side of the extra views: their traces, the spectrogram image and the readouts.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "analyzer/views.h"

// Peak-hold and confidence traces over window w's trace.
void DrawViewTraces(int w);
// Window w's spectrogram in place of its trace: 1 when drawn, 0 when the trace is to be drawn.
int DrawSpectrogram(int w);
// Shows, fills or hides window w's distortion readout.
void ShowDistortion(int w);
// Appends the delta-cursor text to a readout of line k1 when cursor 2 is placed.
void AppendDelta(int w, int k1, char* text, int size);
