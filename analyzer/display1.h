// Window presentation: the cursor readouts, harmonic and side-band markers and band totals of
// the two result windows, zoom by cursors, and the layout of the panel for the window selection.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "analyzer/view1.h"

constexpr int kMaxHarmonics = 32;  // harmonic markers per window
constexpr int kMaxComb = 100;      // comb lines per window
constexpr int kSideBandTexts = 3;
constexpr int kBandTexts = 5;
constexpr int kMarkerColor = 0xFFFFFF;  // markers, highlights and extra cursors are white
constexpr int kNoCursor = -1;

// Plot handles of the markers (0 = none), per window.
extern int hg[kWindows][kMaxHarmonics];    // harmonic lines
extern int hl[kWindows][kMaxHarmonics];    // harmonic labels
extern int sbl[kWindows][kSideBandTexts];  // side-band measurement texts
extern int sdindx[kWindows][kMaxComb];     // comb line indices
extern int sb_g[kWindows];                 // band highlight
extern int sb_l[kWindows][kBandTexts];     // band readout texts

// ---- readouts and markers (w = 0, 1; k = line index)
void CtrlCursors(int w);
void SetText(int w, int k);
void SetTextCursor(int w, int k);
// The readout of line k of window w as SetText writes it (empty when there is none).
void CursorText(int w, int k, char* buf, int bufSize);
void ViewHarmonics(int w, int k);
void SetSideBand(int w);
void ReadSideBand(int w);
void ViewSideBand(int w);
double GetTotal(int w);
double GetDtot(int w, int lo, int hi);
void SetCursorsZoom(int w);
void DeltaSideBandSetup(int w);
// Forgets (and deletes) every marker of window w; markCount becomes 0.
void ClearSideBandMarks(int w);
// After window w was drawn anew: the measuring cursor moves onto the point of the new trace
// nearest to where it stood and the readout shows that point's value; a cursor that stands
// on a different axis or outside the new trace is removed and its readout cleared.
void RefreshCursor(int w);
// Clears window w's readout (no cursor placed).
void ClearReadout(int w);

// ---- layout
void SetFormat();
