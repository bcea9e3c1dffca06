// Inner records of the toolkit: registered panel resources, loaded panels and their controls.
// Only ui/*.cpp include this file.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include "ui/userint.h"

#include <QDoubleSpinBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <map>
#include <memory>
#include <vector>

class QTimer;
class GraphWidget;

namespace ui {

enum class CtrlKind {
  Ring,        // QComboBox
  ListBox,     // QListWidget
  NumericInt,  // QSpinBox
  NumericDbl,  // QDoubleSpinBox
  TextField,   // QLineEdit
  Toggle,      // QCheckBox, QRadioButton, checkable button
  Command,     // push button
  Led,         // QLabel/QFrame with property led=true
  Readout,     // QLabel
  Graph,       // placeholder with property graph=true, replaced by GraphWidget
  Timer,       // placeholder with property timer=true, drives a QTimer
  Decoration,  // frames, group boxes: geometry, visibility and dimming only
};

constexpr int kNoColor = -1;

// A real numeric keeps the full value code gives it; its precision only formats what is shown
// (QDoubleSpinBox itself would round the value to its decimals). Designer forms get this class
// for every QDoubleSpinBox.
class NumericField : public QDoubleSpinBox {
 public:
  using QDoubleSpinBox::QDoubleSpinBox;
  int Precision() const { return precision_; }
  void SetPrecision(int digits);
  QString textFromValue(double value) const override;
  // A decimal comma typed on a Russian keyboard is taken as the point.
  QValidator::State validate(QString& input, int& pos) const override;
  double valueFromText(const QString& text) const override;

 private:
  int precision_ = 2;
};

struct Control {
  const char* role = "";
  QPointer<QWidget> widget;
  CtrlKind kind = CtrlKind::Decoration;
  CtrlCallbackPtr callback = nullptr;
  void* callbackData = nullptr;
  // Toggles and LEDs
  QString onText, offText;
  int onColor = kNoColor, offColor = kNoColor;
  bool ledOn = false;
  // Colours set by code (kNoColor = the style's own)
  int textColor = kNoColor, bgColor = kNoColor;
  // Timer control
  QTimer* timer = nullptr;
  double interval = 0.1;
  bool enabled = true;
  bool ticking = false;  // a tick callback is running: further ticks are dropped, never nested
  QString savedLabel;    // label of a control with no caption widget
};

struct Resource {
  std::string file;
  int id = 0;
  QString uiPath;
  const char* const* roles = nullptr;
  int roleCount = 0;
};

struct Panel {
  int handle = 0;
  QPointer<QWidget> widget;
  const Resource* resource = nullptr;
  std::vector<Control> controls;  // index = control id - 1
  int closeCtrl = 0;
};

// Registry access (panels.cpp)
Panel* FindPanel(int handle);
Control* FindControl(int panel, int control, int* status);
const std::map<int, std::unique_ptr<Panel>>& Panels();

// Delivers one event to a control's callback. Returns false when the panel or control vanished.
void Deliver(int panel, int control, int event, int data1 = 0, int data2 = 0);
// True while a control callback runs (widgets of its panel may be on the stack).
bool InCallback();
// Nonzero while code (not a person) changes widgets: their change signals fire no callback.
bool CodeIsChanging();

class CodeChange {
 public:
  CodeChange();
  ~CodeChange();
  CodeChange(const CodeChange&) = delete;
  CodeChange& operator=(const CodeChange&) = delete;
};

// controls.cpp: wiring of user-input signals and key presses when a panel loads
void WireControl(int panel, int control, Control& c);
void ApplyColors(Control& c);
QString ColorName(int rgb);

// graph.cpp: replaces a placeholder by a graph widget; flushes every pending replot
GraphWidget* MakeGraph(QWidget* placeholder);
void FlushGraphs();

void CopyText(const QString& text, char* buf, int bufSize);
bool InitDone();

// A number typed or given as text, in any locale: "2.5" and "2,5" are both 2.5.
double ParseNumber(const QString& text, bool* ok);

}  // namespace ui
