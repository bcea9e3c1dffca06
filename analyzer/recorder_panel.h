// The recorder on the main panel ("Запись", RecordButton with RecordFileBox), the export of a
// loaded recording to WAV/FLAC (ExportButton) and the full-scale voltage of sound files
// (FullScaleField).
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

// One step of the running source for the recorder, when a recording is armed: `frames`
// records of `nchan` interleaved values; column c holds input inputs[c], and a value shifted
// right by `shift` is the converter count playback would deliver. The recording keeps every
// distinct input once, in column order; it starts with the first step and stops (with a
// message) when the rate or the inputs change.
void RecordStep(const int* block, int frames, int nchan, const int* inputs, int shift);
// The generator's step (half: A/B interleaved, taken by collection shifted right by 7).
void RecordGeneratorStep();
// After the panel state is restored: no recording is armed from a former session, and the
// full-scale voltage shown is the one used.
void InitRecorderControls();
// Ends an armed recording: the writer finishes, the header states the records on disk; any
// failure is shown. Nothing when no recording is armed.
void StopRecording();
// The source lost samples (a device overrun): a recording spliced across the gap would lie about
// its time, so an armed recording ends here with a message. Nothing when none is armed.
void EndRecordingAtGap();
