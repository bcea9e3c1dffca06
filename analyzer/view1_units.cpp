// Units, dB and axes of the result windows. The data stay in converter counts (counts²); the
// physical scale reaches the graph only as an axis gain, except for dB, which changes the data.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "analyzer/calibration.h"
#include "analyzer/iirfilter.h"
#include "analyzer/panels.h"
#include "analyzer/view1.h"
#include "analyzer/view1_internal.h"
#include "dsp/dsp.h"
#include "ui/userint.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kIntegrationFloorHz = 0.159;  // about 1/(2π): integration held constant below
constexpr double kOverloadCounts = 11898734.0;
// Absolute floor when a whole trace is 0: −200 dB relative to one count².
constexpr double kAbsFloor = 1e-20;

void FrequencyLabel(double f, char* text, int size) {
  if (f >= 1000.0)
    std::snprintf(text, size, "%1.1f k", f / 1000.0);
  else
    std::snprintf(text, size, "%1.1f", f);
}

// A round step near `rough`: 1, 2, 2.5, 4 or 5 times a power of ten.
double NiceStep(double rough) {
  if (!(rough > 0.0) || !std::isfinite(rough)) return 1.0;
  const double p = std::pow(10.0, std::floor(std::log10(rough)));
  for (double m : {1.0, 2.0, 2.5, 4.0, 5.0}) {
    if (m * p >= rough * 0.999) return m * p;
  }
  return 10.0 * p;
}

// Labels at round values of the visible range (label = x·factor), the last well clear of the
// unit text at the right end.
template <typename Format>
void RoundTicks(int w, double factor, Format format) {
  const ViewState* v = &vs[w];
  const int graph = WindowCtrl(w).graph;
  const double from = v->viewXFrom * factor, to = v->viewXTo * factor;
  const double step = NiceStep((to - from) / 8.0);
  if (!(step > 0.0) || !std::isfinite(step)) return;
  char text[32];
  // A range a few ulps wide has a step t += step cannot add: the count bounds the loop.
  int count = 0;
  for (double t = std::ceil(from / step - 1e-9) * step; t <= to - 0.6 * step && count < 64;
       t += step, ++count) {
    format(std::fabs(t) < 1e-9 * step ? 0.0 : t, text, static_cast<int>(sizeof text));
    InsertAxisItem(mainpanel, graph, VAL_BOTTOM_XAXIS, -1, text, t / factor);
  }
}

// The layout shared by the frequency and time axes: label strings, manual scaling over the
// visible range, 8 divisions. False when the visible range is already labelled.
bool StartStringAxis(int w, double* step) {
  ViewState* v = &vs[w];
  if (v->viewXFrom == v->labXFrom && v->viewXTo == v->labXTo) return false;
  const int graph = WindowCtrl(w).graph;
  v->labXFrom = v->viewXFrom;
  v->labXTo = v->viewXTo;
  *step = (v->viewXTo - v->viewXFrom) / 8.0;
  SetCtrlAttribute(mainpanel, graph, ATTR_XUSE_LABEL_STRINGS, 1);
  SetAxisScalingMode(mainpanel, graph, VAL_BOTTOM_XAXIS, VAL_MANUAL, v->viewXFrom, v->viewXTo);
  SetCtrlAttribute(mainpanel, graph, ATTR_XDIVISIONS, 8);
  SetCtrlAttribute(mainpanel, graph, ATTR_XAXIS_GAIN, v->xScale);
  ClearAxisItems(mainpanel, graph, VAL_BOTTOM_XAXIS);
  return true;
}

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

void AxisX(int w) {
  ViewState* v = &vs[w];
  if (!v->zoomed) {
    v->viewXFrom = v->xMin;
    v->viewXTo = v->xMax;
  }
  switch (v->xUnit) {
    case kXLines: LabelBand(w); break;
    case kXOctave:
      v->plotStyle = kPlotBarsByIndex;
      LabelOkt(w, v->count - 1, 1);
      break;
    case kXThird:
      v->plotStyle = kPlotBarsByIndex;
      LabelOkt(w, v->count - 1, 3);
      break;
    case kXTime: LabelTime(w); break;
    default: LabelX_(w); break;
  }
}

void AxisY(int w) {
  ViewState* v = &vs[w];
  if (!v->zoomed) {
    v->viewYFrom = v->yMin;
    v->viewYTo = v->yMax;
  }
  LabelAxixY(w);
}

