// The operator's side of the result-window views: their toggles, the peak-hold and confidence
// traces, the spectrogram's colour map, the distortion readout and the delta cursor.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "analyzer/calibration.h"
#include "analyzer/file_ctrl.h"
#include "analyzer/panels.h"
#include "analyzer/view1_internal.h"
#include "analyzer/view1_panel.h"
#include "analyzer/views.h"
#include "analyzer/views_panel.h"
#include "ui/userint.h"

namespace {

constexpr int kPeakColor = 0xFFA500;  // orange: the held maxima
constexpr int kMaxMapCols = 1024;     // colour-map cells across, at most
constexpr double kDbSpan = 100.0;     // colour span of an automatic dB scale

int Graph(int w) { return WindowCtrl(w).graph; }
int DistortionReadout(int w) { return w == 0 ? MAIN_DistortionReadout1 : MAIN_DistortionReadout2; }
bool Results() { return sp.dataReady == 1; }
bool WindowShown(int w) { return rcu.winsel == 2 || rcu.winsel == w; }

// Redraws a window after a view was switched, when there is something to draw and no run does it.
void Refresh(int w) {
  if (Results() && start == 0) ViewResult(w);
}

int ToggleOf(int panel, int control, int first, int second, int ViewOptions::*field,
             void (*clear)(int)) {
  const int w = WindowOf(control, first, second);
  if (w < 0) return 0;
  int on = 0;
  GetCtrlVal(panel, control, &on);
  vopt[w].*field = on ? 1 : 0;
  if (clear) clear(w);
  Refresh(w);
  return 0;
}

const char* UnitLabel(const ViewState& v) {
  return Yunit[v.yUnit >= 0 && v.yUnit < 7 ? v.yUnit : 0];
}

}  // namespace

// ---- toggles

VELTRA_COMMIT(SetPeakHold) {
  return ToggleOf(panel, control, MAIN_PeakHoldToggle1, MAIN_PeakHoldToggle2,
                  &ViewOptions::peakHold, ClearPeakHold);
}

VELTRA_COMMIT(SetSpectrogram) {
  return ToggleOf(panel, control, MAIN_SpectrogramToggle1, MAIN_SpectrogramToggle2,
                  &ViewOptions::spectrogram, ClearSpectrogram);
}

VELTRA_COMMIT(SetConfidence) {
  return ToggleOf(panel, control, MAIN_ConfidenceToggle1, MAIN_ConfidenceToggle2,
                  &ViewOptions::confidence, nullptr);
}

// ---- drawing

void DrawViewTraces(int w) {
  const ViewState& v = vs[w];
  const int graph = Graph(w);
  if (const int n = PeakHoldShown(w); n > 0) {
    const PeakHold& p = peak[w];
    if (v.plotStyle == kPlotBarsByIndex)
      PlotY(mainpanel, graph, p.held, n, VAL_DOUBLE, VAL_SCATTER, VAL_SOLID_SQUARE, VAL_SOLID, 1,
            kPeakColor);
    else if (v.plotStyle == kPlotLine)
      PlotXY(mainpanel, graph, v.xData, p.held, n - 1, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE,
             VAL_NO_POINT, VAL_SOLID, 1, kPeakColor);
  }
  static double lo[kMaxLines], hi[kMaxLines];
  if (v.plotStyle == kPlotLine && ConfidenceBand(w, v, lo, hi)) {
    PlotXY(mainpanel, graph, v.xData, lo, v.count - 1, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE,
           VAL_NO_POINT, VAL_DASH, 1, v.color);
    PlotXY(mainpanel, graph, v.xData, hi, v.count - 1, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE,
           VAL_NO_POINT, VAL_DASH, 1, v.color);
  }
}

