// Cursor readouts, harmonic markers, side-band measurement and band totals of the result windows.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "analyzer/calibration.h"
#include "analyzer/display1.h"
#include "analyzer/iirfilter.h"
#include "analyzer/panels.h"
#include "analyzer/view1_internal.h"
#include "analyzer/view1_panel.h"
#include "analyzer/views.h"
#include "analyzer/views_panel.h"
#include "ui/userint.h"

int hg[kWindows][kMaxHarmonics];
int hl[kWindows][kMaxHarmonics];
int sbl[kWindows][kSideBandTexts];
int sdindx[kWindows][kMaxComb];
int sb_g[kWindows];
int sb_l[kWindows][kBandTexts];

namespace {

constexpr const char* kFont = "NIAppMetaFont";
constexpr int kCombPointStyle = 11;
constexpr int kMinHarmonicLine = 10;  // the fundamental must lie above this line
constexpr int kPeakReach = 3;         // lines either side searched for the peak under the cursor

// The X unit each window's measuring cursor was placed on: its position means nothing on
// another axis.
int cursorAxis[kWindows] = {-1, -1};

int Graph(int w) { return WindowCtrl(w).graph; }
int Readout(int w) { return w == 0 ? MAIN_CursorReadout1 : MAIN_CursorReadout2; }
int SideBandToggle(int w) { return w == 0 ? MAIN_SideBandToggle1 : MAIN_SideBandToggle2; }

bool ValidLine(const ViewState& v, int k) {
  return k >= 0 && k < v.count && v.count <= kResultHalf;
}

void Forget(int w, int* handle) {
  if (*handle > 0) DeleteGraphPlot(mainpanel, Graph(w), *handle, VAL_DELAYED_DRAW);
  *handle = 0;
}

// The highest line within `reach` of k when it is a peak (no lower than its neighbours), else
// k: a harmonic cursor dropped beside a peak takes the peak.
int PeakNear(const ViewState& v, int k, int reach) {
  int best = k;
  for (int i = std::max(0, k - reach); i <= std::min(v.count - 1, k + reach); ++i)
    if (std::isfinite(v.yData[i]) && v.yData[i] > v.yData[best]) best = i;
  const bool peak = (best == 0 || v.yData[best - 1] <= v.yData[best]) &&
                    (best == v.count - 1 || v.yData[best + 1] <= v.yData[best]);
  return peak ? best : k;
}

// Line under cursor c of window w's graph, or -1.
int CursorLine(int w, int c) {
  int plot = -1, index = -1;
  GetGraphCursorIndex(mainpanel, Graph(w), c, &plot, &index);
  return ValidLine(vs[w], index) ? index : kNoCursor;
}

int Text(int w, double x, double y, const char* text) {
  return PlotText(mainpanel, Graph(w), x, y, text, kFont, vs[w].color, VAL_TRANSPARENT);
}

const char* YLabel(const ViewState& v) { return Yunit[v.yUnit >= 0 && v.yUnit < 7 ? v.yUnit : 0]; }
const char* XLabel(const ViewState& v) { return Xunit[v.xUnit >= 0 && v.xUnit < 7 ? v.xUnit : 0]; }

// Scale factor and dB offset of the input that feeds the spectrum a window shows; 0 for any
// other function.
void TotalScale(const ViewState& v, double* k, double* offset) {
  *k = *offset = 0.0;
  if (v.function != kFnSpectrumA && v.function != kFnSpectrumB) return;
  const int input = ChannelInput(v.function == kFnSpectrumA ? 0 : 1);
  *k = ChannelScale(input);
  *offset = ChannelDbOffset(input);
}

double Enbw() { return WC.enbw > 0.0 ? WC.enbw : 1.0; }

double Divisor(double bothWindows, double alone) { return rcu.winsel == 2 ? bothWindows : alone; }

// A band total that overflowed reads as the largest double, never as "inf" or "nan".
double Shown(double x) {
  if (std::isnan(x)) return 0.0;
  const double big = std::numeric_limits<double>::max();
  return x > big ? big : (x < -big ? -big : x);
}

}  // namespace

