// Functions of the table whose routines are not written yet: each computes nothing, so a window
// showing one keeps its last result. Whoever writes a routine deletes its line here.
#include "analyzer/cultivate1.h"

void AutoCorrelationA(ViewState*) {}
void AutoCorrelationB(ViewState*) {}
void Coherence(ViewState*) {}
void Signal_Noise(ViewState*) {}
void CoherPower(ViewState*) {}
void NonCohPower(ViewState*) {}
void CrossSpectrums(ViewState*) {}
void CrossCorrelat(ViewState*) {}
void FreqRespH1(ViewState*) {}
void FreqResp1_H1(ViewState*) {}
void FreqRespH2(ViewState*) {}
void FreqResp1_H2(ViewState*) {}
void Time_A(ViewState*) {}
void Time_B(ViewState*) {}
void TimeA_vs_B(ViewState*) {}
void CepstrumA(ViewState*) {}
void CepstrumB(ViewState*) {}
void LiftSpecA(ViewState*) {}
void LiftSpecB(ViewState*) {}
void ProbDensityA(ViewState*) {}
void ProbDensityB(ViewState*) {}
void ProbDistribA(ViewState*) {}
void ProbDistribB(ViewState*) {}
void TimeA(ViewState*) {}
void TimeB(ViewState*) {}
