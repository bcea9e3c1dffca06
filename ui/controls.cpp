// Control values, attributes, list items, callbacks and the automation entry points.
#include "ui/toolkit.h"

#include "ui/graph.h"
#include "ui/uiqt.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>

#include <cmath>

using ui::Control;
using ui::CtrlKind;

namespace {

bool IsList(const Control& c) { return c.kind == CtrlKind::Ring || c.kind == CtrlKind::ListBox; }
bool IsNumeric(const Control& c) {
  return c.kind == CtrlKind::NumericInt || c.kind == CtrlKind::NumericDbl;
}
bool IsText(const Control& c) {
  return c.kind == CtrlKind::TextField || c.kind == CtrlKind::Readout;
}

// Truncation toward zero, saturated to the int range.
int ToInt(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<int>(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0));
}

QString Text(const Control& c) {
  if (auto* le = qobject_cast<QLineEdit*>(c.widget)) return le->text();
  if (auto* l = qobject_cast<QLabel*>(c.widget)) return l->text();
  return {};
}

void SetText(Control& c, const QString& t) {
  if (auto* le = qobject_cast<QLineEdit*>(c.widget)) {
    le->setText(t);
    le->setModified(false);
  } else if (auto* l = qobject_cast<QLabel*>(c.widget)) {
    l->setText(t);
  }
}

QString FormatNumber(const Control& c, double v) {
  const QVariant p = c.widget->property("precision");
  if (p.isValid()) return QString::number(v, 'f', std::clamp(p.toInt(), 0, 15));
  return QString::number(v, 'g', 10);
}

// ---- lists

int Count(const Control& c) {
  if (auto* cb = qobject_cast<QComboBox*>(c.widget)) return cb->count();
  if (auto* lw = qobject_cast<QListWidget*>(c.widget)) return lw->count();
  return 0;
}

int Current(const Control& c) {
  if (auto* cb = qobject_cast<QComboBox*>(c.widget)) return cb->currentIndex();
  if (auto* lw = qobject_cast<QListWidget*>(c.widget)) {
    return lw->count() == 0 ? -1 : std::max(0, lw->currentRow());
  }
  return -1;
}

void SetCurrent(Control& c, int i) {
  if (auto* cb = qobject_cast<QComboBox*>(c.widget)) cb->setCurrentIndex(i);
  if (auto* lw = qobject_cast<QListWidget*>(c.widget)) lw->setCurrentRow(i);
}

double ItemValue(const Control& c, int i) {
  if (auto* cb = qobject_cast<QComboBox*>(c.widget)) return cb->itemData(i).toDouble();
  if (auto* lw = qobject_cast<QListWidget*>(c.widget)) {
    return lw->item(i)->data(Qt::UserRole).toDouble();
  }
  return 0.0;
}

QString ItemLabel(const Control& c, int i) {
  if (auto* cb = qobject_cast<QComboBox*>(c.widget)) return cb->itemText(i);
  if (auto* lw = qobject_cast<QListWidget*>(c.widget)) return lw->item(i)->text();
  return {};
}

bool SameValue(double a, double b) {
  return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::max(std::fabs(a), std::fabs(b)));
}

int IndexOfValue(const Control& c, double v) {
  for (int i = 0, n = Count(c); i < n; ++i) {
    if (SameValue(ItemValue(c, i), v)) return i;
  }
  return -1;
}

int IndexOfLabel(const Control& c, const QString& label) {
  for (int i = 0, n = Count(c); i < n; ++i) {
    if (ItemLabel(c, i).trimmed() == label.trimmed()) return i;
  }
  return -1;
}

// ---- toggles and LEDs

bool Checked(const Control& c) {
  if (auto* b = qobject_cast<QAbstractButton*>(c.widget)) return b->isChecked();
  return false;
}

QLabel* Buddy(const Control& c) {
  QWidget* top = c.widget->window();
  for (QLabel* l : top->findChildren<QLabel*>()) {
    if (l->buddy() == c.widget) return l;
  }
  return nullptr;
}

bool ShowsStateText(const Control& c) {
  return c.kind == CtrlKind::Toggle && (!c.onText.isEmpty() || !c.offText.isEmpty());
}

void UpdateToggle(Control& c) {
  if (ShowsStateText(c)) {
    if (auto* b = qobject_cast<QAbstractButton*>(c.widget)) {
      b->setText(Checked(c) ? c.onText : c.offText);
    }
  }
  ui::ApplyColors(c);
}