void ClearSideBandMarks(int w) {
  for (int& h : hg[w]) Forget(w, &h);
  for (int& h : hl[w]) Forget(w, &h);
  for (int& h : sbl[w]) Forget(w, &h);
  for (int& h : sb_l[w]) Forget(w, &h);
  Forget(w, &sb_g[w]);
  vs[w].markCount = 0;
}

void CursorText(int w, int k, char* buf, int bufSize) {
  buf[0] = '\0';
  const ViewState& v = vs[w];
  if (!ValidLine(v, k)) return;
  const double x = v.xData[k] * v.xScale, y = v.yData[k] * v.yScale;
  // A line without a number has nothing to read out.
  if (!std::isfinite(x) || !std::isfinite(y)) return;
  const char* yl = YLabel(v);
  switch (v.xUnit) {
    case kXReal:
      std::snprintf(buf, bufSize, "k= %d; X:= %1.3f,%s; Y:= %1.3f,%s", k, x, XLabel(v), y, yl);
      break;
    case kXAmplitude:
      std::snprintf(buf, bufSize, "k= %d; X:= %1.3f,%s; Y:= %1.3f,%s.", k, x, XLabel(v), y, yl);
      break;
    case kXLines:
      std::snprintf(buf, bufSize, "k= %d; X:= %1.2f,Гц; Y:= %1.3f,%s", k, x, y, yl);
      break;
    case kXTime: {
      const double end = std::fabs(v.xData[v.count - 1]);
      if (end >= 1.0)
        std::snprintf(buf, bufSize, "k= %d; X:= %1.3f,с; Y:= %1.3f,%s", k, x, y, yl);
      else if (end >= 0.001)
        std::snprintf(buf, bufSize, "k= %d; X:= %1.3f,мс.; Y:= %1.3f,%s", k, 1000.0 * x, y, yl);
      break;
    }
    case kXPhase:
      std::snprintf(buf, bufSize, "k = %d; X:= %1.2f,Град; Y:= %1.2f,%s", k, x, y, yl);
      break;
    case kXOctave:
    case kXThird:
      if (k < v.count - 1)
        std::snprintf(buf, bufSize, "k= %d; X:= %1.2f,Гц; Y:= %1.3f,%s", k, x, y, yl);
      else
        std::snprintf(buf, bufSize, "k= %d; Σ:= %1.3f,%s", k, y, yl);
      break;
    default: break;
  }
}

void SetText(int w, int k) {
  char text[256];
  CursorText(w, k, text, sizeof text);
  AppendDelta(w, k, text, sizeof text);
  SetCtrlVal(mainpanel, Readout(w), text);
}

void SetTextCursor(int w, int k) {
  if (w != 0 && w != 1) return;
  SetText(w, k);
  if (rcu.cursync != 1 || vs[0].count != vs[1].count) return;
  const int o = 1 - w;
  ViewState& other = vs[o];
  if (!ValidLine(other, k)) return;
  const double y = other.yData[k];
  if (!(y >= other.viewYFrom && y <= other.viewYTo)) return;
  const double x = other.plotStyle == kPlotBarsByIndex ? k : other.xData[k];
  SetGraphCursor(mainpanel, Graph(o), 1, x, y);
  other.cursorPoint = k;
  SetText(o, k);
}

void CtrlCursors(int w) {
  if (w != 0 && w != 1) return;
  ViewState& v = vs[w];
  switch (v.cursorMode) {
    case 0:
    case 1: {
      int k = CursorLine(w, 1);
      if (k == kNoCursor) return;
      if (v.cursorMode == 1 && v.plotStyle != kPlotBarsByIndex) {
        k = PeakNear(v, k, kPeakReach);
        SetGraphCursor(mainpanel, Graph(w), 1, v.xData[k], v.yData[k]);
      }
      SetTextCursor(w, k);
      v.cursorPoint = k;
      cursorAxis[w] = v.xUnit;
      SetCursorAttribute(mainpanel, Graph(w), 1, ATTR_CURSOR_VISIBLE, 1);
      if (v.cursorMode == 1) ViewHarmonics(w, k);
      break;
    }
    case 2: {
      int on = 0;
      GetCtrlVal(mainpanel, SideBandToggle(w), &on);
      if (on)
        ReadSideBand(w);
      else
        SetSideBand(w);
      break;
    }
    default: break;
  }
}

