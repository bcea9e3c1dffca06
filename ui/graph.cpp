// Graph control on QCustomPlot and the graph operations of the toolkit API.
#include "ui/graph.h"
#include "safefile/safefile.h"

#include "ui/toolkit.h"

#include <QApplication>
#include <QBuffer>
#include <QFileInfo>
#include <QLayout>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>

namespace {

std::vector<GraphWidget*> g_graphs;

QColor Rgb(int c) {
  if (c & VAL_TRANSPARENT) return QColor(0, 0, 0, 0);
  return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

// Thin, cosmetic pens: one pixel whatever the scale.
QPen ThinPen(int color, int lineStyle = VAL_SOLID) {
  QPen pen(Rgb(color));
  pen.setWidth(0);
  pen.setCosmetic(true);
  switch (lineStyle) {
    case VAL_DASH: pen.setStyle(Qt::DashLine); break;
    case VAL_DOT: pen.setStyle(Qt::DotLine); break;
    case VAL_DASH_DOT: pen.setStyle(Qt::DashDotLine); break;
    default: pen.setStyle(Qt::SolidLine); break;
  }
  return pen;
}

QCPScatterStyle Marker(int pointStyle, int color, bool scatterPlot) {
  const QColor c = Rgb(color);
  switch (pointStyle) {
    case VAL_EMPTY_SQUARE: return QCPScatterStyle(QCPScatterStyle::ssSquare, c, 5);
    case VAL_SOLID_SQUARE: return QCPScatterStyle(QCPScatterStyle::ssSquare, c, c, 5);
    case VAL_ASTERISK: return QCPScatterStyle(QCPScatterStyle::ssStar, c, 6);
    case VAL_SIMPLE_DOT: return QCPScatterStyle(QCPScatterStyle::ssDot, c, 1);
    case VAL_EMPTY_CIRCLE: return QCPScatterStyle(QCPScatterStyle::ssCircle, c, 6);
    case VAL_SOLID_CIRCLE: return QCPScatterStyle(QCPScatterStyle::ssDisc, c, c, 6);
    case VAL_CROSS: return QCPScatterStyle(QCPScatterStyle::ssPlus, c, 6);
    case VAL_X: return QCPScatterStyle(QCPScatterStyle::ssCross, c, 6);
    case VAL_NO_POINT:
      // A scatter plot without markers would draw nothing at all.
      return scatterPlot ? QCPScatterStyle(QCPScatterStyle::ssDot, c, 1)
                         : QCPScatterStyle(QCPScatterStyle::ssNone);
    default: return QCPScatterStyle(QCPScatterStyle::ssSquare, c, 3);
  }
}

bool Finite(double v) { return std::isfinite(v); }

// The axis is never empty or inverted: equal ends are spread, reversed ends swapped.
bool SaneRange(double& lo, double& hi) {
  if (!Finite(lo) || !Finite(hi)) return false;
  if (lo > hi) std::swap(lo, hi);
  const double span = hi - lo;
  const double mag = std::max(std::fabs(lo), std::fabs(hi));
  if (span <= mag * 1e-12 || span <= 1e-290) {
    const double c = 0.5 * (lo + hi);
    const double half = std::fabs(c) > 1e-290 ? std::fabs(c) * 0.1 : 1.0;
    lo = c - half;
    hi = c + half;
  }
  return QCPRange::validRange(lo, hi);
}

QString FormatNumber(double v, int precision) {
  QString s = precision >= 0 ? QString::number(v, 'f', std::min(precision, 15))
                             : QString::number(v, 'g', 6);
  // "-0.00" reads as a sign error to a person.
  if (s.startsWith('-')) {
    bool zero = true;
    for (QChar ch : s.mid(1)) {
      if (ch.isDigit() && ch != '0') zero = false;
      if (ch == 'e' || ch == 'E') break;
    }
    if (zero) s.remove(0, 1);
  }
  return s;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Tick labels

QString ScaledTicker::Label(double tick) const {
  return FormatNumber(tick * setup_->gain + setup_->offset, setup_->precision);
}

QString ScaledTicker::getTickLabel(double tick, const QLocale&, QChar, int) { return Label(tick); }

void ScaledTicker::generate(const QCPRange& range, const QLocale& locale, QChar formatChar,
                            int precision, QVector<double>& ticks, QVector<double>* subTicks,
                            QVector<QString>* tickLabels) {
  if (setup_->useStrings) {
    ticks.clear();
    if (tickLabels) tickLabels->clear();
    if (subTicks) subTicks->clear();
    for (const auto& [value, label] : setup_->items) {
      if (value < range.lower || value > range.upper) continue;
      ticks << value;
      if (tickLabels) *tickLabels << label;
    }
    return;
  }
  if (setup_->divisions > 0) {
    ticks.clear();
    if (subTicks) subTicks->clear();
    if (tickLabels) tickLabels->clear();
    const int n = setup_->divisions;
    const double step = (range.upper - range.lower) / n;
    for (int i = 0; i <= n; ++i) {
      const double t = i == n ? range.upper : range.lower + step * i;
      ticks << t;
      if (tickLabels) *tickLabels << Label(t);
    }
    return;
  }
  // Round numbers where a person reads them: in label units (value·gain + offset).
  const double gain = setup_->gain != 0.0 && Finite(setup_->gain) ? setup_->gain : 1.0;
  double lo = range.lower * gain + setup_->offset, hi = range.upper * gain + setup_->offset;
  if (lo > hi) std::swap(lo, hi);
  QCPAxisTicker::generate(QCPRange(lo, hi), locale, formatChar, precision, ticks, subTicks,
                          nullptr);
  for (double& t : ticks) t = (t - setup_->offset) / gain;
  if (subTicks)
    for (double& t : *subTicks) t = (t - setup_->offset) / gain;
  if (gain < 0.0) {
    std::reverse(ticks.begin(), ticks.end());
    if (subTicks) std::reverse(subTicks->begin(), subTicks->end());
  }
  if (tickLabels) {
    tickLabels->clear();
    for (double t : ticks) *tickLabels << Label(t);
  }
}

// ---------------------------------------------------------------------------------------------
// GraphWidget

const std::vector<GraphWidget*>& GraphWidget::All() { return g_graphs; }

GraphWidget::GraphWidget(QWidget* parent) : QCustomPlot(parent) {
  g_graphs.push_back(this);
  setNotAntialiasedElements(QCP::aeAll);
  // Segment by segment ("fast polylines") costs a painter call per line; one polyline per plot
  // is cheaper for thin cosmetic pens.
  setPlottingHint(QCP::phFastPolylines, false);
  setPlottingHint(QCP::phCacheLabels, true);
  // Plots and cursors live on the buffered top layer: when only they change, that layer is
  // drawn again and the frame (background, grid, axes, labels) is kept.
  dataLayer_ = layer(QStringLiteral("overlay"));
  setCurrentLayer(dataLayer_);
  setFocusPolicy(Qt::StrongFocus);
  // Every pixel is painted (background, then the buffers): what lies behind is never drawn.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoAddPlottableToLegend(false);

  xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new ScaledTicker(&xSetup_)));
  yAxis->setTicker(QSharedPointer<QCPAxisTicker>(new ScaledTicker(&ySetup_)));
  plotBg_ = VAL_BLACK;
  gridColor_ = VAL_DK_GRAY;
  axisRect()->setBackground(QBrush(Rgb(plotBg_)));
  for (QCPAxis* a : {xAxis, yAxis}) {
    QPen grid = ThinPen(gridColor_, VAL_DOT);
    a->grid()->setPen(grid);
    a->grid()->setZeroLinePen(grid);
    a->grid()->setSubGridVisible(false);
    a->setSubTicks(false);
  }
  xAxis->setRange(0, 10);
  yAxis->setRange(0, 10);

  const int colors[kMaxCursors] = {VAL_YELLOW, VAL_CYAN, VAL_CYAN, VAL_WHITE, VAL_WHITE};
  for (int i = 0; i < kMaxCursors; ++i) {
    Cursor& c = cursors_[static_cast<size_t>(i)];
    c.color = colors[i];
    c.haloV = new QCPItemStraightLine(this);
    c.haloH = new QCPItemStraightLine(this);
    c.vertical = new QCPItemStraightLine(this);
    c.horizontal = new QCPItemStraightLine(this);
    for (QCPItemStraightLine* l : {c.haloV, c.haloH, c.vertical, c.horizontal}) {
      l->setLayer(dataLayer_);
      l->setSelectable(false);
    }
    PlaceCursor(i);
  }
  UpdateCursorItems();
}

GraphWidget::~GraphWidget() {
  HideColorScale();
  delete colorScale_;
  g_graphs.erase(std::remove(g_graphs.begin(), g_graphs.end(), this), g_graphs.end());
}

void GraphWidget::RequestReplot(bool frame) {
  frameDirty_ = frameDirty_ || frame;
  if (pending_) return;
  pending_ = true;
  QMetaObject::invokeMethod(this, &GraphWidget::Flush, Qt::QueuedConnection);
}

bool GraphWidget::Hidden() const { return isHidden() || !isVisibleTo(window()); }

void GraphWidget::Flush() {
  // A window hidden since its last request is drawn when it is shown again.
  if (!pending_ && !(deferred_ && !Hidden())) return;
  Draw(false);
}

void GraphWidget::ReplotNow() { Draw(true); }

void GraphWidget::Draw(bool immediate) {
  pending_ = false;
  if (Hidden()) {
    deferred_ = true;
    return;
  }
  deferred_ = false;
  ApplyScaling();
  const bool frameKept = drawn_ && !frameDirty_ && xAxis->range() == drawnX_ &&
                         yAxis->range() == drawnY_ && size() == drawnSize_;
  drawn_ = true;
  if (frameKept && dataLayer_ != nullptr) {
    // Falls back to a full replot by itself when a plot was added or removed.
    dataLayer_->replot();
    if (immediate) repaint();
    return;
  }
  frameDirty_ = false;
  drawnX_ = xAxis->range();
  drawnY_ = yAxis->range();
  drawnSize_ = size();
  replot(immediate ? rpImmediateRefresh : rpRefreshHint);
}

void GraphWidget::setVisible(bool visible) {
  QCustomPlot::setVisible(visible);
  if (visible && deferred_) RequestReplot(false);
}

void GraphWidget::showEvent(QShowEvent* event) {
  QCustomPlot::showEvent(event);
  if (deferred_) RequestReplot(false);  // shown with a parent that was hidden
}

void GraphWidget::ApplyScaling() {
  for (int axis : {VAL_XAXIS, VAL_LEFT_YAXIS}) {
    const AxisSetup* s = Setup(axis);
    if (s->mode != VAL_AUTOSCALE) continue;
    bool found = false;
    QCPRange all;
    for (const auto& [h, p] : plots_) {
      if (p.plottable == nullptr) continue;
      bool ok = false;
      const QCPRange r =
          axis == VAL_XAXIS ? p.plottable->getKeyRange(ok) : p.plottable->getValueRange(ok);
      if (!ok) continue;
      if (!found) {
        all = r;
        found = true;
      } else {
        all.expand(r);
      }
    }
    if (!found) continue;
    double lo = all.lower, hi = all.upper;
    if (SaneRange(lo, hi)) Axis(axis)->setRange(lo, hi);
  }
  // Vertical bars stand on the bottom of the visible Y range.
  const double base = ySetup_.mode == VAL_MANUAL ? yAxis->range().lower : 0.0;
  for (auto& [h, p] : plots_) {
    auto* bars = qobject_cast<QCPBars*>(p.plottable);
    if (bars == nullptr || bars->baseValue() == base) continue;
    // A bar is drawn from the base to base + value: shift the data so every bar still
    // ends at its own value.
    QVector<double> keys, values;
    for (std::size_t i = 0; i < p.x.size(); ++i) {
      if (!Finite(p.x[i]) || !Finite(p.y[i])) continue;
      keys << p.x[i];
      values << p.y[i] - base;
    }
    bars->setBaseValue(base);
    bars->setData(keys, values);
  }
}

AxisSetup* GraphWidget::Setup(int axis) {
  return axis == VAL_XAXIS ? &xSetup_ : axis == VAL_LEFT_YAXIS ? &ySetup_ : nullptr;
}

QCPAxis* GraphWidget::Axis(int axis) const {
  return axis == VAL_XAXIS ? xAxis : axis == VAL_LEFT_YAXIS ? yAxis : nullptr;
}

int GraphWidget::AddPlot(Plot plot, bool reused) {
  const int h = nextHandle_++;
  plots_.emplace(h, std::move(plot));
  if (!reused) RaiseCursors();
  RequestReplot(false);
  return h;
}

void GraphWidget::RemovePlot(Plot& p) {
  auto* graph = qobject_cast<QCPGraph*>(p.plottable);
  if (graph != nullptr && p.kind == PlotKind::Data && spares_.size() < kMaxSpares) {
    // Kept hidden for the next plot: adding and removing plottables would invalidate the
    // layer's buffer and cost a full replot every time a window shows new data.
    graph->setVisible(false);
    graph->data()->clear();
    spares_.push_back(graph);
  } else if (p.plottable != nullptr) {
    removePlottable(p.plottable);
  }
  if (p.kind == PlotKind::Map) HideColorScale();
  if (p.item != nullptr) removeItem(p.item);
  p.plottable = nullptr;
  p.item = nullptr;
}

QCPGraph* GraphWidget::TakeGraph(bool* reused) {
  *reused = !spares_.empty();
  if (*reused) {
    QCPGraph* g = spares_.front();
    spares_.pop_front();
    g->setVisible(true);
    return g;
  }
  auto* g = new QCPGraph(xAxis, yAxis);
  g->setAdaptiveSampling(true);  // at most a few points per pixel column are drawn
  return g;
}

void GraphWidget::RaiseCursors() {
  // Moved to the end of the layer: drawn over the plots added before.
  for (Cursor& c : cursors_) {
    for (QCPItemStraightLine* l : {c.haloV, c.haloH, c.vertical, c.horizontal}) {
      l->setLayer(QStringLiteral("main"));
      l->setLayer(dataLayer_);
    }
  }
}

int GraphWidget::PlotXY(const double* x, const double* y, int count, int plotStyle, int pointStyle,
                        int lineStyle, int pointFrequency, int color) {
  if (count < 0 || (count > 0 && (x == nullptr || y == nullptr))) return UIE_InvalidValue;
  Plot p;
  p.kind = PlotKind::Data;
  p.x.assign(x, x + count);
  p.y.assign(y, y + count);
  QVector<double> keys, values;
  keys.reserve(count);
  values.reserve(count);
  bool sorted = true;
  for (int i = 0; i < count; ++i) {
    if (!Finite(x[i]) || !Finite(y[i])) continue;  // never drawn
    if (!keys.isEmpty() && x[i] < keys.back()) sorted = false;
    keys << x[i];
    values << y[i];
  }
  const QPen pen = ThinPen(color, lineStyle);
  const int skip = std::max(0, pointFrequency - 1);
  bool reused = false;
  if (plotStyle == VAL_VERTICAL_BAR) {
    auto* bars = new QCPBars(xAxis, yAxis);
    double width = 1.0;
    if (keys.size() > 1) {
      QVector<double> k = keys;
      std::sort(k.begin(), k.end());
      double best = 0.0;
      for (int i = 1; i < k.size(); ++i) {
        const double d = k[i] - k[i - 1];
        if (d > 0.0 && (best == 0.0 || d < best)) best = d;
      }
      if (best > 0.0) width = best;
    }
    bars->setWidth(width);
    bars->setPen(pen);
    bars->setBrush(QBrush(Rgb(color)));
    bars->setData(keys, values, sorted);
    p.plottable = bars;
  } else {
    const bool scatter = plotStyle == VAL_SCATTER;
    const QCPScatterStyle marker = plotStyle == VAL_THIN_LINE
                                       ? QCPScatterStyle(QCPScatterStyle::ssNone)
                                       : Marker(pointStyle, color, scatter);
    if (sorted || scatter) {
      QCPGraph* g = TakeGraph(&reused);
      g->setPen(pen);
      g->setLineStyle(scatter ? QCPGraph::lsNone : QCPGraph::lsLine);
      g->setScatterStyle(marker);
      g->setScatterSkip(skip);
      g->setData(keys, values, sorted);
      p.plottable = g;
    } else {
      // A line through points that go back in X keeps their order.
      auto* c = new QCPCurve(xAxis, yAxis);
      c->setPen(pen);
      c->setScatterStyle(marker);
      c->setScatterSkip(skip);
      c->setData(keys, values);
      p.plottable = c;
    }
  }
  return AddPlot(std::move(p), reused);
}

int GraphWidget::PlotLine(double x1, double y1, double x2, double y2, int color) {
  if (!Finite(x1) || !Finite(y1) || !Finite(x2) || !Finite(y2)) return UIE_InvalidValue;
  auto* line = new QCPItemLine(this);
  line->start->setCoords(x1, y1);
  line->end->setCoords(x2, y2);
  line->setPen(ThinPen(color));
  line->setSelectable(false);
  Plot p;
  p.kind = PlotKind::Line;
  p.item = line;
  return AddPlot(std::move(p));
}

int GraphWidget::PlotPoint(double x, double y, int pointStyle, int color) {
  if (!Finite(x) || !Finite(y)) return UIE_InvalidValue;
  auto* g = new QCPGraph(xAxis, yAxis);
  g->setLineStyle(QCPGraph::lsNone);
  g->setScatterStyle(Marker(pointStyle, color, true));
  g->setPen(ThinPen(color));
  g->addData(x, y);
  Plot p;
  p.kind = PlotKind::Point;
  p.plottable = g;
  return AddPlot(std::move(p));
}

int GraphWidget::PlotText(double x, double y, const QString& text, const QString& font,
                          int textColor, int backgroundColor) {
  if (!Finite(x) || !Finite(y)) return UIE_InvalidValue;
  auto* t = new QCPItemText(this);
  t->position->setCoords(x, y);
  t->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
  t->setText(text);
  QFont f = QApplication::font();
  if (!font.isEmpty() && font != QLatin1String("NIAppMetaFont")) f.setFamily(font);
  t->setFont(f);
  t->setColor(Rgb(textColor));
  t->setPadding(QMargins(1, 0, 1, 0));
  if (backgroundColor & VAL_TRANSPARENT) {
    t->setBrush(Qt::NoBrush);
  } else {
    t->setBrush(QBrush(Rgb(backgroundColor)));
  }
  t->setPen(Qt::NoPen);
  t->setSelectable(false);
  Plot p;
  p.kind = PlotKind::Text;
  p.item = t;
  return AddPlot(std::move(p));
}

int GraphWidget::DeletePlot(int handle, int refresh) {
  if (handle == -1) {
    for (auto& [h, p] : plots_) RemovePlot(p);
    plots_.clear();
  } else {
    auto it = plots_.find(handle);
    if (it == plots_.end()) return UIE_NoPlot;
    RemovePlot(it->second);
    plots_.erase(it);
  }
  if (refresh == VAL_IMMEDIATE_DRAW) {
    ReplotNow();
  } else {
    RequestReplot(false);
  }
  return UIE_NoError;
}

// ---------------------------------------------------------------------------------------------
// Cursors

const GraphWidget::Plot* GraphWidget::FirstDataPlot(int* handle) const {
  for (const auto& [h, p] : plots_) {
    if (p.kind == PlotKind::Data) {
      if (handle) *handle = h;
      return &p;
    }
  }
  if (handle) *handle = -1;
  return nullptr;
}

int GraphWidget::NearestIndex(const Plot& p, double x) const {
  int best = -1;
  double bestD = 0.0;
  for (size_t i = 0; i < p.x.size(); ++i) {
    if (!Finite(p.x[i]) || !Finite(p.y[i])) continue;
    const double d = std::fabs(p.x[i] - x);
    if (best < 0 || d < bestD) {
      best = static_cast<int>(i);
      bestD = d;
    }
  }
  return best;
}

void GraphWidget::PlaceCursor(int i) {
  Cursor& c = cursors_[static_cast<size_t>(i)];
  c.vertical->point1->setCoords(c.x, 0.0);
  c.vertical->point2->setCoords(c.x, 1.0);
  c.horizontal->point1->setCoords(0.0, c.y);
  c.horizontal->point2->setCoords(1.0, c.y);
  c.haloV->point1->setCoords(c.x, 0.0);
  c.haloV->point2->setCoords(c.x, 1.0);
  c.haloH->point1->setCoords(0.0, c.y);
  c.haloH->point2->setCoords(1.0, c.y);
}

void GraphWidget::UpdateCursorItems() {
  for (int i = 0; i < kMaxCursors; ++i) {
    Cursor& c = cursors_[static_cast<size_t>(i)];
    const bool shown = i < numCursors_ && c.visible;
    const QPen pen = ThinPen(c.color, i == 0 ? VAL_SOLID : VAL_DOT);
    for (QCPItemStraightLine* l : {c.vertical, c.horizontal}) {
      l->setVisible(shown);
      l->setPen(pen);
    }
    QPen halo(QColor(0, 0, 0));
    halo.setWidth(3);
    halo.setCosmetic(true);
    for (QCPItemStraightLine* l : {c.haloV, c.haloH}) {
      l->setVisible(shown);
      l->setPen(halo);
    }
  }
}

void GraphWidget::RedrawCursors() {
  if (pending_) return;  // the coming replot draws them
  if (!drawn_ || Hidden()) {
    RequestReplot(false);  // no buffers to draw into yet, or drawn when shown
    return;
  }
  dataLayer_->replot();
}

int GraphWidget::SetCursor(int cursor, double x, double y) {
  if (cursor < 1 || cursor > kMaxCursors) return UIE_IndexOutOfRange;
  if (!Finite(x) || !Finite(y)) return UIE_InvalidValue;
  Cursor& c = cursors_[static_cast<size_t>(cursor - 1)];
  c.x = x;
  c.y = y;
  PlaceCursor(cursor - 1);
  RedrawCursors();
  return UIE_NoError;
}

int GraphWidget::GetCursor(int cursor, double* x, double* y) const {
  if (cursor < 1 || cursor > kMaxCursors) return UIE_IndexOutOfRange;
  const Cursor& c = cursors_[static_cast<size_t>(cursor - 1)];
  if (x) *x = c.x;
  if (y) *y = c.y;
  return UIE_NoError;
}

int GraphWidget::CursorIndex(int cursor, int* plotHandle, int* pointIndex) const {
  if (plotHandle) *plotHandle = -1;
  if (pointIndex) *pointIndex = -1;
  if (cursor < 1 || cursor > kMaxCursors) return UIE_IndexOutOfRange;
  int h = -1;
  const Plot* p = FirstDataPlot(&h);
  if (p == nullptr) return UIE_NoError;
  const int idx = NearestIndex(*p, cursors_[static_cast<size_t>(cursor - 1)].x);
  if (idx < 0) return UIE_NoError;
  if (plotHandle) *plotHandle = h;
  if (pointIndex) *pointIndex = idx;
  return UIE_NoError;
}

int GraphWidget::SetCursorAttr(int cursor, int attribute, int value) {
  if (cursor < 1 || cursor > kMaxCursors) return UIE_IndexOutOfRange;
  Cursor& c = cursors_[static_cast<size_t>(cursor - 1)];
  switch (attribute) {
    case ATTR_CURSOR_COLOR: c.color = value; break;
    case ATTR_CURSOR_VISIBLE: c.visible = value != 0; break;
    default: return UIE_InvalidAttribute;
  }
  UpdateCursorItems();
  RedrawCursors();
  return UIE_NoError;
}

int GraphWidget::GetCursorAttr(int cursor, int attribute, int* value) const {
  if (cursor < 1 || cursor > kMaxCursors) return UIE_IndexOutOfRange;
  if (value == nullptr) return UIE_InvalidValue;
  const Cursor& c = cursors_[static_cast<size_t>(cursor - 1)];
  switch (attribute) {
    case ATTR_CURSOR_COLOR: *value = c.color; return UIE_NoError;
    case ATTR_CURSOR_VISIBLE: *value = c.visible ? 1 : 0; return UIE_NoError;
    default: return UIE_InvalidAttribute;
  }
}

int GraphWidget::PickCursor(const QPointF& pos) const {
  constexpr double kGrab = 6.0;
  constexpr double kCornerGrab = 10.0;
  int best = -1;
  double bestD = 1e300;
  for (int i = 0; i < numCursors_; ++i) {
    const Cursor& c = cursors_[static_cast<size_t>(i)];
    if (!c.visible) continue;
    const double dx = std::fabs(xAxis->coordToPixel(c.x) - pos.x());
    const double dy = std::fabs(yAxis->coordToPixel(c.y) - pos.y());
    // Cursors 2 and 3 are the corners of a zoom box: taken at their crossing point only. The
    // others mark a point of the trace: taken at their vertical line.
    const bool corner = i == 1 || i == 2;
    const double d = corner ? std::hypot(dx, dy) : dx;
    if (d > (corner ? kCornerGrab : kGrab)) continue;
    if (d < bestD) {  // ties go to the lower cursor number
      best = i;
      bestD = d;
    }
  }
  // Anywhere else the measuring cursor comes to the click.
  if (best < 0 && numCursors_ > 0) best = 0;
  return best;
}

void GraphWidget::DragTo(const QPointF& pos) {
  if (dragCursor_ < 0) return;
  Cursor& c = cursors_[static_cast<size_t>(dragCursor_)];
  double x = xAxis->pixelToCoord(pos.x());
  double y = yAxis->pixelToCoord(pos.y());
  if (!Finite(x) || !Finite(y)) return;
  // The measuring cursor sits on a point of the first plot.
  if (dragCursor_ == 0) {
    if (const Plot* p = FirstDataPlot(nullptr)) {
      const int idx = NearestIndex(*p, x);
      if (idx >= 0) {
        x = p->x[static_cast<size_t>(idx)];
        y = p->y[static_cast<size_t>(idx)];
      }
    }
  }
  if (x == c.x && y == c.y) return;
  c.x = x;
  c.y = y;
  dragMoved_ = true;
  PlaceCursor(dragCursor_);
  RedrawCursors();
}

void GraphWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    if (onEvent) onEvent(EVENT_RIGHT_CLICK, 0, 0);
    return;
  }
  if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier) &&
      axisRect()->rect().contains(event->pos())) {
    if (band_ == nullptr) band_ = new QRubberBand(QRubberBand::Rectangle, this);
    bandOrigin_ = event->pos();
    band_->setGeometry(QRect(bandOrigin_, QSize()));
    band_->show();
    event->accept();
    return;
  }
  if (event->button() == Qt::LeftButton && axisRect()->rect().contains(event->pos())) {
    dragCursor_ = PickCursor(event->position());
    dragMoved_ = false;
    if (dragCursor_ >= 0 && !cursors_[static_cast<size_t>(dragCursor_)].visible) {
      cursors_[static_cast<size_t>(dragCursor_)].visible = true;
      UpdateCursorItems();
    }
    DragTo(event->position());
    event->accept();
    return;
  }
  QCustomPlot::mousePressEvent(event);
}

