// Graph drawing cost: an 8192-point line graph redrawn offscreen, as every measurement tick does.
#if VELTRA_HAVE_UI

#include "ui/userint.h"

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kPoints = 8192;

// One panel holding one 800 x 400 graph, loaded once for all runs.
int BenchGraphPanel() {
  static int panel = 0;
  if (panel != 0) return panel;
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char arg0[] = "benchmarks";
  static char* argv[] = {arg0, nullptr};
  InitUserInterface(&argc, argv);
  static char path[] = "/tmp/veltra-bench-XXXXXX.ui";
  const int fd = mkstemps(path, 3);
  if (fd < 0) return panel = -1;
  const std::string form =
      "<?xml version=\"1.0\"?><ui version=\"4.0\"><widget class=\"QWidget\" name=\"P\">"
      "<property name=\"geometry\"><rect><x>0</x><y>0</y><width>820</width><height>1080</height>"
      "</rect></property><widget class=\"QWidget\" name=\"Graph1\"><property name=\"geometry\">"
      "<rect><x>10</x><y>10</y><width>800</width><height>400</height></rect></property>"
      "<property name=\"graph\" stdset=\"0\"><bool>true</bool></property></widget>"
      // Two result windows of the analyzer's size.
      "<widget class=\"QWidget\" name=\"Graph2\"><property name=\"geometry\"><rect><x>10</x>"
      "<y>420</y><width>780</width><height>324</height></rect></property><property name=\"graph\""
      " stdset=\"0\"><bool>true</bool></property></widget>"
      "<widget class=\"QWidget\" name=\"Graph3\"><property name=\"geometry\"><rect><x>10</x>"
      "<y>750</y><width>780</width><height>324</height></rect></property><property name=\"graph\""
      " stdset=\"0\"><bool>true</bool></property></widget></widget></ui>";
  const bool written = write(fd, form.data(), form.size()) == static_cast<ssize_t>(form.size());
  close(fd);
  static const char* const roles[] = {"Graph1", "Graph2", "Graph3"};
  if (written) RegisterPanelResource("bench.uir", 1, path, roles, 3);
  panel = written ? LoadPanel(0, "bench.uir", 1) : -1;
  std::remove(path);
  if (panel > 0) {
    DisplayPanel(panel);
    SetAxisScalingMode(panel, 1, VAL_XAXIS, VAL_MANUAL, 0, kPoints - 1);
    SetAxisScalingMode(panel, 1, VAL_LEFT_YAXIS, VAL_MANUAL, -1.2, 1.2);
    SetCtrlAttribute(panel, 1, ATTR_XDIVISIONS, 8);
    SetCtrlAttribute(panel, 1, ATTR_YDIVISIONS, 4);
    SetCtrlAttribute(panel, 1, ATTR_XAXIS_GAIN, 0.125);
  }
  return panel;
}

std::vector<double> Signal(int phase) {
  std::vector<double> y(kPoints);
  for (int i = 0; i < kPoints; ++i) {
    y[static_cast<size_t>(i)] =
        std::sin(0.01 * (i + phase)) + 0.1 * std::sin(1.3 * i * (phase + 1));
  }
  return y;
}

// The shared panel, or a skipped benchmark when it cannot be made.
int PanelOrSkip(benchmark::State& state) {
  const int panel = BenchGraphPanel();
  if (panel <= 0) state.SkipWithError("no graph panel");
  return panel;
}

