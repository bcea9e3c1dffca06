// What the measurement reports to whoever runs it. The panels draw and pop up; the batch tool
// and the tests print or count. An entry left empty is ignored (a message then goes to
// standard error).
#pragma once

struct CoreEvents {
  void (*runStarted)();                                  // a run started (or restarted)
  void (*runStopped)();                                  // a run ended, for whatever reason
  void (*countChanged)(int averages);                    // frames averaged so far in this run
  void (*message)(const char* title, const char* text);  // for the operator to act on
  void (*status)(const char* text);                      // what was just done
  void (*resultsReady)(int withCursor);                  // new results wait to be shown
  void (*settingChanged)(int what);                      // the model bounded or chose a setting
  void (*sourceGap)();                                   // samples were lost: nothing joins across
  void (*autoRangeStep)();                               // a step of an auto-ranging pass is in
  // A raw step of interleaved counts (after the 7 guard bits) as it came from the source.
  void (*rawStep)(const int* block, int frames, int nchan, const int* inputs, int shift);
};

// What settingChanged names (bits).
enum : int {
  kChangedDelay = 1,      // sr.delay bounded to what the frame length allows
  kChangedRates = 2,      // the offered sample rates or the rate analysed
  kChangedAverages = 4,   // rcu.avgTarget set from a recording's length
  kChangedPretrig = 8,    // rcu.pretrig bounded to half a frame
  kChangedGeometry = 16,  // frame length or overlap moved to an allowed pair
  kChangedChannels = 32,  // channel inputs or switches
};

// Installs the handlers; the previous table is returned so that a test can put it back.
CoreEvents SetCoreEvents(const CoreEvents& events);

void NotifyRunStarted();
void NotifyRunStopped();
void NotifyCount(int averages);
void NotifyMessage(const char* title, const char* text);
void NotifyStatus(const char* text);
void NotifyResults(int withCursor);
void NotifySetting(int what);
void NotifySourceGap();
void NotifyAutoRangeStep();
void NotifyRawStep(const int* block, int frames, int nchan, const int* inputs, int shift);