void SetChecked(Control& c, bool on) {
  if (c.kind == CtrlKind::Led) {
    c.ledOn = on;
    ui::ApplyColors(c);
    return;
  }
  if (auto* b = qobject_cast<QAbstractButton*>(c.widget)) b->setChecked(on);
  UpdateToggle(c);
}

// ---- key presses

class KeyRelay : public QObject {
 public:
  KeyRelay(int panel, int control, QObject* parent)
      : QObject(parent), panel_(panel), control_(control) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    auto* ke = static_cast<QKeyEvent*>(event);
    int code = 0;
    if (ke->key() == Qt::Key_Up) code = VAL_UP_ARROW_VKEY;
    if (ke->key() == Qt::Key_Down) code = VAL_DOWN_ARROW_VKEY;
    Control* c = ui::FindControl(panel_, control_, nullptr);
    if (code == 0 || c == nullptr || c->callback == nullptr) return false;
    const bool shift = ke->modifiers().testFlag(Qt::ShiftModifier);
    if (shift) code |= VAL_SHIFT_MODIFIER;
    const bool button = c->kind == CtrlKind::Toggle || c->kind == CtrlKind::Command;
    ui::Deliver(panel_, control_, EVENT_KEYPRESS, code, 0);
    // With Shift the callback owns the key; buttons have no use for arrows.
    return shift || button;
  }

 private:
  int panel_, control_;
};

void Commit(int panel, int control) {
  if (!ui::CodeIsChanging()) ui::Deliver(panel, control, EVENT_COMMIT);
}

}  // namespace

namespace ui {

QString ColorName(int rgb) {
  return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF).name();
}

// Colours set by code are a style sheet on top of the one the panel designer gave.
void ApplyColors(Control& c) {
  QWidget* w = c.widget;
  if (w == nullptr || c.kind == CtrlKind::Graph || c.kind == CtrlKind::Timer) return;
  const QVariant base = w->property("veltraBaseStyle");
  if (!base.isValid()) w->setProperty("veltraBaseStyle", w->styleSheet());
  QString css = w->property("veltraBaseStyle").toString();
  auto add = [&css](const char* what, int color) {
    if (color == kNoColor) return;
    css +=
        QString(" %1: %2;").arg(what, (color & VAL_TRANSPARENT) ? "transparent" : ColorName(color));
  };
  int bg = c.bgColor;
  if (c.kind == CtrlKind::Led) {
    bg = c.ledOn ? c.onColor : c.offColor;
    css += " border: 1px solid #404040; border-radius: 3px;";
  } else if (c.kind == CtrlKind::Toggle) {
    const int stateColor = Checked(c) ? c.onColor : c.offColor;
    if (stateColor != kNoColor) bg = stateColor;
  }
  add("color", c.textColor);
  add("background-color", bg);
  if (css.trimmed() != w->styleSheet().trimmed()) w->setStyleSheet(css.trimmed());
}

void WireControl(int panel, int control, Control& c) {
  QWidget* w = c.widget;
  const int p = panel, k = control;
  switch (c.kind) {
    case CtrlKind::Ring:
      QObject::connect(static_cast<QComboBox*>(w), &QComboBox::activated, w,
                       [p, k](int) { Commit(p, k); });
      break;
    case CtrlKind::ListBox:
      QObject::connect(static_cast<QListWidget*>(w), &QListWidget::currentRowChanged, w,
                       [p, k](int row) {
                         if (row >= 0) Commit(p, k);
                       });
      break;
    case CtrlKind::NumericInt:
      QObject::connect(static_cast<QSpinBox*>(w), &QSpinBox::valueChanged, w,
                       [p, k](int) { Commit(p, k); });
      break;
    case CtrlKind::NumericDbl:
      QObject::connect(static_cast<QDoubleSpinBox*>(w), &QDoubleSpinBox::valueChanged, w,
                       [p, k](double) { Commit(p, k); });
      break;
    case CtrlKind::TextField: {
      auto* le = static_cast<QLineEdit*>(w);
      QObject::connect(le, &QLineEdit::editingFinished, w, [p, k, le] {
        if (!le->isModified()) return;
        le->setModified(false);
        Commit(p, k);
      });
      break;
    }
    case CtrlKind::Toggle: {
      auto* b = static_cast<QAbstractButton*>(w);
      QObject::connect(b, &QAbstractButton::toggled, w, [p, k](bool) {
        if (Control* cc = FindControl(p, k, nullptr)) UpdateToggle(*cc);
      });
      QObject::connect(b, &QAbstractButton::clicked, w, [p, k](bool) { Commit(p, k); });
      UpdateToggle(c);
      break;
    }
    case CtrlKind::Command:
      QObject::connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked, w,
                       [p, k](bool) { Commit(p, k); });
      break;
    case CtrlKind::Graph:
      static_cast<GraphWidget*>(w)->onEvent = [p, k](int event, int d1, int d2) {
        Deliver(p, k, event, d1, d2);
      };
      break;
    case CtrlKind::Timer:
      QObject::connect(c.timer, &QTimer::timeout, w, [p, k] {
        Control* cc = FindControl(p, k, nullptr);
        if (cc == nullptr || !cc->enabled || cc->ticking) return;
        cc->ticking = true;
        Deliver(p, k, EVENT_TIMER_TICK);
        if (Control* again = FindControl(p, k, nullptr)) again->ticking = false;
      });
      return;
    default: break;
  }
  if (c.kind != CtrlKind::Decoration && c.kind != CtrlKind::Readout && c.kind != CtrlKind::Led) {
    w->installEventFilter(new KeyRelay(panel, control, w));
  }
}

}  // namespace ui

