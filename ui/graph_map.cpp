// Colour maps on the graph control (spectrograms) and their colour scale.
#include "ui/graph.h"
#include "ui/toolkit.h"

#include <cmath>

int GraphWidget::PlotColorMap(const float* z, int nx, int ny, double xFrom, double xTo,
                              double yFrom, double yTo, double zMin, double zMax,
                              const QString& unit) {
  if (z == nullptr || nx < 1 || ny < 1 || !std::isfinite(xFrom + xTo + yFrom + yTo)) {
    return UIE_InvalidValue;
  }
  if (!(zMax > zMin) || !std::isfinite(zMax - zMin)) {
    zMin = std::isfinite(zMin) ? zMin : 0.0;
    zMax = zMin + 1.0;
  }
  auto* map = new QCPColorMap(xAxis, yAxis);
  map->setInterpolate(false);
  map->setAntialiased(false);
  QCPColorMapData* cells = map->data();
  cells->setSize(nx, ny);
  cells->setRange(QCPRange(xFrom, xTo), QCPRange(yFrom, yTo));
  for (int y = 0; y < ny; ++y) {
    const float* row = z + static_cast<size_t>(y) * nx;
    for (int x = 0; x < nx; ++x) cells->setCell(x, y, row[x]);
  }
  QCPColorGradient gradient(QCPColorGradient::gpJet);
  gradient.setNanHandling(QCPColorGradient::nhTransparent);
  map->setGradient(gradient);
  if (colorScale_ == nullptr) {
    colorScale_ = new QCPColorScale(this);
    colorScale_->setType(QCPAxis::atRight);
    colorScale_->setBarWidth(10);
  }
  if (colorScale_->layout() == nullptr)
    plotLayout()->addElement(0, plotLayout()->columnCount(), colorScale_);
  colorScale_->axis()->setLabel(unit);
  map->setColorScale(colorScale_);
  map->setDataRange(QCPRange(zMin, zMax));
  Plot p;
  p.kind = PlotKind::Map;
  p.plottable = map;
  const int handle = AddPlot(std::move(p));
  RequestReplot(true);  // the colour scale takes room from the axis rect
  return handle;
}

void GraphWidget::HideColorScale() {
  if (colorScale_ == nullptr || colorScale_->layout() == nullptr) return;
  plotLayout()->take(colorScale_);
  plotLayout()->simplify();
  RequestReplot(true);
}

int PlotColorMap(int panel, int control, const float* z, int numX, int numY, double xFrom,
                 double xTo, double yFrom, double yTo, double zMin, double zMax, const char* unit) {
  int status = UIE_NoError;
  ui::Control* c = ui::FindControl(panel, control, &status);
  if (c == nullptr) return status;
  if (c->kind != ui::CtrlKind::Graph) return UIE_WrongType;
  return static_cast<GraphWidget*>(c->widget.data())
      ->PlotColorMap(z, numX, numY, xFrom, xTo, yFrom, yTo, zMin, zMax,
                     QString::fromUtf8(unit ? unit : ""));
}