void GraphWidget::mouseMoveEvent(QMouseEvent* event) {
  if (band_ != nullptr && band_->isVisible()) {
    band_->setGeometry(QRect(bandOrigin_, event->pos()).normalized());
    event->accept();
    return;
  }
  if (dragCursor_ >= 0) {
    DragTo(event->position());
    event->accept();
    return;
  }
  QCustomPlot::mouseMoveEvent(event);
}

void GraphWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && band_ != nullptr && band_->isVisible()) {
    band_->hide();
    event->accept();
    const QRect r = QRect(bandOrigin_, event->pos()).normalized();
    if (r.width() < 4 || r.height() < 4) return;  // a click, not a box
    ZoomTo(xAxis->pixelToCoord(r.left()), yAxis->pixelToCoord(r.bottom()),
           xAxis->pixelToCoord(r.right()), yAxis->pixelToCoord(r.top()));
    return;
  }
  if (event->button() == Qt::LeftButton && dragCursor_ >= 0) {
    const int cursor = dragCursor_ + 1;
    const bool moved = dragMoved_;
    dragCursor_ = -1;
    dragMoved_ = false;
    event->accept();
    if (moved && onEvent) onEvent(EVENT_COMMIT, cursor, 0);
    return;
  }
  QCustomPlot::mouseReleaseEvent(event);
}

void GraphWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    if (onEvent) onEvent(EVENT_RIGHT_DOUBLE_CLICK, 0, 0);
    return;
  }
  if (event->button() == Qt::LeftButton) {
    // A double click gives the whole result back, as the right double click does.
    event->accept();
    dragCursor_ = -1;
    if (onEvent) onEvent(EVENT_RIGHT_DOUBLE_CLICK, 0, 0);
    return;
  }
  QCustomPlot::mouseDoubleClickEvent(event);
}

void GraphWidget::ZoomTo(double x1, double y1, double x2, double y2) {
  if (!Finite(x1) || !Finite(y1) || !Finite(x2) || !Finite(y2) || x1 == x2 || y1 == y2) return;
  SetCursor(2, x1, y1);
  SetCursor(3, x2, y2);
  if (onEvent) onEvent(EVENT_RIGHT_CLICK, 0, 0);
}

void GraphWidget::wheelEvent(QWheelEvent* event) {
  const int notches = event->angleDelta().y() / 120;
  if (notches == 0 || !axisRect()->rect().contains(event->position().toPoint())) {
    QCustomPlot::wheelEvent(event);
    return;
  }
  event->accept();
  // Each notch away from the user narrows the range by a fifth about the pointer.
  const double f = std::pow(0.8, notches);
  const QCPRange xr = xAxis->range(), yr = yAxis->range();
  if (event->modifiers() & Qt::ControlModifier) {
    const double y0 = yAxis->pixelToCoord(event->position().y());
    ZoomTo(xr.lower, y0 - (y0 - yr.lower) * f, xr.upper, y0 + (yr.upper - y0) * f);
  } else {
    const double x0 = xAxis->pixelToCoord(event->position().x());
    ZoomTo(x0 - (x0 - xr.lower) * f, yr.lower, x0 + (xr.upper - x0) * f, yr.upper);
  }
}

