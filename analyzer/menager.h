// Run control and the measurement cycle: start checks and per-run set-up, the timer-driven step
// from the data source to the result windows, stop, and the end of the program.
#pragma once

// 1 when the run started, 0 when refused (its message shown, the start button reset).
int SetZero();
// Ends a run: start button off, timer off, start = 0.
void StopMeass();
// Ends a counted run from the averaging step: StopMeass, then redraws the selected windows.
void StopAveraging();
// The per-step data paths of the generator and of playback.
int SimulationData();
void DataOfFile();
// Conditions and processes every frame the step completes; 1 when at least one was processed.
int PreparationData();
void CollectRunMode();
int SetStartMode();
int Number_ChForTrigger();
void AllocBuff();
void ZeroView();
// Redraws the windows named by rcu.winsel (with their cursor readouts).
void RedrawWindows(int withCursor);
// While deferred, redraws are only noted: a scripted run computes units, bands and plots once,
// when it ends, instead of at every step. Ending the deferral draws what was noted.
void DeferRedraw(bool deferred);
// Playback reads as many frames in one timer step as fit `seconds` (0: one frame a step, as
// scripted ticks count them), so a recording is looked through as fast as the machine allows
// while the panels stay responsive.
void SetTickBudget(double seconds);
// Completes or undoes a settings save a kill interrupted; run before the settings are read.
void RecoverSettingsFiles();