#define WITH_CONTROL(c)                                   \
  int status_ = UIE_NoError;                              \
  Control* c = ui::FindControl(panel, control, &status_); \
  if (c == nullptr) return status_;                       \
  ui::CodeChange change_

int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr callback, void* callbackData) {
  WITH_CONTROL(c);
  c->callback = callback;
  c->callbackData = callbackData;
  return UIE_NoError;
}

// ---------------------------------------------------------------------------------------------
// Values

namespace {

int GetNumber(Control& c, double* v) {
  switch (c.kind) {
    case CtrlKind::Ring:
    case CtrlKind::ListBox: {
      const int i = Current(c);
      if (i < 0) return UIE_IndexOutOfRange;
      *v = ItemValue(c, i);
      return UIE_NoError;
    }
    case CtrlKind::NumericInt: *v = static_cast<QSpinBox*>(c.widget.data())->value(); return 0;
    case CtrlKind::NumericDbl:
      *v = static_cast<QDoubleSpinBox*>(c.widget.data())->value();
      return 0;
    case CtrlKind::Toggle: *v = Checked(c) ? 1 : 0; return UIE_NoError;
    case CtrlKind::Led: *v = c.ledOn ? 1 : 0; return UIE_NoError;
    case CtrlKind::TextField:
    case CtrlKind::Readout: {
      bool ok = false;
      const double d = ui::ParseNumber(Text(c), &ok);
      if (!ok) return UIE_InvalidValue;
      *v = d;
      return UIE_NoError;
    }
    default: return UIE_WrongType;
  }
}

int SetNumber(Control& c, double v, bool isInt) {
  if (!std::isfinite(v) && c.kind != CtrlKind::Readout && c.kind != CtrlKind::TextField) {
    return UIE_InvalidValue;
  }
  switch (c.kind) {
    case CtrlKind::Ring:
    case CtrlKind::ListBox: {
      const int i = IndexOfValue(c, v);
      if (i < 0) return UIE_InvalidValue;
      SetCurrent(c, i);
      return UIE_NoError;
    }
    case CtrlKind::NumericInt:
      static_cast<QSpinBox*>(c.widget.data())->setValue(ToInt(v));
      return 0;
    case CtrlKind::NumericDbl: static_cast<QDoubleSpinBox*>(c.widget.data())->setValue(v); return 0;
    case CtrlKind::Toggle:
    case CtrlKind::Led: SetChecked(c, v != 0.0); return UIE_NoError;
    case CtrlKind::TextField:
    case CtrlKind::Readout:
      SetText(c, isInt ? QString::number(static_cast<long long>(v)) : FormatNumber(c, v));
      return UIE_NoError;
    default: return UIE_WrongType;
  }
}

int GetString(Control& c, QString* s) {
  switch (c.kind) {
    case CtrlKind::Ring:
    case CtrlKind::ListBox: {
      const int i = Current(c);
      if (i < 0) return UIE_IndexOutOfRange;
      *s = ItemLabel(c, i);
      return UIE_NoError;
    }
    case CtrlKind::NumericInt:
    case CtrlKind::NumericDbl: {
      auto* sb = static_cast<QAbstractSpinBox*>(c.widget.data());
      if (auto* f = dynamic_cast<ui::NumericField*>(sb)) {
        *s = QString::number(f->value(), 'f', f->Precision());
      } else if (auto* d = qobject_cast<QDoubleSpinBox*>(sb)) {
        *s = QString::number(d->value(), 'f', d->decimals());
      } else {
        *s = QString::number(static_cast<QSpinBox*>(sb)->value());
      }
      return UIE_NoError;
    }
    case CtrlKind::Toggle:
    case CtrlKind::Led: {
      const bool on = c.kind == CtrlKind::Led ? c.ledOn : Checked(c);
      *s = on ? QStringLiteral("1") : QStringLiteral("0");
      return UIE_NoError;
    }
    case CtrlKind::TextField:
    case CtrlKind::Readout: *s = Text(c); return UIE_NoError;
    default: return UIE_WrongType;
  }
}

int SetString(Control& c, const QString& s) {
  switch (c.kind) {
    case CtrlKind::TextField:
    case CtrlKind::Readout: SetText(c, s); return UIE_NoError;
    case CtrlKind::Ring:
    case CtrlKind::ListBox: {
      const int i = IndexOfLabel(c, s);
      if (i < 0) return UIE_InvalidValue;
      SetCurrent(c, i);
      return UIE_NoError;
    }
    default: {
      bool ok = false;
      const double v = ui::ParseNumber(s, &ok);
      if (!ok) return UIE_InvalidValue;
      return SetNumber(c, v, false);
    }
  }
}

}  // namespace