void GraphWidget::keyPressEvent(QKeyEvent* event) {
  // Left/Right step the measuring cursor one point along the first plot.
  const int step = event->key() == Qt::Key_Left ? -1 : event->key() == Qt::Key_Right ? 1 : 0;
  const Plot* p = FirstDataPlot(nullptr);
  if (step == 0 || p == nullptr || numCursors_ < 1) {
    QCustomPlot::keyPressEvent(event);
    return;
  }
  event->accept();
  int idx = NearestIndex(*p, cursors_[0].x);
  if (idx < 0) return;
  for (int i = idx + step; i >= 0 && i < static_cast<int>(p->x.size()); i += step) {
    if (Finite(p->x[static_cast<size_t>(i)]) && Finite(p->y[static_cast<size_t>(i)])) {
      idx = i;
      break;
    }
  }
  SetCursor(1, p->x[static_cast<size_t>(idx)], p->y[static_cast<size_t>(idx)]);
  if (onEvent) onEvent(EVENT_COMMIT, 1, 0);
}

// ---------------------------------------------------------------------------------------------
// Axes and attributes

int GraphWidget::SetScaling(int axis, int mode, double min, double max) {
  AxisSetup* s = Setup(axis);
  if (s == nullptr) return UIE_InvalidValue;
  if (mode == VAL_MANUAL) {
    if (!SaneRange(min, max)) return UIE_InvalidValue;
    s->mode = VAL_MANUAL;
    Axis(axis)->setRange(min, max);
  } else if (mode == VAL_AUTOSCALE) {
    s->mode = VAL_AUTOSCALE;
  } else {
    return UIE_InvalidValue;
  }
  RequestReplot(false);  // the drawing compares the ranges with the frame it drew last
  return UIE_NoError;
}