void LabelAxixY(int w) {
  ViewState* v = &vs[w];
  const WindowControls& c = WindowCtrl(w);
  double dFrom, dTo, tol;
  if (v->yUnit == kYDb) {
    tol = 0.025;
    dFrom = std::fabs(v->viewYFrom - v->labYFrom);
    dTo = std::fabs(v->viewYTo - v->labYTo);
    v->labYFrom = v->viewYFrom;
    v->labYTo = v->viewYTo;
  } else {
    tol = 0.01;
    const double span = v->yScale * (v->viewYTo - v->viewYFrom);
    const double from = v->viewYFrom * v->yScale, to = v->viewYTo * v->yScale;
    if (span != 0.0 && std::isfinite(span)) {
      dFrom = std::fabs((from - v->labYFrom) / span);
      dTo = std::fabs((to - v->labYTo) / span);
    } else {
      // A silent channel: relabel only when the (empty) range itself moved.
      dFrom = from == v->labYFrom ? 0.0 : 1.0;
      dTo = to == v->labYTo ? 0.0 : 1.0;
    }
    v->labYFrom = from;
    v->labYTo = to;
  }
  if (dFrom <= tol && dTo <= tol) return;
  const double step = v->yScale * (v->viewYTo - v->viewYFrom) / 4.0;
  SetCtrlAttribute(mainpanel, c.graph, ATTR_YPRECISION, CallRange(step));
  SetCtrlAttribute(mainpanel, c.graph, ATTR_YDIVISIONS, 0);  // round values, chosen by the ticker
  SetCtrlAttribute(mainpanel, c.graph, ATTR_YAXIS_OFFSET, 0.0);
  SetAxisScalingMode(mainpanel, c.graph, VAL_LEFT_YAXIS, VAL_MANUAL, v->viewYFrom, v->viewYTo);
  SetCtrlAttribute(mainpanel, c.graph, ATTR_YAXIS_GAIN, v->yScale);
  if (v->dbRange == 0 && v->yUnit == kYDb) SetCtrlVal(mainpanel, c.dbTopField, v->dbTop);
  v->relabelled = 1;
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

void LabelX_(int w) {
  ViewState* v = &vs[w];
  const double div = std::fabs((v->viewXTo - v->viewXFrom) / 8.0);
  if (!(std::fabs(v->viewXFrom - v->labXFrom) > 0.1 * div ||
        std::fabs(v->viewXTo - v->labXTo) > 0.1 * div))
    return;
  const int graph = WindowCtrl(w).graph;
  v->labXFrom = v->viewXFrom;
  v->labXTo = v->viewXTo;
  SetCtrlAttribute(mainpanel, graph, ATTR_XUSE_LABEL_STRINGS, 0);
  SetCtrlAttribute(mainpanel, graph, ATTR_XPRECISION,
                   CallRange(v->xScale * (v->viewXTo - v->viewXFrom) / 8.0));
  SetAxisScalingMode(mainpanel, graph, VAL_BOTTOM_XAXIS, VAL_MANUAL, v->viewXFrom, v->viewXTo);
  SetCtrlAttribute(mainpanel, graph, ATTR_XDIVISIONS, 8);
  SetCtrlAttribute(mainpanel, graph, ATTR_XAXIS_GAIN, v->xScale);
  v->relabelled = 1;
}

void LabelBand(int w) {
  double step;
  if (!StartStringAxis(w, &step)) return;
  ViewState* v = &vs[w];
  const int graph = WindowCtrl(w).graph;
  RoundTicks(w, 1.0, FrequencyLabel);
  InsertAxisItem(mainpanel, graph, VAL_BOTTOM_XAXIS, -1, "Гц",
                 v->viewXFrom + 8 * step - 0.05 * step);
  v->relabelled = 1;
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

void LabelTime(int w) {
  double step;
  if (!StartStringAxis(w, &step)) return;
  ViewState* v = &vs[w];
  const int graph = WindowCtrl(w).graph;
  double factor;
  const char* unit;
  TimeAxisUnit(v->viewXTo, &factor, &unit);
  RoundTicks(w, factor, [](double t, char* text, int size) { std::snprintf(text, size, "%1.1f", t); });
  InsertAxisItem(mainpanel, graph, VAL_BOTTOM_XAXIS, -1, unit,
                 v->viewXFrom + 8 * step - 0.05 * step);
  v->relabelled = 1;
}

int Overloaded(double rms) {
  if (!std::isfinite(rms)) return 1;
  return std::trunc(rms) > kOverloadCounts ? 1 : 0;
}

void TotText(int w, char* buf, int bufSize) {
  const int input = w == 0 ? rcu.chanA : rcu.chanB;
  const double power = w == 0 ? sp.powerA : sp.powerB;
  const double mean = w == 0 ? sp.meanA : sp.meanB;
  const double rms = std::sqrt(power > 0.0 ? power : 0.0);
  const double scale = ChannelScale(input);
  const char* unit = ChannelUnit(input);
  const char* name = w == 0 ? "Sa" : "Sb";
  if (rcu.measType == 2)
    std::snprintf(buf, bufSize, "%s = %1.3e, ср.=%1.3e, %s", name, rms * scale, mean * scale, unit);
  else
    std::snprintf(buf, bufSize, "%s = %1.3e, %s", name, rms * scale, unit);
}

void SetTot(int w) {
  char text[128];
  TotText(w, text, sizeof text);
  const WindowControls& c = WindowCtrl(w);
  SetCtrlVal(mainpanel, c.overloadLed, 0);
  if (Overloaded(w == 0 ? hs.rmsA : hs.rmsB)) SetCtrlVal(mainpanel, c.overloadLed, 1);
  SetCtrlVal(mainpanel, c.totalReadout, text);
}