// What one window's view step does: delete the plots, plot new data, draw once.
template <typename PlotFn>
void RedrawLoop(benchmark::State& state, int panel, PlotFn plot) {
  for (auto _ : state) {
    DeleteGraphPlot(panel, 1, -1, VAL_NO_DRAW);
    plot();
    RefreshGraph(panel, 1);
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

// Replot of the same data: layout, ticks and the line.
void BM_GraphReplot8192(benchmark::State& state) {
  const int panel = PanelOrSkip(state);
  if (panel <= 0) return;
  DeleteGraphPlot(panel, 1, -1, VAL_NO_DRAW);
  const std::vector<double> y = Signal(0);
  PlotY(panel, 1, y.data(), kPoints, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID, 1,
        VAL_YELLOW);
  for (auto _ : state) RefreshGraph(panel, 1);
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_GraphReplot8192)->Unit(benchmark::kMillisecond);

void BM_GraphNewData8192(benchmark::State& state) {
  const int panel = PanelOrSkip(state);
  if (panel <= 0) return;
  const std::vector<double> ys[2] = {Signal(0), Signal(7)};
  int k = 0;
  RedrawLoop(state, panel, [&] {
    PlotY(panel, 1, ys[k].data(), kPoints, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID, 1,
          VAL_YELLOW);
    k ^= 1;
  });
}
BENCHMARK(BM_GraphNewData8192)->Unit(benchmark::kMillisecond);

// Points against points (Nyquist, A against B): 8192 dots, no line.
void BM_GraphScatter8192(benchmark::State& state) {
  const int panel = PanelOrSkip(state);
  if (panel <= 0) return;
  const std::vector<double> x = Signal(0), y = Signal(3);
  SetAxisScalingMode(panel, 1, VAL_XAXIS, VAL_MANUAL, -1.2, 1.2);
  RedrawLoop(state, panel, [&] {
    PlotXY(panel, 1, x.data(), y.data(), kPoints, VAL_DOUBLE, VAL_DOUBLE, VAL_SCATTER,
           VAL_SIMPLE_DOT, VAL_DOT, 1, VAL_YELLOW);
  });
  DeleteGraphPlot(panel, 1, -1, VAL_NO_DRAW);
  SetAxisScalingMode(panel, 1, VAL_XAXIS, VAL_MANUAL, 0, kPoints - 1);
}
BENCHMARK(BM_GraphScatter8192)->Unit(benchmark::kMillisecond);

// One result window's share of a measurement tick at N = 8192: 3201 new spectral lines drawn
// with the axis ranges and labels unchanged, or with a new Y range every tick (the frame is then
// drawn again), then the event loop delivers the queued replot and the paint. Graph3 of the same
// panel is hidden the whole time, as a window not selected for display is.
constexpr int kLines = 3201;

std::vector<double> Spectrum(int phase) {
  std::vector<double> y(kLines);
  for (int i = 0; i < kLines; ++i) {
    const double line =
        -80.0 + 10.0 * std::sin(0.02 * i + phase) + 3.0 * std::sin(2.7 * i * (phase + 1));
    y[static_cast<size_t>(i)] = i == 500 ? -10.0 : line;
  }
  return y;
}

void SetUpWindow(int panel, int control) {
  SetAxisScalingMode(panel, control, VAL_XAXIS, VAL_MANUAL, 0, kLines - 1);
  SetAxisScalingMode(panel, control, VAL_LEFT_YAXIS, VAL_MANUAL, -100.0, 0.0);
  SetCtrlAttribute(panel, control, ATTR_XDIVISIONS, 8);
  SetCtrlAttribute(panel, control, ATTR_YDIVISIONS, 4);
  SetCtrlAttribute(panel, control, ATTR_XAXIS_GAIN, 8.0);
}

void DrawTick(int panel, int control, const std::vector<double>& x, const std::vector<double>& y) {
  DeleteGraphPlot(panel, control, -1, VAL_DELAYED_DRAW);
  PlotXY(panel, control, x.data(), y.data(), kLines - 1, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE,
         VAL_NO_POINT, VAL_SOLID, 1, VAL_YELLOW);
}

void BM_WindowRedraw3201(benchmark::State& state) {
  const int panel = PanelOrSkip(state);
  if (panel <= 0) return;
  const bool hidden = state.range(0) != 0;
  const bool moving = state.range(1) != 0;  // the Y range follows the data every tick
  const int control = hidden ? 3 : 2;
  SetCtrlAttribute(panel, 3, ATTR_VISIBLE, 0);
  SetUpWindow(panel, control);
  std::vector<double> x(kLines);
  for (int i = 0; i < kLines; ++i) x[static_cast<size_t>(i)] = i;
  const std::vector<double> ys[2] = {Spectrum(0), Spectrum(1)};
  ProcessSystemEvents();
  int k = 0;
  for (auto _ : state) {
    if (moving) SetAxisScalingMode(panel, control, VAL_LEFT_YAXIS, VAL_MANUAL, -100.0 - k, 0.0);
    DrawTick(panel, control, x, ys[k]);
    k ^= 1;
    ProcessSystemEvents();
    ProcessSystemEvents();
  }
  DeleteGraphPlot(panel, control, -1, VAL_NO_DRAW);
  ProcessSystemEvents();
}
BENCHMARK(BM_WindowRedraw3201)
    ->ArgNames({"hidden", "newYRange"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);

}  // namespace

#endif  // VELTRA_HAVE_UI