int GraphWidget::GetScaling(int axis, int* mode, double* min, double* max) {
  AxisSetup* s = Setup(axis);
  if (s == nullptr) return UIE_InvalidValue;
  if (s->mode == VAL_AUTOSCALE) ApplyScaling();
  const QCPRange r = Axis(axis)->range();
  if (mode) *mode = s->mode;
  if (min) *min = r.lower;
  if (max) *max = r.upper;
  return UIE_NoError;
}

int GraphWidget::ClearAxisItems(int axis) {
  AxisSetup* s = Setup(axis);
  if (s == nullptr) return UIE_InvalidValue;
  if (s->items.empty()) return UIE_NoError;
  s->items.clear();
  RequestReplot();
  return UIE_NoError;
}

int GraphWidget::InsertAxisItem(int axis, int index, const QString& label, double value) {
  AxisSetup* s = Setup(axis);
  if (s == nullptr || !Finite(value)) return UIE_InvalidValue;
  if (index < -1 || index > static_cast<int>(s->items.size())) return UIE_IndexOutOfRange;
  const auto at = index == -1 ? s->items.end() : s->items.begin() + index;
  s->items.insert(at, {value, label});
  RequestReplot();
  return UIE_NoError;
}

namespace {
bool ToNumber(const QVariant& v, double* out) {
  bool ok = false;
  const double d = v.toDouble(&ok);
  if (!ok || !Finite(d)) return false;
  *out = d;
  return true;
}
}  // namespace

