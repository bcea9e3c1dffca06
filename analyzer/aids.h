// What helps the operator work the panels: the status line, the input-mode rings beside the
// coefficient fields, the front-end link status, hints on every control, the help page and the
// keyboard shortcuts.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "analyzer/panels.h"

// The main panel's status line shows `text`; warn = 1 shows it in red.
void ShowStatus(const char* text, int warn = 0);

// Channel k's (0 = A, 1 = B) input-mode ring shows the mode of the input feeding it.
void ShowInputMode(int k);

// The front-end panel's link status: the port, whether the link is open, how many modules
// answered (answered < 0: not tried yet) and the last error.
void ShowLinkStatus(int answered);

// A warning in the status line when the generator's tone lies outside the analysed band
// (above half the sample rate it is seen at its alias); the line is cleared otherwise.
void CheckGeneratorBand();

// Hints on every control and the shortcuts of the main panel; run once the panels are loaded.
void InitAids();

// The shortcuts, as the help page and README list them: key and what it does.
struct Shortcut {
  const char* keys;
  const char* role;
  const char* what;
};
extern const Shortcut kShortcuts[];
extern const int kShortcutCount;

// The hint of a role (empty when it has none).
const char* HintOf(const char* role);
