// Axis labelling of the result windows: ticks, precisions, gains and the totals' readouts.
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
#include "analyzer/view1_panel.h"
#include "dsp/dsp.h"
#include "ui/userint.h"

namespace {

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

void LabelTime(int w) {
  double step;
  if (!StartStringAxis(w, &step)) return;
  ViewState* v = &vs[w];
  const int graph = WindowCtrl(w).graph;
  double factor;
  const char* unit;
  TimeAxisUnit(v->viewXTo, &factor, &unit);
  RoundTicks(w, factor,
             [](double t, char* text, int size) { std::snprintf(text, size, "%1.1f", t); });
  InsertAxisItem(mainpanel, graph, VAL_BOTTOM_XAXIS, -1, unit,
                 v->viewXFrom + 8 * step - 0.05 * step);
  v->relabelled = 1;
}

void SetTot(int w) {
  char text[128];
  TotText(w, text, sizeof text);
  const WindowControls& c = WindowCtrl(w);
  SetCtrlVal(mainpanel, c.overloadLed, 0);
  if (Overloaded(ChannelRms(w))) SetCtrlVal(mainpanel, c.overloadLed, 1);
  SetCtrlVal(mainpanel, c.totalReadout, text);
}

void LabelOkt(int w, int nb, int step) {
  ViewState* v = &vs[w];
  if (v->labXFrom == v->xMin && v->labXTo == v->xMax) return;
  const int graph = WindowCtrl(w).graph;
  v->labXFrom = v->viewXFrom;
  v->labXTo = v->viewXTo;
  SetAxisScalingMode(mainpanel, graph, VAL_BOTTOM_XAXIS, VAL_MANUAL, v->viewXFrom, v->viewXTo);
  SetCtrlAttribute(mainpanel, graph, ATTR_XUSE_LABEL_STRINGS, 1);
  SetCtrlAttribute(mainpanel, graph, ATTR_XAXIS_GAIN, 1.0);
  ClearAxisItems(mainpanel, graph, VAL_BOTTOM_XAXIS);
  SetCtrlAttribute(mainpanel, graph, ATTR_XDIVISIONS, nb > 0 ? nb : 1);
  char text[32];
  for (int t = 0, m = 0; t < nb && m < kOktCentres; t += step, ++m) {
    if (x_okt[m] < 1000.0)
      std::snprintf(text, sizeof text, "%1.1f", x_okt[m]);
    else
      std::snprintf(text, sizeof text, "%1.1f k", x_okt[m] / 1000.0);
    InsertAxisItem(mainpanel, graph, VAL_BOTTOM_XAXIS, -1, text, t);
  }
  InsertAxisItem(mainpanel, graph, VAL_BOTTOM_XAXIS, -1, "Σ", nb);
  v->relabelled = 1;
}