int GraphWidget::SetAttr(int attribute, const QVariant& value) {
  double d = 0.0;
  const bool isNumber = ToNumber(value, &d);
  const int n = isNumber ? static_cast<int>(std::clamp(d, -2e9, 2e9)) : 0;
  auto need = [&](bool ok) { return ok ? UIE_NoError : UIE_InvalidValue; };
  // What the frame shows, to skip the replot when a value is set to what it already was.
  const AxisSetup x0 = xSetup_, y0 = ySetup_;
  const QString xName = xAxis->label(), yName = yAxis->label();
  const int bg0 = plotBg_, grid0 = gridColor_;
  switch (attribute) {
    case ATTR_NUM_CURSORS:
      if (!isNumber) return UIE_InvalidValue;
      if (n < 0 || n > kMaxCursors) return UIE_IndexOutOfRange;
      numCursors_ = n;
      UpdateCursorItems();
      RedrawCursors();
      return UIE_NoError;
    case ATTR_XAXIS_GAIN:
      if (!isNumber) return UIE_InvalidValue;
      xSetup_.gain = d;
      break;
    case ATTR_YAXIS_GAIN:
      if (!isNumber) return UIE_InvalidValue;
      ySetup_.gain = d;
      break;
    case ATTR_XAXIS_OFFSET:
      if (!isNumber) return UIE_InvalidValue;
      xSetup_.offset = d;
      break;
    case ATTR_YAXIS_OFFSET:
      if (!isNumber) return UIE_InvalidValue;
      ySetup_.offset = d;
      break;
    case ATTR_XPRECISION:
      if (!isNumber) return UIE_InvalidValue;
      xSetup_.precision = std::clamp(n, 0, 15);
      break;
    case ATTR_YPRECISION:
      if (!isNumber) return UIE_InvalidValue;
      ySetup_.precision = std::clamp(n, 0, 15);
      break;
    case ATTR_XDIVISIONS:
      if (!isNumber) return UIE_InvalidValue;
      xSetup_.divisions = std::min(n, 100);
      break;
    case ATTR_YDIVISIONS:
      if (!isNumber) return UIE_InvalidValue;
      ySetup_.divisions = std::min(n, 100);
      break;
    case ATTR_XUSE_LABEL_STRINGS:
      if (!isNumber) return UIE_InvalidValue;
      xSetup_.useStrings = n != 0;
      break;
    case ATTR_YUSE_LABEL_STRINGS:
      if (!isNumber) return UIE_InvalidValue;
      ySetup_.useStrings = n != 0;
      break;
    case ATTR_XNAME: xAxis->setLabel(value.toString()); break;
    case ATTR_YNAME: yAxis->setLabel(value.toString()); break;
    case ATTR_PLOT_BGCOLOR:
      if (!isNumber) return UIE_InvalidValue;
      plotBg_ = n;
      axisRect()->setBackground(QBrush(Rgb(n)));
      break;
    case ATTR_GRID_COLOR:
      if (!isNumber) return UIE_InvalidValue;
      gridColor_ = n;
      for (QCPAxis* a : {xAxis, yAxis}) {
        a->grid()->setPen(ThinPen(n, VAL_DOT));
        a->grid()->setZeroLinePen(ThinPen(n, VAL_DOT));
      }
      break;
    case ATTR_XMAP_MODE: return need(isNumber && n == 0);
    default: return UIE_InvalidAttribute;
  }
  const bool same = x0 == xSetup_ && y0 == ySetup_ && xName == xAxis->label() &&
                    yName == yAxis->label() && bg0 == plotBg_ && grid0 == gridColor_;
  if (!same) RequestReplot();
  return UIE_NoError;
}

