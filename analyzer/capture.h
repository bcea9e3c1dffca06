// Live input from an ALSA capture device.
//
// A capture thread reads the device, takes the two device channels that feed channels A and B,
// converts the device rate to the analysis rate with libsoxr where they differ, scales device
// full scale to each channel's full-scale voltage in converter counts, and fills a bounded ring.
// The measurement tick drains the ring (CaptureRead) and never waits on the device. A device
// overrun (xrun) leaves a gap mark in the ring at the place where samples are missing, so the
// reader never joins samples across it. No user-interface code here: the caller shows the texts.
#pragma once

#include <cstdint>

// Counts of the 24-bit, 20 V converter: ±2^23 counts = ±10 V.
constexpr double kCaptureCountsPer10V = 8388608.0;
constexpr int kCaptureMaxInputs = 8;
constexpr int kCaptureTextLen = 256;

struct CaptureSource;  // one open device with its thread and ring

struct CaptureRequest {
  const char* device;        // ALSA PCM name ("default", "hw:1,0", a name from ~/.asoundrc)
  double rate;               // analysis rate, Hz
  int inputs[2];             // device channel (0 … 7) feeding channel A, B; -1: channel unused
  double fullScaleVolts[2];  // volts at device full scale for A, B
  unsigned deviceRate;       // 0: the lowest rate the device offers at or above `rate`
  int ringFrames;            // ring capacity in frames; 0: two seconds at the analysis rate
};

enum CaptureResult : int {
  kCaptureOk = 0,
  kCaptureOpenFailed,   // the device could not be opened or set up
  kCaptureNoInput,      // a requested input is beyond the device's channels
  kCaptureNoRate,       // no usable rate at or above the analysis rate
  kCaptureNoConverter,  // the rate converter could not be created
};

struct CaptureStats {
  unsigned deviceRate;  // rate the device runs at
  int deviceChannels;   // channels the device was opened with
  int converting;       // 1 when libsoxr converts deviceRate to the analysis rate
  long long frames;     // frames delivered into the ring (analysis rate)
  int gaps;             // overruns: places where samples are missing
  int clipped[2];       // 1 when a full-scale sample arrived on A / B since the last call
  int lost;             // 1 once the device failed for good (unplugged, stalled)
  char lostReason[kCaptureTextLen];  // why, in Russian, when lost
  double threadCpuSeconds;           // CPU time the capture thread has used so far
};

// Opens the device and starts the capture thread. On failure returns the reason and writes a
// Russian message naming the device into `message`; *out is then null.
int CaptureStart(const CaptureRequest& req, CaptureSource** out, char* message, int messageSize);
// Stops the thread and closes the device (null is accepted).
void CaptureStop(CaptureSource* s);

// Copies up to maxFrames interleaved A/B frames (converter counts) into dst without waiting.
// Stops short of a gap: when the next frame follows missing samples, returns 0 with *gap = 1
// (the mark is consumed). Otherwise *gap = 0.
int CaptureRead(CaptureSource* s, int32_t* dst, int maxFrames, int* gap);
// Frames waiting in the ring (gaps not counted).
int CaptureAvailable(CaptureSource* s);
// Waits until `frames` are waiting, the device is lost, or timeoutMs passed. For scripted
// runs, whose ticks follow each other without the timer.
void CaptureWait(CaptureSource* s, int frames, int timeoutMs);
// Counters and state; clears the clip flags.
void CaptureGetStats(CaptureSource* s, CaptureStats* st);

// Capture devices ALSA knows (device hints with an input side), "default" first.
// Returns the number of names written (at most maxNames).
int CaptureDeviceNames(char (*names)[kCaptureTextLen], int maxNames);

// Test hook: the thread's first device read once `afterFrames` frames have been delivered fails
// with `err` after taking its chunk (-EPIPE: an overrun, the chunk is lost; -ENODEV: the device
// is gone).
void CaptureInjectError(CaptureSource* s, int err, long long afterFrames);
