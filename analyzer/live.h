// The front-end input as a data source: the signals of the front end's outputs, captured live
// through a capture device (analyzer/capture.h) and fed to the same collection, conditioning
// and averaging as the generator's blocks.
#pragma once

// Opens the capture device for a run (SetZero, source 0). 1 when it opened; otherwise the run
// is stopped, the reason shown, and 0 returned.
int LiveStart();
// One tick: every complete block the ring holds goes through collection and processing; the
// windows are drawn once. Stops the run with a message when the device is lost.
void LiveData();
// Closes the device (stop, exit, a new start). Safe when nothing is open.
void LiveStop();
// Fills the device ring from ALSA's device list, keeping the saved choice (start-up).
void InitCapturePanel();

// Device used for live input: VELTRA_CAPTURE_DEVICE when set, else the device ring's choice.
const char* CaptureDeviceName();
// Volts at device full scale for an input (kept in the calibration record; 10 V by default).
double CaptureFullScale(int input);
// Blocks lost to device overruns since the run started.
int LiveLostBlocks();
// Test hook: the capture's first device read after `afterFrames` frames fails with `err`
// (-EPIPE overrun, -ENODEV gone).
void LiveInjectError(int err, long long afterFrames);

// How long a tick may wait for a block, in ms. 0 (the timer-driven program): never waits.
// Scripted runs, whose ticks follow each other at once, set it so each tick finds data.
extern int live_wait_ms;