int GetCtrlVal(int panel, int control, int* value) {
  WITH_CONTROL(c);
  if (value == nullptr) return UIE_InvalidValue;
  double v = 0.0;
  const int r = GetNumber(*c, &v);
  if (r == UIE_NoError) *value = ToInt(v);
  return r;
}

int GetCtrlVal(int panel, int control, double* value) {
  WITH_CONTROL(c);
  if (value == nullptr) return UIE_InvalidValue;
  return GetNumber(*c, value);
}

int GetCtrlVal(int panel, int control, char* value, int bufSize) {
  ui::CopyText({}, value, bufSize);
  WITH_CONTROL(c);
  QString s;
  const int r = GetString(*c, &s);
  if (r == UIE_NoError) ui::CopyText(s, value, bufSize);
  return r;
}

int SetCtrlVal(int panel, int control, int value) {
  WITH_CONTROL(c);
  return SetNumber(*c, value, true);
}

int SetCtrlVal(int panel, int control, double value) {
  WITH_CONTROL(c);
  return SetNumber(*c, value, false);
}

int SetCtrlVal(int panel, int control, const char* value) {
  WITH_CONTROL(c);
  return SetString(*c, QString::fromUtf8(value ? value : ""));
}

// ---------------------------------------------------------------------------------------------
// Attributes