void ClearReadout(int w) { SetCtrlVal(mainpanel, Readout(w), ""); }

void RefreshCursor(int w) {
  if (w != 0 && w != 1) return;
  ViewState& v = vs[w];
  if (v.cursorMode > 1) {  // the side-band modes read out on the graph itself
    ClearReadout(w);
    return;
  }
  int k = kNoCursor;
  if (v.cursorPoint >= 0 && v.xUnit == cursorAxis[w] && v.count > 0 && v.count <= kResultHalf) {
    double x = 0.0, y = 0.0;
    GetGraphCursor(mainpanel, Graph(w), 1, &x, &y);
    const bool byIndex = v.plotStyle == kPlotBarsByIndex;
    double lo = byIndex ? 0.0 : std::fmin(v.xMin, v.xMax);
    double hi = byIndex ? v.count - 1.0 : std::fmax(v.xMin, v.xMax);
    // Half a step of slack at either end: the cursor stood on the old trace's end point.
    const double slack = v.count > 1 ? 0.5 * (hi - lo) / (v.count - 1) : 0.5;
    if (x >= lo - slack && x <= hi + slack) k = CursorLine(w, 1);
    if (k != kNoCursor && !(std::isfinite(v.yData[k]) && std::isfinite(byIndex ? 0.0 : v.xData[k])))
      k = kNoCursor;
    if (k != kNoCursor)
      SetGraphCursor(mainpanel, Graph(w), 1, byIndex ? k : v.xData[k], v.yData[k]);
  }
  v.cursorPoint = k;
  // A crosshair that stands on nothing would be read as part of the trace.
  SetCursorAttribute(mainpanel, Graph(w), 1, ATTR_CURSOR_VISIBLE, k == kNoCursor ? 0 : 1);
  if (k == kNoCursor) {
    ClearReadout(w);
    return;
  }
  SetText(w, k);
  if (v.cursorMode == 1) ViewHarmonics(w, k);
}

void ViewHarmonics(int w, int k) {
  ViewState& v = vs[w];
  // The markers always belong to the cursor's present line: none below the first lines.
  for (int& h : hg[w]) Forget(w, &h);
  for (int& h : hl[w]) Forget(w, &h);
  v.markCount = 0;
  // Markers at multiples of a frequency mean nothing on a band axis plotted by band number.
  if (!ValidLine(v, k) || k <= kMinHarmonicLine || v.plotStyle == kPlotBarsByIndex) return;
  const double h = (v.viewYTo - v.viewYFrom) / 25.0;
  const double f0 = v.xData[k];
  if (!(f0 > 0.0) || !std::isfinite(f0)) return;
  int n = 0;
  char label[48];
  const double df = v.count > 1 ? v.xData[1] - v.xData[0] : 0.0;
  for (double f = f0; f < v.viewXTo && n < kMaxHarmonics; f += f0) {
    hg[w][n] = PlotLine(mainpanel, Graph(w), f, v.viewYTo - h, f, v.viewYFrom + h, kMarkerColor);
    // The harmonic's level: the highest line next to its frequency.
    const int line = df > 0.0 ? static_cast<int>(std::lround((f - v.xData[0]) / df)) : -1;
    if (ValidLine(v, line)) {
      const int at = PeakNear(v, line, 1);
      std::snprintf(label, sizeof label, "%d: %.1f", n + 1, v.yData[at] * v.yScale);
    } else {
      std::snprintf(label, sizeof label, "%d", n + 1);
    }
    hl[w][n] = Text(w, f, v.viewYTo - h, label);
    ++n;
  }
  v.markCount = n;
}