int GraphWidget::GetAttr(int attribute, QVariant* value) const {
  switch (attribute) {
    case ATTR_NUM_CURSORS: *value = numCursors_; break;
    case ATTR_XAXIS_GAIN: *value = xSetup_.gain; break;
    case ATTR_YAXIS_GAIN: *value = ySetup_.gain; break;
    case ATTR_XAXIS_OFFSET: *value = xSetup_.offset; break;
    case ATTR_YAXIS_OFFSET: *value = ySetup_.offset; break;
    case ATTR_XPRECISION: *value = xSetup_.precision; break;
    case ATTR_YPRECISION: *value = ySetup_.precision; break;
    case ATTR_XDIVISIONS: *value = xSetup_.divisions; break;
    case ATTR_YDIVISIONS: *value = ySetup_.divisions; break;
    case ATTR_XUSE_LABEL_STRINGS: *value = xSetup_.useStrings ? 1 : 0; break;
    case ATTR_YUSE_LABEL_STRINGS: *value = ySetup_.useStrings ? 1 : 0; break;
    case ATTR_XNAME: *value = xAxis->label(); break;
    case ATTR_YNAME: *value = yAxis->label(); break;
    case ATTR_PLOT_BGCOLOR: *value = plotBg_; break;
    case ATTR_GRID_COLOR: *value = gridColor_; break;
    case ATTR_XMAP_MODE: *value = 0; break;
    default: return UIE_InvalidAttribute;
  }
  return UIE_NoError;
}

// ---------------------------------------------------------------------------------------------
// Toolkit glue

namespace ui {

GraphWidget* MakeGraph(QWidget* placeholder) {
  QWidget* parent = placeholder->parentWidget();
  auto* g = new GraphWidget(parent);
  g->setObjectName(placeholder->objectName());
  g->setGeometry(placeholder->geometry());
  g->setSizePolicy(placeholder->sizePolicy());
  g->setMinimumSize(placeholder->minimumSize());
  g->setToolTip(placeholder->toolTip());
  const QVariant nc = placeholder->property("numCursors");
  if (nc.isValid()) g->SetAttr(ATTR_NUM_CURSORS, nc.toInt());
  for (const char* name : {"xName", "yName"}) {
    const QVariant v = placeholder->property(name);
    if (v.isValid()) g->SetAttr(name[0] == 'x' ? ATTR_XNAME : ATTR_YNAME, v.toString());
  }
  if (parent != nullptr && parent->layout() != nullptr) {
    delete parent->layout()->replaceWidget(placeholder, g);
  }
  g->setVisible(!placeholder->isHidden());
  delete placeholder;
  return g;
}

void FlushGraphs() {
  for (GraphWidget* g : GraphWidget::All()) g->Flush();
}

}  // namespace ui

