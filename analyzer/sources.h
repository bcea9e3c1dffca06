// The data sources as a table: each row starts, reads one timer step, stops and describes
// itself. The run control and the settings ask the row; none of them knows a source by number.
#pragma once

// What a source offers.
struct SourceInfo {
  double rate;  // its own sample rate, Hz, or 0 when it takes the rate the analysis asks for
};

struct DataSource {
  const char* text;  // as the source ring shows it
  bool ownRate;      // the analysis works at the source's rate or its decimations by 2, 4, 8
  bool recorded;     // inputs, calibration and the number of frames come from a recording
  bool generated;    // its signal comes from the generator, which must be switched on
  bool live;         // a device that keeps running between the steps
  int (*start)();    // 1 ready; 0 refused, the reason given to the operator
  int (*step)();     // one timer step; 1 when frames were processed (a run that ended in the
                     // step has reported its own results)
  void (*stop)();
  void (*describe)(SourceInfo* info);
};

// Rows in the order of the source ring: the front-end input, the generator, a recording.
constexpr int kSourceCount = 3;
extern const DataSource kSources[kSourceCount];

// The row of rcu.source (the generator's for a number outside the table).
const DataSource& Source();
// Stops every source that may hold a device or a file.
void StopSources();
// Seconds since the program started: the sources' clock.
double RunClock();