namespace {

QRect PanelRect(const Control& c) {
  QWidget* top = c.widget->window();
  const QPoint tl = c.widget->mapTo(top, QPoint(0, 0));
  return QRect(tl, c.widget->size());
}

QString LabelText(const Control& c) {
  if (QLabel* b = Buddy(c)) return b->text();
  if (auto* gb = qobject_cast<QGroupBox*>(c.widget)) return gb->title();
  if (c.kind == CtrlKind::Command || (c.kind == CtrlKind::Toggle && !ShowsStateText(c))) {
    return static_cast<QAbstractButton*>(c.widget.data())->text();
  }
  if (c.kind == CtrlKind::Readout) return Text(c);
  return c.savedLabel;
}

void SetLabelText(Control& c, const QString& t) {
  if (QLabel* b = Buddy(c)) {
    b->setText(t);
  } else if (auto* gb = qobject_cast<QGroupBox*>(c.widget)) {
    gb->setTitle(t);
  } else if (c.kind == CtrlKind::Command || (c.kind == CtrlKind::Toggle && !ShowsStateText(c))) {
    static_cast<QAbstractButton*>(c.widget.data())->setText(t);
  } else if (c.kind == CtrlKind::Readout) {
    SetText(c, t);
  }
  c.savedLabel = t;
}

int SetGeometry(Control& c, int attribute, int v) {
  QRect r = PanelRect(c);
  switch (attribute) {
    case ATTR_TOP: r.moveTop(v); break;
    case ATTR_LEFT: r.moveLeft(v); break;
    case ATTR_WIDTH: r.setWidth(std::max(0, v)); break;
    case ATTR_HEIGHT: r.setHeight(std::max(0, v)); break;
    default: return UIE_InvalidAttribute;
  }
  QWidget* parent = c.widget->parentWidget();
  const QPoint origin = parent != nullptr && parent != c.widget->window()
                            ? parent->mapTo(c.widget->window(), QPoint(0, 0))
                            : QPoint(0, 0);
  const QPoint moved = r.topLeft() - origin - c.widget->pos();
  c.widget->setGeometry(QRect(r.topLeft() - origin, r.size()));
  // The caption goes where its control goes.
  if (QLabel* b = Buddy(c); b != nullptr && !moved.isNull()) b->move(b->pos() + moved);
  return UIE_NoError;
}

// One attribute setter for every value type: numbers arrive as double, texts as QString.
int SetAttr(Control& c, int attribute, const QVariant& value) {
  const bool isText = value.typeId() == QMetaType::QString;
  bool numOk = false;
  const double d = isText ? 0.0 : value.toDouble(&numOk);
  const bool isNum = numOk && std::isfinite(d);
  const int n = isNum ? ToInt(d) : 0;
  switch (attribute) {
    case ATTR_DIMMED:
      if (!isNum) return UIE_InvalidValue;
      c.widget->setEnabled(n == 0);
      return UIE_NoError;
    case ATTR_VISIBLE:
      if (!isNum) return UIE_InvalidValue;
      if (c.kind != CtrlKind::Timer) c.widget->setVisible(n != 0);
      // A caption without its control would label nothing.
      if (QLabel* b = Buddy(c)) b->setVisible(n != 0);
      return UIE_NoError;
    case ATTR_LABEL_TEXT:
      if (!isText) return UIE_InvalidValue;
      SetLabelText(c, value.toString());
      return UIE_NoError;
    case ATTR_TOOLTIP_TEXT:
      if (!isText) return UIE_InvalidValue;
      c.widget->setToolTip(value.toString());
      return UIE_NoError;
    case ATTR_TEXT_COLOR:
    case ATTR_TEXT_BGCOLOR:
      if (!isNum) return UIE_InvalidValue;
      (attribute == ATTR_TEXT_COLOR ? c.textColor : c.bgColor) = n;
      ui::ApplyColors(c);
      return UIE_NoError;
    case ATTR_TOP:
    case ATTR_LEFT:
    case ATTR_WIDTH:
    case ATTR_HEIGHT:
      if (!isNum) return UIE_InvalidValue;
      return SetGeometry(c, attribute, n);
    case ATTR_CTRL_VAL: return isText ? SetString(c, value.toString()) : SetNumber(c, d, false);
    case ATTR_ON_TEXT:
    case ATTR_OFF_TEXT:
      if (c.kind != CtrlKind::Toggle) return UIE_InvalidAttribute;
      if (!isText) return UIE_InvalidValue;
      (attribute == ATTR_ON_TEXT ? c.onText : c.offText) = value.toString();
      UpdateToggle(c);
      return UIE_NoError;
    case ATTR_ON_COLOR:
    case ATTR_OFF_COLOR:
      if (c.kind != CtrlKind::Toggle && c.kind != CtrlKind::Led) return UIE_InvalidAttribute;
      if (!isNum) return UIE_InvalidValue;
      (attribute == ATTR_ON_COLOR ? c.onColor : c.offColor) = n;
      ui::ApplyColors(c);
      return UIE_NoError;
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE:
    case ATTR_INCR_VALUE: {
      if (!IsNumeric(c)) return UIE_InvalidAttribute;
      if (!isNum) return UIE_InvalidValue;
      if (auto* sb = qobject_cast<QSpinBox*>(c.widget)) {
        if (attribute == ATTR_MIN_VALUE) sb->setMinimum(n);
        if (attribute == ATTR_MAX_VALUE) sb->setMaximum(n);
        if (attribute == ATTR_INCR_VALUE) sb->setSingleStep(std::max(1, n));
      } else if (auto* ds = qobject_cast<QDoubleSpinBox*>(c.widget)) {
        if (attribute == ATTR_MIN_VALUE) ds->setMinimum(d);
        if (attribute == ATTR_MAX_VALUE) ds->setMaximum(d);
        if (attribute == ATTR_INCR_VALUE) ds->setSingleStep(std::fabs(d));
      }
      return UIE_NoError;
    }
    case ATTR_PRECISION:
      if (!isNum) return UIE_InvalidValue;
      if (auto* f = dynamic_cast<ui::NumericField*>(c.widget.data())) {
        f->SetPrecision(n);
      } else if (auto* ds = qobject_cast<QDoubleSpinBox*>(c.widget)) {
        ds->setDecimals(std::clamp(n, 0, 15));
      } else if (IsText(c)) {
        c.widget->setProperty("precision", std::clamp(n, 0, 15));
      } else {
        return UIE_InvalidAttribute;
      }
      return UIE_NoError;
    case ATTR_INTERVAL:
      if (c.kind != CtrlKind::Timer) return UIE_InvalidAttribute;
      if (!isNum || d <= 0.0) return UIE_InvalidValue;
      c.interval = d;
      c.timer->setInterval(std::max(1, static_cast<int>(std::min(d, 2e6) * 1000.0 + 0.5)));
      return UIE_NoError;
    case ATTR_ENABLED:
      if (c.kind != CtrlKind::Timer) return UIE_InvalidAttribute;
      if (!isNum) return UIE_InvalidValue;
      c.enabled = n != 0;
      if (c.enabled && !c.timer->isActive()) c.timer->start();
      if (!c.enabled) c.timer->stop();
      return UIE_NoError;
    default:
      if (c.kind == CtrlKind::Graph) {
        return static_cast<GraphWidget*>(c.widget.data())->SetAttr(attribute, value);
      }
      return UIE_InvalidAttribute;
  }
}

int GetAttr(Control& c, int attribute, QVariant* out) {
  switch (attribute) {
    case ATTR_DIMMED: *out = c.widget->isEnabled() ? 0 : 1; return UIE_NoError;
    case ATTR_VISIBLE:
      *out = c.kind != CtrlKind::Timer && !c.widget->isHidden() ? 1 : 0;
      return UIE_NoError;
    case ATTR_LABEL_TEXT: *out = LabelText(c); return UIE_NoError;
    case ATTR_TOOLTIP_TEXT: *out = c.widget->toolTip(); return UIE_NoError;
    case ATTR_TEXT_COLOR: *out = c.textColor == ui::kNoColor ? VAL_BLACK : c.textColor; return 0;
    case ATTR_TEXT_BGCOLOR: *out = c.bgColor == ui::kNoColor ? VAL_WHITE : c.bgColor; return 0;
    case ATTR_TOP: *out = PanelRect(c).top(); return UIE_NoError;
    case ATTR_LEFT: *out = PanelRect(c).left(); return UIE_NoError;
    case ATTR_WIDTH: *out = c.widget->width(); return UIE_NoError;
    case ATTR_HEIGHT: *out = c.widget->height(); return UIE_NoError;
    case ATTR_CTRL_VAL: {
      double v = 0.0;
      int r = GetNumber(c, &v);
      if (r == UIE_NoError) {
        *out = v;
        return r;
      }
      QString s;
      r = GetString(c, &s);
      if (r == UIE_NoError) *out = s;
      return r;
    }
    case ATTR_ON_TEXT:
    case ATTR_OFF_TEXT:
      if (c.kind != CtrlKind::Toggle) return UIE_InvalidAttribute;
      *out = attribute == ATTR_ON_TEXT ? c.onText : c.offText;
      return UIE_NoError;
    case ATTR_ON_COLOR:
    case ATTR_OFF_COLOR:
      if (c.kind != CtrlKind::Toggle && c.kind != CtrlKind::Led) return UIE_InvalidAttribute;
      *out = attribute == ATTR_ON_COLOR ? c.onColor : c.offColor;
      return UIE_NoError;
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE:
    case ATTR_INCR_VALUE:
      if (auto* sb = qobject_cast<QSpinBox*>(c.widget)) {
        *out = attribute == ATTR_MIN_VALUE   ? sb->minimum()
               : attribute == ATTR_MAX_VALUE ? sb->maximum()
                                             : sb->singleStep();
        return UIE_NoError;
      }
      if (auto* ds = qobject_cast<QDoubleSpinBox*>(c.widget)) {
        *out = attribute == ATTR_MIN_VALUE   ? ds->minimum()
               : attribute == ATTR_MAX_VALUE ? ds->maximum()
                                             : ds->singleStep();
        return UIE_NoError;
      }
      return UIE_InvalidAttribute;
    case ATTR_PRECISION:
      if (auto* f = dynamic_cast<ui::NumericField*>(c.widget.data())) {
        *out = f->Precision();
        return UIE_NoError;
      }
      if (auto* ds = qobject_cast<QDoubleSpinBox*>(c.widget)) {
        *out = ds->decimals();
        return UIE_NoError;
      }
      if (IsText(c)) {
        *out = c.widget->property("precision").isValid() ? c.widget->property("precision").toInt()
                                                         : -1;
        return UIE_NoError;
      }
      return UIE_InvalidAttribute;
    case ATTR_INTERVAL:
      if (c.kind != CtrlKind::Timer) return UIE_InvalidAttribute;
      *out = c.interval;
      return UIE_NoError;
    case ATTR_ENABLED:
      if (c.kind != CtrlKind::Timer) return UIE_InvalidAttribute;
      *out = c.enabled ? 1 : 0;
      return UIE_NoError;
    default:
      if (c.kind == CtrlKind::Graph) {
        return static_cast<GraphWidget*>(c.widget.data())->GetAttr(attribute, out);
      }
      return UIE_InvalidAttribute;
  }
}

}  // namespace

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
  WITH_CONTROL(c);
  return SetAttr(*c, attribute, QVariant(static_cast<double>(value)));
}