int DrawSpectrogram(int w) {
  ViewState& v = vs[w];
  if (!vopt[w].spectrogram || !IsAutoSpectrum(v.function)) return 0;
  const int graph = Graph(w);
  int top = 0, left = 0, height = 0, width = 0;
  GetCtrlBoundingRect(mainpanel, graph, &top, &left, &height, &width);
  const SpectroRing& s = spectro[w];
  if (s.filled < 1 || s.cols < 2) return 0;
  // Two pixels a frame: the depth shown follows the window's height.
  const int rows = std::clamp(height / 2, 1, s.rows);
  const int cols = s.cols;
  const int limit = std::clamp(width > 0 ? width : kMaxMapCols, 2, kMaxMapCols);
  const int group = (cols + limit - 1) / limit;
  const int nx = (cols + group - 1) / group;
  static float cells[kMaxSpectroRows * kMaxMapCols];
  const bool db = v.yUnit == kYDb;
  const double gain = db ? 1.0 : v.yScale;
  const float none = std::numeric_limits<float>::quiet_NaN();
  double zMax = -std::numeric_limits<double>::max(), zMin = std::numeric_limits<double>::max();
  // Row 0 at the bottom is the oldest frame; the newest stands on top.
  for (int r = 0; r < rows; ++r) {
    float* out = cells + static_cast<size_t>(r) * nx;
    const float* row = SpectroRow(w, rows - 1 - r);
    for (int c = 0; c < nx; ++c) {
      if (row == nullptr) {
        out[c] = none;
        continue;
      }
      const int from = c * group, to = std::min(from + group, cols);
      float m = row[from];
      for (int j = from + 1; j < to; ++j) m = std::max(m, row[j]);
      const double z = m * gain;
      out[c] = static_cast<float>(z);
      if (std::isfinite(z)) {
        zMax = std::max(zMax, z);
        zMin = std::min(zMin, z);
      }
    }
  }
  if (db) {
    if (v.dbRange != 0) {
      zMax = v.dbTop;
      zMin = v.dbTop - v.dbRange;
    } else {
      zMin = std::max(zMin, zMax - kDbSpan);
    }
  } else {
    zMin = 0.0;
  }
  const double df = sp.df;
  const int n = CheckedFrameLen();
  double hop = (n - sr.ovsamp) * sp.dt;
  if (!(hop > 0.0)) hop = n * sp.dt;
  if (!(hop > 0.0)) hop = 1.0;
  const double xFrom = 0.5 * (group - 1) * df;
  const double xTo = ((nx - 1) * group + 0.5 * (std::min(group, cols - (nx - 1) * group) - 1)) * df;
  const double yFrom = -(rows - 1) * hop;
  // Only the rows that hold a frame are drawn; the axis keeps the whole depth.
  const int shown = std::min(rows, s.filled);
  DeleteGraphPlot(mainpanel, graph, -1, VAL_DELAYED_DRAW);
  const int handle =
      PlotColorMap(mainpanel, graph, cells + static_cast<size_t>(rows - shown) * nx, nx, shown,
                   xFrom, xTo, shown > 1 ? -(shown - 1) * hop : -0.5 * hop,
                   shown > 1 ? 0.0 : 0.5 * hop, zMin, zMax, UnitLabel(v));
  // The Y axis is time before the newest frame, in seconds; the spectrum's labels come back
  // with the first drawing after the spectrogram is switched off.
  SetCtrlAttribute(mainpanel, graph, ATTR_YAXIS_GAIN, 1.0);
  SetCtrlAttribute(mainpanel, graph, ATTR_YAXIS_OFFSET, 0.0);
  SetCtrlAttribute(mainpanel, graph, ATTR_YPRECISION, CallRange(rows * hop / 4.0));
  SetAxisScalingMode(mainpanel, graph, VAL_LEFT_YAXIS, VAL_MANUAL, yFrom - 0.5 * hop, 0.5 * hop);
  v.labYFrom = v.labYTo = std::numeric_limits<double>::quiet_NaN();
  return handle > 0 ? 1 : 0;
}

void ShowDistortion(int w) {
  const ViewState& v = vs[w];
  const int readout = DistortionReadout(w);
  const bool shown = WindowShown(w) && IsAutoSpectrum(v.function) && v.cursorMode == 1 && Results();
  SetCtrlAttribute(mainpanel, readout, ATTR_VISIBLE, shown ? 1 : 0);
  if (!shown) {
    SetCtrlVal(mainpanel, readout, "");
    return;
  }
  Distortion d;
  WindowDistortion(w, &d);
  const int inputNo = ChannelInput(v.function == kFnSpectrumA ? 0 : 1);
  const int in = std::clamp(inputNo, 0, kInputs - 1);
  char text[2048];
  DistortionText(d, ChannelScale(in), cch.dim[in], text, sizeof text);
  SetCtrlVal(mainpanel, readout, text);
}

void AppendDelta(int w, int k1, char* text, int size) {
  const ViewState& v = vs[w];
  if (v.cursorMode > 1 || k1 < 0) return;
  const int graph = Graph(w);
  double x2 = 0.0, y2 = 0.0;
  GetGraphCursor(mainpanel, graph, 2, &x2, &y2);
  // Cursor 2 waits a twentieth inside the box's lower-left corner (SetCursorsZoom) until the
  // operator places it; snapped to the nearest line it may sit a little off that spot.
  const double x0 = v.zoomed ? v.viewXFrom : v.xMin, x1 = v.zoomed ? v.viewXTo : v.xMax;
  const double parked = x0 + 0.05 * (x1 - x0);
  if (!(std::fabs(x2 - parked) > 0.01 * std::fabs(x1 - x0))) return;
  int plot = -1, k2 = -1;
  GetGraphCursorIndex(mainpanel, graph, 2, &plot, &k2);
  char delta[96];
  DeltaText(v, k1, k2, delta, sizeof delta);
  const size_t used = std::strlen(text);
  if (delta[0] != '\0' && used + std::strlen(delta) + 1 < static_cast<size_t>(size))
    std::memcpy(text + used, delta, std::strlen(delta) + 1);
}
