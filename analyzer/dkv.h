// The DKV5128 front end as the analyzer sees it: the link to the control library, the settings
// of the eight amplifier modules, and the file "dkv5128.inf" that keeps them between runs.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "frontend/DKV5120Lib.h"

constexpr int kAmplifiers = 8;
constexpr int kDkvFileSize = 128;    // 8 records of four little-endian int32
constexpr int kLowPassCodes = 8;     // items of the front-end panel's low-pass selector
constexpr int kHighPassCodes = 4;    // items of its high-pass selector
constexpr int kMaxGain100 = 100000;  // gain 1000.00, the gain field's limit

// One module: in use by channel A or B, gain × 100, filter codes.
struct AmplifRecord {
  int on;
  int gain100;
  int lpfcode;
  int hpfcode;
};

extern AmplifRecord amplif[kAmplifiers];
// The open link as the panels know it (set when a connect's outcome is taken); null until the
// operator connects the front end. Only the link's worker calls the library with it.
extern DeviceLink* dev5128;
// [0] front-end panel handle, [1] unused, [2] frame overlap kept while auto-ranging runs.
extern int dkv[3];

// The link runs on a worker thread (dkv_link.h); these are its user-interface side.
// Gain and filter commands for input i's module (address i + 1), queued in the order given;
// nothing is sent while no link is open or being opened.
void SendGain5128(int input, int gain100);
void SendLPF5128(int input, int code);
void SendHPF5128(int input, int code);
// Commands and connects queued or running whose outcome the panels have not taken yet.
int LinkPending5128();
// A run restarted for new gains that the modules have not taken yet is restarted once more
// when they have, so no frame mixes gains.
void RestartWhenLinkSettles();
// Takes the worker's reports: the front-end panel's progress line, the cable messages, dev5128.
void DrainLink5128();
// Waits until the worker has run everything queued, then takes its reports.
void WaitLink5128();
// Waits at most a second for the link's queued work, then closes the link (at exit).
void Close5128();

// Low-pass 6, high-pass 0, gain 1.00, not in use.
void AmplifDefaults(AmplifRecord* r);
// "dkv5128.inf" in the working directory: 1 on success, 0 on failure. A failed read leaves
// every record at its defaults.
int SaveParamDKV5128();
int GetParamDKV5128OfFile();
int SaveParamDKV5128To(const char* path);
int GetParamDKV5128From(const char* path);
// 1 when a record holds values the module and the panel can take.
int AmplifValid(const AmplifRecord& r);
