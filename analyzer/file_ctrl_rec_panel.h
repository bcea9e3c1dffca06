// The panel side of recordings: the recording dialog and the recorded inputs' buttons.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "analyzer/file_ctrl_rec.h"

// Playback's channel-selection controls: hidden (and released) for the other sources, shown
// with the loaded recording's inputs enabled for playback.
void HideSelectCh();
void ViewSelectCh();
// The recording dialog: the dialog's result when cancelled (below 1), else InputInfFile's.
int InputDataFiles();
// The panel's loading: LoadRecording, then the panel shows the recording.
int InputInfFile();