void SetSideBand(int w) {
  ViewState& v = vs[w];
  const int i1 = CursorLine(w, 1), i4 = CursorLine(w, 4), i5 = CursorLine(w, 5);
  if (i1 == kNoCursor || i4 == kNoCursor || i5 == kNoCursor || v.count < 2) return;
  v.sbCentre = (i4 + i5) / 2;
  v.sbSpacing = std::abs(i4 - i5);
  v.sbBase = i1;
  int hx = std::max(std::max(i4, i5), i1) + 5;
  if (hx > v.count - 1) hx = v.count - 1;
  const double df = v.xData[1];
  const double h = (v.viewYTo - v.viewYFrom) / Divisor(10.0, 20.0);
  for (int& t : sbl[w]) Forget(w, &t);
  char text[64];
  std::snprintf(text, sizeof text, "dF=%1.2f,Гц;", df * v.sbSpacing);
  sbl[w][0] = Text(w, v.xData[hx], v.viewYTo - h, text);
  std::snprintf(text, sizeof text, "Fm=%1.2f,Гц", df * v.sbCentre);
  sbl[w][1] = Text(w, v.xData[hx], v.viewYTo - 2 * h, text);
  std::snprintf(text, sizeof text, "Fb=%1.2f,Гц.", df * v.sbBase);
  sbl[w][2] = Text(w, v.xData[hx], v.viewYTo - 3 * h, text);
}

void ViewSideBand(int w) {
  ViewState& v = vs[w];
  const int s = std::abs(v.sbCentre - v.sbBase);
  int r = v.sbBase;
  if (s > 0) {
    while (r > 0) r -= s;
    r += s;
  }
  sdindx[w][0] = r;
  ViewResult(w);
  if (s == 0 || v.count < 2) return;
  const double df = v.xData[1];
  int n = 0;
  while (n < kMaxComb && r < v.count && df * r < v.viewXTo) {
    PlotPoint(mainpanel, Graph(w), v.xData[r], v.yData[r], kCombPointStyle, kMarkerColor);
    sdindx[w][n++] = r;
    r += s;
  }
  v.markCount = n;
}

void ReadSideBand(int w) {
  ViewState& v = vs[w];
  if (v.count < 4) return;
  const double df = v.xData[1];
  const double h = (v.viewYTo - v.viewYFrom) / Divisor(10.0, 25.0);
  const int i1 = CursorLine(w, 1);
  if (i1 == kNoCursor) return;
  const int halfFrame = v.sbSpacing / 2;
  const int marks = v.markCount < kMaxComb ? v.markCount : kMaxComb;
  int lo = -1, hi = -1, m = 0;
  for (int j = 0; j < marks; ++j) {
    m = sdindx[w][j];
    const int a = m - halfFrame > 0 ? m - halfFrame : 0;
    // A band reaching the end of the result stops short of it.
    const int b = m + halfFrame > v.count - 1 ? v.count - 3 : m + halfFrame;
    if (i1 >= a && i1 <= b) {
      lo = a;
      hi = b;
      break;
    }
  }
  if (lo < 0 || hi < lo) return;
  const int graph = Graph(w);
  SetGraphCursor(mainpanel, graph, 4, v.xData[lo], v.yData[lo]);
  SetGraphCursor(mainpanel, graph, 5, v.xData[hi], v.yData[hi]);
  Forget(w, &sb_g[w]);
  if (hi > lo) {
    sb_g[w] = PlotXY(mainpanel, graph, v.xData + lo, v.yData + lo, hi - lo, VAL_DOUBLE, VAL_DOUBLE,
                     VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID, 1, kMarkerColor);
  }
  const double tot = Shown(GetTotal(w)), dtot = Shown(GetDtot(w, lo, hi));
  for (int& t : sb_l[w]) Forget(w, &t);
  char text[64];
  const double x = v.xData[hi];
  std::snprintf(text, sizeof text, "Tot = %1.3e", tot);
  sb_l[w][0] = Text(w, x, v.viewYTo - h, text);
  std::snprintf(text, sizeof text, "dTot = %1.3e", dtot);
  sb_l[w][1] = Text(w, x, v.viewYTo - 2 * h, text);
  if (v.yUnit == kYDb)
    std::snprintf(text, sizeof text, "dTot/Tot = %1.3e", Shown(dtot - tot));
  else
    std::snprintf(text, sizeof text, "dTot/Tot = %1.2e", tot != 0.0 ? Shown(dtot / tot) : 0.0);
  sb_l[w][2] = Text(w, x, v.viewYTo - 3 * h, text);
  std::snprintf(text, sizeof text, "Fm = %1.1f,Гц", df * m);
  sb_l[w][3] = Text(w, x, v.viewYTo - 4 * h, text);
  std::snprintf(text, sizeof text, "dF = %1.1f,Гц", df * (hi - lo));
  sb_l[w][4] = Text(w, x, v.viewYTo - 5 * h, text);
}

