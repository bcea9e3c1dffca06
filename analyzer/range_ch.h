// Set-up of the analyzer's inputs: input mode per channel, the front-end module settings and
// their panel, auto-ranging of the module gains, and the units-per-count scale of each input.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

// Class of a coefficient field's text: 3 front end ("ДЖ", "дж"), 1 ICP ("ICP", "icp"),
// 0 a number (digits and points only, the empty text included), 2 anything else.
int ControlStr(const char* text);
// Input-mode selection and coefficient entry of channel A or B (commit on its coefficient field).
int SetRectif(int panel, int control, int event, void* callbackData, int eventData1,
              int eventData2);
// Makes input i a front-end channel and sends it the settings the front-end panel shows.
void SetAmplifir(int i);
// One auto-ranging step on the raw step in `adapt`.
void AutoAdaptation();
// A stopped run ends an auto-ranging pass that has not finished: the next start is an
// ordinary one, the overlap is restored and modules left at unity gain get their gains back.
void EndAutoRanging();
// hs.acdc of an AC-coupled input (the switch's AC side).
// Unity gain to the modules in use, gain 0 to the others.
void SetKp();
// Gains from the last raw step to the modules in use.
void KoefTransfer();
// Gain that brings the peak of the k-th interleaved channel of `adapt` to half the positive
// full scale; at most 250.
double KoefDKV(int k);
// Gain × 100 as the modules take it: truncated, without losing a unit to binary rounding
// (2.29 is 229, not 228).
int Gain100(double g);
// A path gain as its coefficient field shows it: fixed notation that reads back as exactly g
// (0.025 stays 0.025, 0.001 stays 0.001), at least two decimals.
constexpr int kCoefMaxDecimals = 60;
constexpr int kCoefTextLen = 128;
void CoefText(double g, char* text, int size);
