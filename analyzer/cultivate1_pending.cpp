// Functions of the table whose routines are not written yet: each computes nothing, so a window
// showing one keeps its last result. Whoever writes a routine deletes its line here.
#include "analyzer/cultivate1.h"

void CepstrumA(ViewState*) {}
void CepstrumB(ViewState*) {}
void LiftSpecA(ViewState*) {}
void LiftSpecB(ViewState*) {}
void ProbDensityA(ViewState*) {}
void ProbDensityB(ViewState*) {}
void ProbDistribA(ViewState*) {}
void ProbDistribB(ViewState*) {}
