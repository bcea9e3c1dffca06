// The panel side of run control: the timer tick, the start and exit buttons, the drawing of the
// result windows, and the panels' answers to what the measurement reports.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "analyzer/menager.h"

// Redraws the windows named by rcu.winsel (with their cursor readouts).
void RedrawWindows(int withCursor);
// While deferred, redraws are only noted: a scripted run computes units, bands and plots once,
// when it ends, instead of at every step. Ending the deferral draws what was noted.
void DeferRedraw(bool deferred);
// Completes or undoes a settings save a kill interrupted; run before the settings are read.
void RecoverSettingsFiles();
// The panels become the measurement's listeners: they draw, count and pop up what it reports.
void InstallPanelEvents();
// The controls that show derived settings show the model's values.
// Colours the channel switch whose input is `number` as the trigger source; returns number
// when one of the two channels carries it, else -1.
int SortTriggCh(int number);
// The delay in samples and as time at the current sample interval.
void ShowDelay();
void ShowRates();
void ShowGeometry();
void ShowAverages();
