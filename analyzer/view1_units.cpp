// Units, dB and axes of the result windows. The data stay in converter counts (counts²); the
// physical scale reaches the graph only as an axis gain, except for dB, which changes the data.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "analyzer/calibration.h"
#include "analyzer/iirfilter.h"
#include "analyzer/view1.h"
#include "analyzer/view1_internal.h"
#include "dsp/dsp.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kIntegrationFloorHz = 0.159;  // about 1/(2π): integration held constant below
constexpr double kOverloadCounts = 11898734.0;
// Absolute floor when a whole trace is 0: −200 dB relative to one count².
constexpr double kAbsFloor = 1e-20;

}  // namespace

void ResultRange(const double* y, int n, double* mx, double* mn) {
  if (n < 1) {
    *mx = *mn = 0.0;
    return;
  }
  int imax = 0, imin = 0;
  MaxMin1D(y, n, mx, &imax, mn, &imin);
}

void XYUnit(ViewState* v, double factor) {
  switch (v->xUnit) {
    case kXLines: AxisX_Band(v); break;
    case kXOctave: AxisX_Oktave(v); break;
    case kXThird: AxisX_Oktave_3(v); break;
    default: break;
  }
  switch (v->yUnit) {
    case kYRms: AxisY_Unit(v); break;
    case kYPower: ResultRange(v->yData, v->count, &v->yMax, &v->yMin); break;
    case kYDensity: AxisY_Density(v); break;
    case kYDb: AxisY_dB(v, factor); break;
    default: break;
  }
}

void AxisX_Band(ViewState* v) {
  const int n = v->count < kMaxLines ? v->count : kMaxLines;
  for (int i = 0; i < n; ++i) v->xData[i] = x_band[i];
  v->xMin = 0.0;
  v->xMax = cus.lines >= 1 ? x_band[cus.lines - 1] : 0.0;
}

void AxisY_Unit(ViewState* v) {
  for (int i = 0; i < v->count; ++i) v->yData[i] = std::sqrt(v->yData[i] > 0.0 ? v->yData[i] : 0.0);
  v->yScale = std::sqrt(v->yScale);
  ResultRange(v->yData, v->count, &v->yMax, &v->yMin);
}

void AxisY_Density(ViewState* v) {
  // A line holds the power within the window's noise bandwidth, enbw·Δf wide; band sums have
  // that bandwidth divided out already.
  const bool bands = v->xUnit == kXOctave || v->xUnit == kXThird;
  const double enbw = !bands && WC.enbw > 0.0 ? WC.enbw : 1.0;
  const double k = sp.df > 0.0 ? 1.0 / (enbw * sp.df) : 0.0;
  for (int i = 0; i < v->count; ++i) v->yData[i] *= k;
  ResultRange(v->yData, v->count, &v->yMax, &v->yMin);
}

void AxisY_dB(ViewState* v, double factor) {
  v->yScale = 1.0;
  double mx, mn;
  ResultRange(v->yData, v->count, &mx, &mn);
  // The floor is 1e-20 of the maximum; a trace without any positive value takes an absolute one.
  const double floor = mx > 0.0 && std::isfinite(mx) ? kDbFloor * mx : kAbsFloor;
  if (!(mn > floor)) mn = floor;
  for (int i = 0; i < v->count; ++i) {
    double y = v->yData[i];
    if (!(y >= mn)) y = mn;  // catches NaN as well
    if (!std::isfinite(y)) y = std::numeric_limits<double>::max();
    v->yData[i] = factor * std::log10(y) + v->dbOffset;
  }
  ResultRange(v->yData, v->count, &v->yMax, &v->yMin);
  if (v->dbRange != 0) {
    v->yMax = v->dbTop;
    v->yMin = v->dbTop - v->dbRange;
  } else {
    v->dbTop = v->yMax;
  }
}

void UnitWD_dB(ViewState* v, double factor) {
  if (v->yUnit == kYLinear)
    v->yMin = 0.0;
  else if (v->yUnit == kYDb)
    AxisY_dB(v, factor);
}

void Integrations(ViewState* v) {
  if (v->integration != 1 && v->integration != 2) return;
  const int n = cus.lines;
  const double df = sp.df;
  if (n < 1 || !(df > 0.0)) return;
  for (int i = 1; i < n; ++i) {
    const double w2 = (kTwoPi * i * df) * (kTwoPi * i * df);
    v->yData[i] /= v->integration == 1 ? w2 : w2 * w2;
  }
  const double lowest = kIntegrationFloorHz / df;
  const int d = lowest < n - 1 ? static_cast<int>(lowest) : n - 1;
  const double hold = v->yData[d];
  for (int i = 0; i <= d; ++i) v->yData[i] = hold;
}

int CallRange(double x) {
  if (!std::isfinite(x)) return 1;
  char text[32];
  std::snprintf(text, sizeof text, "%1.1e", std::fabs(x));
  const char* e = std::strchr(text, 'e');
  const int exponent = e ? std::atoi(e + 1) : 0;
  const int digits = exponent < 0 ? -exponent + 1 : 1;
  return digits > 15 ? 15 : digits;
}

void TimeAxisUnit(double to, double* factor, const char** unit) {
  const double a = std::fabs(to);
  if (a >= 1.0) {
    *factor = 1.0;
    *unit = "с.";
  } else if (a >= 0.001) {
    *factor = 1000.0;
    *unit = "мс.";
  } else if (a >= 1e-6) {
    *factor = 1e6;
    *unit = "мкс.";
  } else {
    *factor = 1.0;
    *unit = "с.";
  }
}

int Overloaded(double rms) {
  if (!std::isfinite(rms)) return 1;
  return std::trunc(rms) > kOverloadCounts ? 1 : 0;
}

void TotText(int w, char* buf, int bufSize) {
  const int inputNo = ChannelInput(w);
  const double power = ChannelPower(w);
  const double mean = ChannelMean(w);
  const double rms = std::sqrt(power > 0.0 ? power : 0.0);
  const double scale = ChannelScale(inputNo);
  const char* unit = ChannelUnit(inputNo);
  const char* name = w == 0 ? "Sa" : "Sb";
  if (rcu.measType == 2)
    std::snprintf(buf, bufSize, "%s = %1.3e, ср.=%1.3e, %s", name, rms * scale, mean * scale, unit);
  else
    std::snprintf(buf, bufSize, "%s = %1.3e, %s", name, rms * scale, unit);
}