int SetCtrlAttribute(int panel, int control, int attribute, double value) {
  WITH_CONTROL(c);
  return SetAttr(*c, attribute, QVariant(value));
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* value) {
  WITH_CONTROL(c);
  return SetAttr(*c, attribute, QVariant(QString::fromUtf8(value ? value : "")));
}

namespace {

// The int and double getters: numbers only, a text attribute is the wrong type.
int GetNumericAttr(int panel, int control, int attribute, double* value) {
  WITH_CONTROL(c);
  if (value == nullptr) return UIE_InvalidValue;
  QVariant v;
  const int r = GetAttr(*c, attribute, &v);
  if (r != UIE_NoError) return r;
  if (v.typeId() == QMetaType::QString) return UIE_WrongType;
  *value = v.toDouble();
  return UIE_NoError;
}

}  // namespace

int GetCtrlAttribute(int panel, int control, int attribute, int* value) {
  double d = 0.0;
  const int r = GetNumericAttr(panel, control, attribute, value != nullptr ? &d : nullptr);
  if (r == UIE_NoError) *value = ToInt(d);
  return r;
}

int GetCtrlAttribute(int panel, int control, int attribute, double* value) {
  return GetNumericAttr(panel, control, attribute, value);
}

int GetCtrlAttribute(int panel, int control, int attribute, char* value, int bufSize) {
  ui::CopyText({}, value, bufSize);
  WITH_CONTROL(c);
  QVariant v;
  const int r = GetAttr(*c, attribute, &v);
  if (r != UIE_NoError) return r;
  ui::CopyText(v.toString(), value, bufSize);
  return UIE_NoError;
}

