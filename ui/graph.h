// The graph control: plots with handles, five crosshair cursors and scaled axes on QCustomPlot.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include <qcustomplot.h>

#include <QRubberBand>
#include <QVariant>

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

// Axis settings the tick labels follow: labels show value·gain + offset with a fixed precision,
// a fixed number of divisions, or the strings given by InsertAxisItem.
struct AxisSetup {
  double gain = 1.0;
  double offset = 0.0;
  int precision = -1;  // < 0: shortest form
  int divisions = 0;   // <= 0: the ticker chooses
  bool useStrings = false;
  std::vector<std::pair<double, QString>> items;
  int mode = 1;  // VAL_AUTOSCALE

  bool operator==(const AxisSetup&) const = default;
};

class ScaledTicker : public QCPAxisTicker {
 public:
  explicit ScaledTicker(const AxisSetup* setup) : setup_(setup) {}
  void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                QVector<double>& ticks, QVector<double>* subTicks,
                QVector<QString>* tickLabels) override;
  QString Label(double tick) const;

 protected:
  QString getTickLabel(double tick, const QLocale& locale, QChar formatChar,
                       int precision) override;

 private:
  const AxisSetup* setup_;
};

class GraphWidget : public QCustomPlot {
 public:
  static constexpr int kMaxCursors = 5;

  explicit GraphWidget(QWidget* parent);
  ~GraphWidget() override;

  // The toolkit's event sink: (event, eventData1, eventData2).
  std::function<void(int, int, int)> onEvent;

  int PlotXY(const double* x, const double* y, int count, int plotStyle, int pointStyle,
             int lineStyle, int pointFrequency, int color);
  int PlotLine(double x1, double y1, double x2, double y2, int color);
  int PlotPoint(double x, double y, int pointStyle, int color);
  int PlotText(double x, double y, const QString& text, const QString& font, int textColor,
               int backgroundColor);
  int DeletePlot(int handle, int refresh);
  // A colour map of z (nx × ny values, x fastest, row 0 at yFrom) with cells centred from
  // (xFrom, yFrom) to (xTo, yTo), coloured over [zMin, zMax] with a colour scale titled `unit`
  // beside the plot; non-finite cells stay empty.
  int PlotColorMap(const float* z, int nx, int ny, double xFrom, double xTo, double yFrom,
                   double yTo, double zMin, double zMax, const QString& unit);
  int PlotCount() const { return static_cast<int>(plots_.size()); }

  int SetCursor(int cursor, double x, double y);
  int GetCursor(int cursor, double* x, double* y) const;
  int CursorIndex(int cursor, int* plotHandle, int* pointIndex) const;
  int SetCursorAttr(int cursor, int attribute, int value);
  int GetCursorAttr(int cursor, int attribute, int* value) const;

  int SetScaling(int axis, int mode, double min, double max);
  int GetScaling(int axis, int* mode, double* min, double* max);
  int ClearAxisItems(int axis);
  int InsertAxisItem(int axis, int index, const QString& label, double value);

  // Graph attributes (numbers as int or double, names as QString).
  int SetAttr(int attribute, const QVariant& value);
  int GetAttr(int attribute, QVariant* value) const;

  // Coalesced drawing: many requests while one event is handled make one replot. frame: the
  // axes, grid or labels may have changed (else only plots and cursors did). A hidden graph is
  // not drawn until it is shown.
  void RequestReplot(bool frame = true);
  void Flush();
  void ReplotNow();
  void setVisible(bool visible) override;

  // Every graph alive, for flushing before a picture is taken.
  static const std::vector<GraphWidget*>& All();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  enum class PlotKind { Data, Line, Point, Text, Map };
  struct Plot {
    PlotKind kind = PlotKind::Data;
    QCPAbstractPlottable* plottable = nullptr;
    QCPAbstractItem* item = nullptr;
    std::vector<double> x, y;  // as given (data plots), for cursor snapping
  };
  struct Cursor {
    double x = 0.0, y = 0.0;
    int color = 0;
    bool visible = true;
    QCPItemStraightLine* vertical = nullptr;
    QCPItemStraightLine* horizontal = nullptr;
    // Dark borders under the lines: a cursor stays visible over a trace of its own colour.
    QCPItemStraightLine* haloV = nullptr;
    QCPItemStraightLine* haloH = nullptr;
  };

  int AddPlot(Plot plot, bool reused = false);
  void RemovePlot(Plot& plot);
  QCPGraph* TakeGraph(bool* reused);
  void RaiseCursors();
  bool Hidden() const;
  void Draw(bool immediate);
  const Plot* FirstDataPlot(int* handle) const;
  int NearestIndex(const Plot& p, double x) const;
  void PlaceCursor(int i);
  void UpdateCursorItems();
  void RedrawCursors();
  void ApplyScaling();
  int PickCursor(const QPointF& pos) const;
  void DragTo(const QPointF& pos);
  // A zoom asked for with the mouse goes the way of the cursor zoom: cursors 2 and 3 at the
  // box's corners, then the right-click event, so the owner's zoom state stays the only one.
  void ZoomTo(double x1, double y1, double x2, double y2);
  AxisSetup* Setup(int axis);
  QCPAxis* Axis(int axis) const;

  std::map<int, Plot> plots_;
  int nextHandle_ = 1;
  std::array<Cursor, kMaxCursors> cursors_;
  int numCursors_ = 1;
  AxisSetup xSetup_, ySetup_;
  bool pending_ = false;
  bool drawn_ = false;
  bool frameDirty_ = true;  // axes, grid or labels changed since the last full replot
  bool deferred_ = false;   // a request came while hidden
  QCPRange drawnX_, drawnY_;
  QSize drawnSize_;
  QCPLayer* dataLayer_ = nullptr;
  static constexpr std::size_t kMaxSpares = 8;
  std::deque<QCPGraph*> spares_;  // hidden graphs kept for reuse
  int dragCursor_ = -1;
  bool dragMoved_ = false;
  QRubberBand* band_ = nullptr;
  QPoint bandOrigin_;
  int plotBg_ = 0, gridColor_ = 0;
  QCPColorScale* colorScale_ = nullptr;  // beside the axis rect while a colour map is shown
  void HideColorScale();
};