namespace {

GraphWidget* GraphOf(int panel, int control, int* status) {
  ui::Control* c = ui::FindControl(panel, control, status);
  if (c == nullptr) return nullptr;
  if (c->kind != ui::CtrlKind::Graph) {
    *status = UIE_WrongType;
    return nullptr;
  }
  return static_cast<GraphWidget*>(c->widget.data());
}

}  // namespace

#define WITH_GRAPH(g)                                 \
  int status_ = UIE_NoError;                          \
  GraphWidget* g = GraphOf(panel, control, &status_); \
  if (g == nullptr) return status_

int PlotXY(int panel, int control, const double* x, const double* y, int count, int, int,
           int plotStyle, int pointStyle, int lineStyle, int pointFrequency, int color) {
  WITH_GRAPH(g);
  return g->PlotXY(x, y, count, plotStyle, pointStyle, lineStyle, pointFrequency, color);
}

int PlotY(int panel, int control, const double* y, int count, int, int plotStyle, int pointStyle,
          int lineStyle, int pointFrequency, int color) {
  WITH_GRAPH(g);
  if (count < 0 || (count > 0 && y == nullptr)) return UIE_InvalidValue;
  std::vector<double> x(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) x[static_cast<size_t>(i)] = i;
  return g->PlotXY(x.data(), y, count, plotStyle, pointStyle, lineStyle, pointFrequency, color);
}

int PlotLine(int panel, int control, double x1, double y1, double x2, double y2, int color) {
  WITH_GRAPH(g);
  return g->PlotLine(x1, y1, x2, y2, color);
}

int PlotPoint(int panel, int control, double x, double y, int pointStyle, int color) {
  WITH_GRAPH(g);
  return g->PlotPoint(x, y, pointStyle, color);
}

int PlotText(int panel, int control, double x, double y, const char* text, const char* font,
             int textColor, int backgroundColor) {
  WITH_GRAPH(g);
  return g->PlotText(x, y, QString::fromUtf8(text ? text : ""), QString::fromUtf8(font ? font : ""),
                     textColor, backgroundColor);
}

int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh) {
  WITH_GRAPH(g);
  return g->DeletePlot(plotHandle, refresh);
}

int RefreshGraph(int panel, int control) {
  WITH_GRAPH(g);
  g->ReplotNow();
  return UIE_NoError;
}

int SetGraphCursor(int panel, int control, int cursor, double x, double y) {
  WITH_GRAPH(g);
  return g->SetCursor(cursor, x, y);
}

int GetGraphCursor(int panel, int control, int cursor, double* x, double* y) {
  WITH_GRAPH(g);
  return g->GetCursor(cursor, x, y);
}

int GetGraphCursorIndex(int panel, int control, int cursor, int* plotHandle, int* pointIndex) {
  WITH_GRAPH(g);
  return g->CursorIndex(cursor, plotHandle, pointIndex);
}

int SetCursorAttribute(int panel, int control, int cursor, int attribute, int value) {
  WITH_GRAPH(g);
  return g->SetCursorAttr(cursor, attribute, value);
}

int GetCursorAttribute(int panel, int control, int cursor, int attribute, int* value) {
  WITH_GRAPH(g);
  return g->GetCursorAttr(cursor, attribute, value);
}

int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max) {
  WITH_GRAPH(g);
  return g->SetScaling(axis, mode, min, max);
}

int GetAxisScalingMode(int panel, int control, int axis, int* mode, double* min, double* max) {
  WITH_GRAPH(g);
  return g->GetScaling(axis, mode, min, max);
}

int ClearAxisItems(int panel, int control, int axis) {
  WITH_GRAPH(g);
  return g->ClearAxisItems(axis);
}

int InsertAxisItem(int panel, int control, int axis, int index, const char* label, double value) {
  WITH_GRAPH(g);
  return g->InsertAxisItem(axis, index, QString::fromUtf8(label ? label : ""), value);
}

int SaveGraphPicture(int panel, int control, const char* fileName, int width, int height) {
  WITH_GRAPH(g);
  if (fileName == nullptr || *fileName == '\0') return UIE_FileError;
  g->Flush();
  if (width <= 0 || height <= 0) {
    width = g->width();
    height = g->height();
  }
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return UIE_InvalidValue;
  const QString path = QString::fromUtf8(fileName);
  // Drawn in memory, then written beside the target and renamed over it by the safe writer: a
  // full disk never leaves half a picture, a link under the name is never written through.
  QByteArray bytes;
  QBuffer f(&bytes);
  f.open(QIODevice::WriteOnly);
  bool ok = false;
  if (QFileInfo(path).suffix().compare(QStringLiteral("svg"), Qt::CaseInsensitive) == 0) {
    QSvgGenerator svg;
    svg.setOutputDevice(&f);
    svg.setSize(QSize(width, height));
    svg.setViewBox(QRect(0, 0, width, height));
    svg.setTitle(QFileInfo(path).completeBaseName());
    QCPPainter painter;
    ok = painter.begin(&svg);
    if (ok) {
      g->toPainter(&painter, width, height);
      ok = painter.end();
    }
  } else {
    const QPixmap pix = g->toPixmap(width, height);
    ok = !pix.isNull() && pix.save(&f, "PNG");
  }
  f.close();
  if (!ok || bytes.isEmpty()) return UIE_FileError;
  return WriteFileSafely(fileName, bytes.constData(), static_cast<std::size_t>(bytes.size())) ==
                 kFileWritten
             ? UIE_NoError
             : UIE_FileError;
}