int GetCtrlBoundingRect(int panel, int control, int* top, int* left, int* height, int* width) {
  WITH_CONTROL(c);
  const QRect r = PanelRect(*c);
  if (top) *top = r.top();
  if (left) *left = r.left();
  if (height) *height = r.height();
  if (width) *width = r.width();
  return UIE_NoError;
}

// ---------------------------------------------------------------------------------------------
// List controls

int ClearListCtrl(int panel, int control) {
  WITH_CONTROL(c);
  if (!IsList(*c)) return UIE_WrongType;
  if (auto* cb = qobject_cast<QComboBox*>(c->widget)) cb->clear();
  if (auto* lw = qobject_cast<QListWidget*>(c->widget)) lw->clear();
  return UIE_NoError;
}

namespace {

int InsertItem(Control& c, int index, const char* label, double value) {
  if (!IsList(c)) return UIE_WrongType;
  const int n = Count(c);
  if (index < -1 || index > n) return UIE_IndexOutOfRange;
  if (index == -1) index = n;
  const QString text = QString::fromUtf8(label ? label : "");
  if (auto* cb = qobject_cast<QComboBox*>(c.widget)) cb->insertItem(index, text, value);
  if (auto* lw = qobject_cast<QListWidget*>(c.widget)) {
    auto* item = new QListWidgetItem(text);
    item->setData(Qt::UserRole, value);
    lw->insertItem(index, item);
    if (lw->currentRow() < 0) lw->setCurrentRow(0);
  }
  return UIE_NoError;
}

}  // namespace

int InsertListItem(int panel, int control, int index, const char* label, int value) {
  WITH_CONTROL(c);
  return InsertItem(*c, index, label, value);
}

int InsertListItem(int panel, int control, int index, const char* label, double value) {
  WITH_CONTROL(c);
  if (!std::isfinite(value)) return UIE_InvalidValue;
  return InsertItem(*c, index, label, value);
}

int GetNumListItems(int panel, int control, int* count) {
  WITH_CONTROL(c);
  if (!IsList(*c)) return UIE_WrongType;
  if (count) *count = Count(*c);
  return UIE_NoError;
}

int GetValueFromIndex(int panel, int control, int index, int* value) {
  WITH_CONTROL(c);
  if (!IsList(*c)) return UIE_WrongType;
  if (index < 0 || index >= Count(*c)) return UIE_IndexOutOfRange;
  if (value) *value = ToInt(ItemValue(*c, index));
  return UIE_NoError;
}

int GetValueFromIndex(int panel, int control, int index, double* value) {
  WITH_CONTROL(c);
  if (!IsList(*c)) return UIE_WrongType;
  if (index < 0 || index >= Count(*c)) return UIE_IndexOutOfRange;
  if (value) *value = ItemValue(*c, index);
  return UIE_NoError;
}

