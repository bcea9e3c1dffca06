#include "analyzer/notify.h"

#include <cstdio>

namespace {
CoreEvents g_events{};
}  // namespace

CoreEvents SetCoreEvents(const CoreEvents& events) {
  const CoreEvents was = g_events;
  g_events = events;
  return was;
}

void NotifyRunStarted() {
  if (g_events.runStarted) g_events.runStarted();
}

void NotifyRunStopped() {
  if (g_events.runStopped) g_events.runStopped();
}

void NotifyCount(int averages) {
  if (g_events.countChanged) g_events.countChanged(averages);
}

void NotifyMessage(const char* title, const char* text) {
  if (g_events.message) {
    g_events.message(title, text);
  } else {
    std::fprintf(stderr, "[%s] %s\n", title, text);
  }
}

void NotifyStatus(const char* text) {
  if (g_events.status) g_events.status(text);
}

void NotifyResults(int withCursor) {
  if (g_events.resultsReady) g_events.resultsReady(withCursor);
}

void NotifySetting(int what) {
  if (g_events.settingChanged) g_events.settingChanged(what);
}

void NotifySourceGap() {
  if (g_events.sourceGap) g_events.sourceGap();
}

void NotifyAutoRangeStep() {
  if (g_events.autoRangeStep) g_events.autoRangeStep();
}

void NotifyRawStep(const int* block, int frames, int nchan, const int* inputs, int shift) {
  if (g_events.rawStep) g_events.rawStep(block, frames, nchan, inputs, shift);
}
