// The front-end input source: live blocks from the capture device through collection,
// conditioning and averaging, as the generator's blocks go.
#pragma once

#include "analyzer/capture.h"

constexpr double kDefaultFullScale = 10.0;  // the converter's own full scale
constexpr double kMaxFullScale = 20.0;      // counts · 128 must stay inside 32 bits

// Opens the capture device for the channels' inputs at the analysis rate. 1 when running;
// 0 when refused (the run stopped, the reason reported).
int LiveStart();
// One timer step: every block the device has delivered; 1 when new results wait to be shown.
int LiveData();
void LiveStop();

// The capture device chosen (an ALSA name); the environment's VELTRA_CAPTURE_DEVICE wins.
extern char capture_device[kCaptureTextLen];
const char* CaptureDeviceName();
// Full scale of input `input` in volts (the calibration record's first reserved column).
double CaptureFullScale(int input);
// Sets it (0 < volts <= kMaxFullScale); 0 refused.
int SetCaptureFullScale(int inputNo, double volts);
// Device, rate and lost blocks of the last run, for the operator.
const char* LiveStatusText();
// Which channels have reached full scale in this run.
void LiveTakeClips(int clipped[2]);
int LiveLostBlocks();
// Makes the capture thread fail with err after afterFrames frames (tests).
void LiveInjectError(int err, long long afterFrames);

// While above 0, a step waits up to this many milliseconds for a whole block (scripted runs).
extern int live_wait_ms;
// Sets live_wait_ms; returns what it was.
int SetLiveWait(int ms);
