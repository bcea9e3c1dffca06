// The model without panels, for tests of the analysis routines: the geometry of frames of n
// samples at `rate` (no decimation), both windows bound to the result arrays and showing plain
// line spectra in power, channels A and B on inputs 0 and 1 with default calibration.
#pragma once

#include "analyzer/calibration.h"
#include "analyzer/initstruct.h"
#include "analyzer/view1.h"

namespace veltra_test {

inline void PlainModel(int n, double rate) {
  cus.frameLen = n;
  cus.halfLen = n / 2;
  cus.lines = static_cast<int>(n / 2.56) + 1;
  cus.srate = rate;
  cus.thin = 1;
  dbuf.nframe = n;
  sp.df = rate / n;
  sp.dt = 1.0 / rate;
  for (int i = 0; i < n; ++i) time_ch[i] = i * sp.dt;
  for (int j = 0; j < cus.lines; ++j) x_band[j] = j * sp.df;
  for (int w = 0; w < kWindows; ++w) {
    vs[w] = ViewState{};
    vs[w].workRe = rt + w * kResultHalf;
    vs[w].workIm = it + w * kResultHalf;
    vs[w].yData = resY + w * kResultHalf;
    vs[w].xData = resX + w * kResultHalf;
    vs[w].calib = &cch;
    vs[w].xUnit = kXLines;
    vs[w].yUnit = kYPower;
    vs[w].format = -1;
  }
  rcu.chanA = 0;
  rcu.chanB = 1;
  CalibrDefaultsInput(0);
  CalibrDefaultsInput(1);
}

}  // namespace veltra_test
