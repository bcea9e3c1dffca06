// Triggering and frame collection (circular buffer → wave) and the conditioning chain that
// turns a frame of counts into the analysis frames Rx / Ry: anti-alias filtering, decimation,
// frames cut from the decimated streams with overlap and inter-channel delay, and
// differentiation or integration.
#pragma once

// One collection step: 1 when a frame waits in wave (dbuf.nframe samples per channel).
int Collection();

// The collect-run modes; each returns 1 when it left a frame in wave.
int DataToWave();
int StartATrigg();
int Analog_Trigger();
int LowValueTrigger();
int HighValueTrigger();
int InsideRegion();
int HighHisteresis();
int LowHisteresis();

// Conditioning chain. Each returns 1 when a frame was formed in ca / cb.
int FilterArry();
int IIRFilter();
int Thinning();
int DataFormer();
// Derives settle, offA, offB and need from sr.delay for the current frame length.
void SetSetupDelay();
// Largest inter-channel delay whose frames still fit the decimated streams.
int MaxStreamDelay();
// Bounds sr.delay to what the current frame length allows (settingChanged reports a change).
void BoundDelay();
// The delay as time at the current sample interval ("…,мс", or "…,сек" beyond a second).
void DelayText(char* text, int size);
int DifIntegrTime();
void Differ_(int n, double x[]);
void Integr_Centrir(int n, double x[]);
