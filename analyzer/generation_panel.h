// The panel side of the generator: its controls, dimmed as the waveform and the source need.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "analyzer/generation.h"

// Enables or dims the generator's controls for the chosen waveform.
void ViewHideKnob();
// flag 1 (playback): dims every generator control; 0 enables them again.
void ViewHideGen(int flag);
// Start-up: limits and values of the generator controls pushed through their callbacks.
void InitStructWaver();
