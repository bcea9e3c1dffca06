// The rows of the source table.
#include "analyzer/sources.h"

#include <chrono>

#include "analyzer/live.h"
#include "analyzer/menager.h"
#include "analyzer/model.h"

namespace {

const auto g_clockStart = std::chrono::steady_clock::now();

void NoStop() {}
void AnyRate(SourceInfo* info) { info->rate = 0.0; }
void RecordingRate(SourceInfo* info) {
  info->rate = fs.nrec > 0 && fs.srate > 0.0 ? fs.srate : 0.0;
}

}  // namespace

const DataSource kSources[kSourceCount] = {
    {"Вход ДКВ", false, false, false, true, LiveStart, LiveData, LiveStop, AnyRate},
    {"Генератор", false, false, true, false, StartGenerator, GeneratorStep, NoStop, AnyRate},
    {"Файл записи", true, true, false, false, StartPlayback, PlaybackStep, NoStop, RecordingRate},
};

const DataSource& Source() {
  return rcu.source >= 0 && rcu.source < kSourceCount ? kSources[rcu.source] : kSources[1];
}

double RunClock() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - g_clockStart).count();
}

void StopSources() {
  for (const DataSource& s : kSources) s.stop();
}
