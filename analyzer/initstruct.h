// Start-up of the panels: item tables read from the panels' rings, the saved panel state, and
// every control pushed through its own callback so that the model equals what the panels show.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "analyzer/model.h"

void InitialStruct();
void InitHard();
void InitTrigger();
void InitStructures();
// Start-up: the geometry the rings show becomes the model's.
void SetParamAnalysis();
void ColorKnobCh();
// The collection and start rings show the model's modes (and the trigger panel its level mode).
void ShowCollect();
// Shows input number n as both texts of a channel switch (the switch carries its channel).
void ShowChannelNumber(int control, int n);
// Item readers: each checks a ring of the panels against the core's item texts.
// Rings (function rings included) whose items disagree with the core's, counted at load.
int ItemMismatches();
void GetCollectItem();
void GetFunctionItem();
void GetTriggerMode();
void GetWeightItem();
void GetCursorsItem();
void GetExtentionItem();
void GetRunSetup();
void GetWeightSetup();
void GetItemRank();
void GetItemOverlap();
void GetRingY();
void GetRingX();