double GetTotal(int w) {
  const ViewState& v = vs[w];
  double k, offset;
  TotalScale(v, &k, &offset);
  const double p = v.function == kFnSpectrumA   ? sp.powerA
                   : v.function == kFnSpectrumB ? sp.powerB
                                                : 0.0;
  switch (v.yUnit) {
    case kYRms: return k * std::sqrt(p > 0.0 ? p : 0.0);
    case kYPower:
    case kYDensity: return k * k * p;
    case kYDb: return 10.0 * std::log10(std::max(p, kDbFloor)) + offset;
    default: return p;
  }
}

double GetDtot(int w, int lo, int hi) {
  const ViewState& v = vs[w];
  if (lo < 0) lo = 0;
  if (hi > v.count - 1) hi = v.count - 1;
  double k, offset;
  TotalScale(v, &k, &offset);
  const double l = k * k, e = Enbw();
  double sum = 0.0;
  switch (v.yUnit) {
    case kYRms:
      for (int i = lo; i <= hi; ++i) sum += v.yData[i] * v.yData[i];
      return std::sqrt(l * sum / e);
    case kYPower:
      for (int i = lo; i <= hi; ++i) sum += v.yData[i];
      return l * sum / e;
    case kYDensity:
      for (int i = lo; i <= hi; ++i) sum += v.yData[i];
      return v.count > 1 ? l * sum * v.xData[1] / e : 0.0;
    case kYDb: {
      // Summed relative to the band's top line: a line near the largest double in dB (a trace
      // that overflowed) would otherwise make the power sum infinite.
      double top = -std::numeric_limits<double>::max();
      for (int i = lo; i <= hi; ++i) top = std::max(top, v.yData[i]);
      if (lo > hi || !std::isfinite(top))
        return 10.0 * std::log10(kDbFloor) + offset - 10.0 * std::log10(e);
      for (int i = lo; i <= hi; ++i)
        if (std::isfinite(v.yData[i])) sum += std::pow(10.0, (v.yData[i] - top) / 10.0);
      return 10.0 * std::log10(std::max(sum, kDbFloor)) + top - 10.0 * std::log10(e);
    }
    default: return 0.0;
  }
}

void SetCursorsZoom(int w) {
  const ViewState& v = vs[w];
  const int graph = Graph(w);
  double x0 = v.xMin, y0 = v.yMin, x1 = v.xMax, y1 = v.yMax;
  if (v.zoomed) {
    x0 = v.viewXFrom, y0 = v.viewYFrom, x1 = v.viewXTo, y1 = v.viewYTo;
  }
  // A twentieth inside the box: on the frame itself the two cursors could be neither seen nor
  // taken.
  const double dx = 0.05 * (x1 - x0), dy = 0.05 * (y1 - y0);
  SetGraphCursor(mainpanel, graph, 2, x0 + dx, y0 + dy);
  SetGraphCursor(mainpanel, graph, 3, x1 - dx, y1 - dy);
}

void DeltaSideBandSetup(int w) {
  const int graph = Graph(w);
  SetCtrlAttribute(mainpanel, graph, ATTR_NUM_CURSORS, 5);
  for (int c = 4; c <= 5; ++c) {
    SetCursorAttribute(mainpanel, graph, c, ATTR_CURSOR_COLOR, kMarkerColor);
    SetCursorAttribute(mainpanel, graph, c, ATTR_CURSOR_VISIBLE, 1);
  }
}