int GetLabelFromIndex(int panel, int control, int index, char* label, int bufSize) {
  ui::CopyText({}, label, bufSize);
  WITH_CONTROL(c);
  if (!IsList(*c)) return UIE_WrongType;
  if (index < 0 || index >= Count(*c)) return UIE_IndexOutOfRange;
  ui::CopyText(ItemLabel(*c, index), label, bufSize);
  return UIE_NoError;
}

int GetCtrlIndex(int panel, int control, int* index) {
  WITH_CONTROL(c);
  if (!IsList(*c)) return UIE_WrongType;
  if (index) *index = Current(*c);
  return UIE_NoError;
}

int SetCtrlIndex(int panel, int control, int index) {
  WITH_CONTROL(c);
  if (!IsList(*c)) return UIE_WrongType;
  if (index < 0 || index >= Count(*c)) return UIE_IndexOutOfRange;
  SetCurrent(*c, index);
  return UIE_NoError;
}

// ---------------------------------------------------------------------------------------------
// Automation

int UserSetCtrlVal(int panel, int control, const char* valueText) {
  int status = UIE_NoError;
  Control* c = ui::FindControl(panel, control, &status);
  if (c == nullptr) return status;
  if (!c->widget->isEnabled()) return UIE_Dimmed;
  const QString text = QString::fromUtf8(valueText ? valueText : "").trimmed();
  bool isNum = false;
  const double v = ui::ParseNumber(text, &isNum);
  {
    ui::CodeChange change;
    switch (c->kind) {
      case CtrlKind::Ring:
      case CtrlKind::ListBox: {
        int i = isNum ? IndexOfValue(*c, v) : -1;
        if (i < 0) i = IndexOfLabel(*c, text);
        if (i < 0) return UIE_InvalidValue;
        SetCurrent(*c, i);
        break;
      }
      case CtrlKind::NumericInt: {
        auto* sb = static_cast<QSpinBox*>(c->widget.data());
        if (!isNum || v != std::trunc(v) || v < sb->minimum() || v > sb->maximum()) {
          return UIE_InvalidValue;
        }
        sb->setValue(static_cast<int>(v));
        break;
      }
      case CtrlKind::NumericDbl: {
        auto* ds = static_cast<QDoubleSpinBox*>(c->widget.data());
        if (!isNum || !std::isfinite(v) || v < ds->minimum() || v > ds->maximum()) {
          return UIE_InvalidValue;
        }
        ds->setValue(v);
        break;
      }
      case CtrlKind::TextField: SetText(*c, text); break;
      case CtrlKind::Toggle: {
        bool on = false;
        if (isNum && (v == 0.0 || v == 1.0)) {
          on = v != 0.0;
        } else if (!c->onText.isEmpty() && text == c->onText.trimmed()) {
          on = true;
        } else if (!c->offText.isEmpty() && text == c->offText.trimmed()) {
          on = false;
        } else {
          return UIE_InvalidValue;
        }
        SetChecked(*c, on);
        break;
      }
      default: return UIE_WrongType;
    }
  }
  ui::Deliver(panel, control, EVENT_COMMIT);
  return UIE_NoError;
}

int UserPressCtrl(int panel, int control) {
  int status = UIE_NoError;
  Control* c = ui::FindControl(panel, control, &status);
  if (c == nullptr) return status;
  if (!c->widget->isEnabled()) return UIE_Dimmed;
  if (c->kind == CtrlKind::Toggle) {
    ui::CodeChange change;
    SetChecked(*c, !Checked(*c));
  } else if (c->kind != CtrlKind::Command) {
    return UIE_WrongType;
  }
  ui::Deliver(panel, control, EVENT_COMMIT);
  return UIE_NoError;
}

int UserFireEvent(int panel, int control, int event, int eventData1, int eventData2) {
  int status = UIE_NoError;
  if (ui::FindControl(panel, control, &status) == nullptr) return status;
  ui::Deliver(panel, control, event, eventData1, eventData2);
  return UIE_NoError;
}

int InstallShortcut(int panel, const char* keys, int control) {
  int status = UIE_NoError;
  if (ui::FindControl(panel, control, &status) == nullptr) return status;
  QWidget* window = PanelWidget(panel);
  const QKeySequence sequence(QString::fromUtf8(keys ? keys : ""));
  if (window == nullptr || sequence.isEmpty()) return UIE_InvalidValue;
  auto* shortcut = new QShortcut(sequence, window);
  shortcut->setContext(Qt::WindowShortcut);
  QObject::connect(shortcut, &QShortcut::activated, window,
                   [panel, control] { UserPressCtrl(panel, control); });
  return UIE_NoError;
}
