// Settings of the measurement. Each setter checks its value, stores it, has DeriveModel derive
// what depends on it and restarts a running measurement, so that no run mixes two
// configurations. 1 when the value was taken; 0 when it was refused and the model is unchanged.
// No setter reads a control: the panels parse a control's value and call one setter.
#pragma once

// Rates of the generator's list (and of the live input, converted to them), fastest first.
constexpr int kGeneratorRates = 10;
extern const double kRateList[kGeneratorRates];
constexpr int kFrameLengths = 4;
constexpr int kOverlaps = 5;

// The one routine that writes the derived values: frame geometry (halfLen, lines, ovsamp), the
// base rate and decimation, fmax, df, dt, the delay bound and the axes. Moves a frame length and
// overlap pair the rate does not allow to the nearest allowed one.
void DeriveModel();
// The parts of the model no setting chooses: converter, anti-alias design, window arrays, the
// calibration of "Calibr.inf" (or its defaults), no run, no reference held.
void InitMeasurement();
// Frequency, time and lag axes for the current geometry.
void Axis();

// The rates offered for analysis (at most kGeneratorRates), into `out`; returns their count.
int OfferedRates(double* out);
// A rate as the sample-rate ring shows it ("8192 Гц").
void RateLabel(double rate, char* text, int size);
// The offered rate nearest `rate`, by ratio.
double NearestRate(double rate);

// A running measurement starts afresh; stopped results of an older geometry are void.
void RestartOrVoid();
// A running measurement starts afresh (later, while restarts are held).
void RestartIfRunning();
// Several settings made as one: a run restarts once, when the last hold is released, however
// many of them asked for it.
void HoldRestarts();
void ReleaseRestarts();

// All three at once, as a start-up finds them; nothing restarts.
int SetGeometry(double rate, int frameLen, double overlap);
// The front end's auto-ranging: pass 2 while its gains are measured (steps 0, 1, 2), 1 otherwise.
int SetAutoRanging(int pass, int step);
int SetSampleRate(double rate);
int SetFrameLength(int n);
int SetOverlap(double fraction);
int SetAverages(int n);
int SetExpAver(int exponential);
// Whether exponential averaging is offered (not for a loaded recording's counted frames).
bool ExpAverOffered();
// Trigger levels stay within the converter's ±10 V.
constexpr double kMaxLevelVolts = 10.0;
int SetDelay(int samples);
int StepDelay(int up);
int SetDiffInt(int k, int mode);
int SetWindowType(int type);
int SetBins(int bins);

// Generator.
int SetWaveform(int form);
int SetAmplitude(double mv);
int SetFrequency1(double hz);
int SetFrequency2(double hz);
int SetPulseWidth(int samples);
int SetGenerator(int on);

// Trigger.
int SetTriggerInput(int input);
int SetLevel(double volts);
int SetLevel2(double volts);
int SetSlope(int slope);
int SetPretrig(int samples);
// Level mode 0 … 5 (start by level, below, above, region, upper and lower hysteresis).
int SetLevelChoice(int mode);

// Channel k (0 A, 1 B): switched on or off; its input.
int SetChannelOn(int k, int on);
int SetChannelInput(int k, int input);

// Measurement type 0…3: the windows' functions, data window, overlap and collection follow, and
// what the operator chose under the type before comes back.
int SetMeasType(int type);
// Collection 0 continuous, 1 conditional; start 0 free, 1 external, 2 by level.
int SetCollect(int collect);
int SetStartChoice(int mode);
// Source (a row of the source table). A recording is loaded apart (LoadRecording).
int SetSource(int source);
