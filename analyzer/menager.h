// Run control and the measurement cycle: start checks and per-run set-up, the step of each
// source from its data to the averages, and stop.
#pragma once

// 1 when the run started, 0 when refused (its message given, the run stopped).
int SetZero();
// Ends a run: start = 0, the sources stopped, runStopped reported.
void StopMeass();
// Ends a counted run from the averaging step: StopMeass, then the results are reported ready.
void StopAveraging();
// The per-step data paths of the generator and of playback.
int SimulationData();
void DataOfFile();
// Conditions and processes every frame the step completes; 1 when at least one was processed.
int PreparationData();
void CollectRunMode();
int SetStartMode();
int Number_ChForTrigger();
// The input itself when channel A or B carries it, else -1.
int TriggerInputOf(int input);
void AllocBuff();
void ZeroView();
// Playback reads as many frames in one timer step as fit `seconds` (0: one frame a step, as
// scripted ticks count them), so a recording is looked through as fast as the machine allows
// while the panels stay responsive.
void SetTickBudget(double seconds);

// Rows of the source table for the generator and playback.
int StartGenerator();
int GeneratorStep();
int StartPlayback();
int PlaybackStep();
