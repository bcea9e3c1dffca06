// Panel resources, loading with QUiLoader, panel handles and callback delivery.
#include "ui/graph.h"
#include "ui/toolkit.h"
#include "ui/uiqt.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <QUiLoader>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

std::vector<std::unique_ptr<ui::Resource>> g_resources;
std::map<int, std::unique_ptr<ui::Panel>> g_panels;
int g_nextPanel = 1;
int g_callbackDepth = 0;
int g_codeDepth = 0;

const ui::Resource* FindResource(const char* file, int id) {
  if (file == nullptr) return nullptr;
  for (const auto& r : g_resources) {
    if (r->id == id && r->file == file) return r.get();
  }
  return nullptr;
}

bool Flag(const QWidget* w, const char* name) {
  const QVariant v = w->property(name);
  return v.isValid() && v.toBool();
}

ui::CtrlKind Classify(const QWidget* w) {
  using ui::CtrlKind;
  if (Flag(w, "timer")) return CtrlKind::Timer;
  if (Flag(w, "graph")) return CtrlKind::Graph;
  if (Flag(w, "led")) return CtrlKind::Led;
  if (qobject_cast<const QComboBox*>(w)) return CtrlKind::Ring;
  if (qobject_cast<const QListWidget*>(w)) return CtrlKind::ListBox;
  if (qobject_cast<const QSpinBox*>(w)) return CtrlKind::NumericInt;
  if (qobject_cast<const QDoubleSpinBox*>(w)) return CtrlKind::NumericDbl;
  if (qobject_cast<const QLineEdit*>(w)) return CtrlKind::TextField;
  if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w)) {
    return CtrlKind::Toggle;
  }
  if (const auto* b = qobject_cast<const QAbstractButton*>(w)) {
    return b->isCheckable() ? CtrlKind::Toggle : CtrlKind::Command;
  }
  if (qobject_cast<const QLabel*>(w)) return CtrlKind::Readout;
  return CtrlKind::Decoration;
}

int ColorProperty(const QWidget* w, const char* name) {
  const QVariant v = w->property(name);
  if (!v.isValid()) return ui::kNoColor;
  const QColor c = v.canConvert<QColor>() ? v.value<QColor>() : QColor(v.toString());
  if (!c.isValid()) return ui::kNoColor;
  return MakeColor(c.red(), c.green(), c.blue());
}

// Ring and list items carry their values in the string-list property "values", one per item;
// without it (or for an entry that is no number) an item's value is its index.
void LoadItemValues(ui::Control& c) {
  const QStringList values = c.widget->property("values").toStringList();
  auto valueOf = [&values](int i) {
    bool ok = false;
    const double v = i < values.size() ? values[i].trimmed().toDouble(&ok) : 0.0;
    return ok && std::isfinite(v) ? v : static_cast<double>(i);
  };
  if (auto* cb = qobject_cast<QComboBox*>(c.widget)) {
    for (int i = 0; i < cb->count(); ++i) cb->setItemData(i, valueOf(i));
  } else if (auto* lw = qobject_cast<QListWidget*>(c.widget)) {
    for (int i = 0; i < lw->count(); ++i) lw->item(i)->setData(Qt::UserRole, valueOf(i));
  }
}

// Loads forms with the toolkit's own widget classes where Qt's would behave differently.
class FormLoader : public QUiLoader {
 public:
  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    if (className == QLatin1String("QDoubleSpinBox")) {
      auto* w = new ui::NumericField(parent);
      w->setObjectName(name);
      return w;
    }
    return QUiLoader::createWidget(className, parent, name);
  }
};

void SetUpControl(ui::Control& c) {
  QWidget* w = c.widget;
  switch (c.kind) {
    case ui::CtrlKind::Ring:
    case ui::CtrlKind::ListBox: LoadItemValues(c); break;
    case ui::CtrlKind::NumericInt:
    case ui::CtrlKind::NumericDbl:
      // Typing alone is not a commit; Enter, focus loss or a step is.
      static_cast<QAbstractSpinBox*>(w)->setKeyboardTracking(false);
      if (auto* f = dynamic_cast<ui::NumericField*>(w)) f->SetPrecision(f->decimals());
      break;
    case ui::CtrlKind::Toggle:
      c.onText = w->property("onText").toString();
      c.offText = w->property("offText").toString();
      c.onColor = ColorProperty(w, "onColor");
      c.offColor = ColorProperty(w, "offColor");
      if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (!b->isCheckable()) b->setCheckable(true);
      }
      break;
    case ui::CtrlKind::Led:
      c.onColor = ColorProperty(w, "onColor");
      c.offColor = ColorProperty(w, "offColor");
      if (c.onColor == ui::kNoColor) c.onColor = VAL_GREEN;
      if (c.offColor == ui::kNoColor) c.offColor = VAL_DK_GREEN;
      c.ledOn = Flag(w, "on");
      break;
    case ui::CtrlKind::Graph: {
      GraphWidget* g = ui::MakeGraph(w);
      c.widget = g;
      break;
    }
    case ui::CtrlKind::Timer: {
      w->hide();
      const QVariant iv = w->property("interval");
      if (iv.isValid()) c.interval = iv.toDouble();
      if (!(c.interval > 0.0)) c.interval = 0.1;
      c.interval = std::min(c.interval, 2e6);  // QTimer counts in int milliseconds
      const QVariant ev = w->property("enabled");
      c.enabled = !ev.isValid() || ev.toBool();
      c.timer = new QTimer(w);
      c.timer->setInterval(std::max(1, static_cast<int>(c.interval * 1000.0 + 0.5)));
      if (c.enabled) c.timer->start();
      break;
    }
    default: break;
  }
  ui::ApplyColors(c);
}

// Closing a panel's window operates its close control, or only hides the panel.
class CloseFilter : public QObject {
 public:
  CloseFilter(int panel, QObject* parent) : QObject(parent), panel_(panel) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Close) return QObject::eventFilter(watched, event);
    ui::Panel* p = ui::FindPanel(panel_);
    if (p == nullptr) return false;
    event->ignore();
    if (p->closeCtrl > 0 && p->closeCtrl <= static_cast<int>(p->controls.size())) {
      const int ctrl = p->closeCtrl;
      QTimer::singleShot(0, [panel = panel_, ctrl] { ui::Deliver(panel, ctrl, EVENT_COMMIT); });
    } else if (p->widget) {
      p->widget->hide();
    }
    return true;
  }

 private:
  int panel_;
};

void DestroyWidget(QWidget* w) {
  if (w == nullptr) return;
  w->hide();
  // A callback of this very panel may be on the stack: let the event loop delete it.
  if (ui::InCallback()) {
    w->deleteLater();
  } else {
    delete w;
  }
}

}  // namespace

namespace ui {

Panel* FindPanel(int handle) {
  auto it = g_panels.find(handle);
  if (it == g_panels.end() || it->second->widget.isNull()) return nullptr;
  return it->second.get();
}

Control* FindControl(int panel, int control, int* status) {
  Panel* p = FindPanel(panel);
  if (p == nullptr) {
    if (status) *status = UIE_InvalidPanel;
    return nullptr;
  }
  if (control < 1 || control > static_cast<int>(p->controls.size()) ||
      p->controls[control - 1].widget.isNull()) {
    if (status) *status = UIE_InvalidControl;
    return nullptr;
  }
  if (status) *status = UIE_NoError;
  return &p->controls[control - 1];
}

const std::map<int, std::unique_ptr<Panel>>& Panels() { return g_panels; }

void Deliver(int panel, int control, int event, int data1, int data2) {
  Control* c = FindControl(panel, control, nullptr);
  if (c == nullptr || c->callback == nullptr) return;
  CtrlCallbackPtr cb = c->callback;
  void* data = c->callbackData;
  ++g_callbackDepth;
  cb(panel, control, event, data, data1, data2);
  --g_callbackDepth;
}

// Digits enough to keep any value a person or the analyzer works with (down to 1e-40).
constexpr int kKeptDecimals = 60;

void NumericField::SetPrecision(int digits) {
  precision_ = std::clamp(digits, 0, 15);
  setDecimals(kKeptDecimals);  // also redraws the text
}

QString NumericField::textFromValue(double value) const {
  QString s = locale().toString(value, 'f', precision_);
  if (!isGroupSeparatorShown()) s.remove(locale().groupSeparator());
  return s;
}

QValidator::State NumericField::validate(QString& input, int& pos) const {
  input.replace(QLatin1Char(','), QLatin1Char('.'));
  return QDoubleSpinBox::validate(input, pos);
}

double NumericField::valueFromText(const QString& text) const {
  QString t = text;
  t.replace(QLatin1Char(','), QLatin1Char('.'));
  return QDoubleSpinBox::valueFromText(t);
}

double ParseNumber(const QString& text, bool* ok) {
  QString t = text.trimmed();
  t.replace(QLatin1Char(','), QLatin1Char('.'));
  return QLocale::c().toDouble(t, ok);
}

bool InCallback() { return g_callbackDepth > 0; }
bool CodeIsChanging() { return g_codeDepth > 0; }
CodeChange::CodeChange() { ++g_codeDepth; }
CodeChange::~CodeChange() { --g_codeDepth; }

}  // namespace ui

int RegisterPanelResource(const char* resourceFile, int resourceId, const char* uiPath,
                          const char* const* roles, int roleCount) {
  if (resourceFile == nullptr || uiPath == nullptr || roleCount < 0 ||
      (roleCount > 0 && roles == nullptr)) {
    return UIE_InvalidValue;
  }
  for (auto& r : g_resources) {
    if (r->id == resourceId && r->file == resourceFile) {
      r->uiPath = QString::fromUtf8(uiPath);
      r->roles = roles;
      r->roleCount = roleCount;
      return UIE_NoError;
    }
  }
  auto r = std::make_unique<ui::Resource>();
  r->file = resourceFile;
  r->id = resourceId;
  r->uiPath = QString::fromUtf8(uiPath);
  r->roles = roles;
  r->roleCount = roleCount;
  g_resources.push_back(std::move(r));
  return UIE_NoError;
}

int LoadPanel(int parentPanel, const char* resourceFile, int resourceId) {
  if (!ui::InitDone()) return UIE_ResourceMissing;
  const ui::Resource* res = FindResource(resourceFile, resourceId);
  if (res == nullptr) return UIE_ResourceMissing;
  ui::Panel* parent = nullptr;
  if (parentPanel != 0) {
    parent = ui::FindPanel(parentPanel);
    if (parent == nullptr) return UIE_InvalidPanel;
  }
  QFile file(res->uiPath);
  if (!file.open(QIODevice::ReadOnly)) return UIE_ResourceMissing;
  FormLoader loader;
  QWidget* w = loader.load(&file, nullptr);
  if (w == nullptr) return UIE_ResourceMalformed;

  auto panel = std::make_unique<ui::Panel>();
  panel->resource = res;
  panel->widget = w;
  panel->controls.resize(static_cast<size_t>(res->roleCount));
  for (int i = 0; i < res->roleCount; ++i) {
    const char* role = res->roles[i] ? res->roles[i] : "";
    QWidget* cw = *role ? w->findChild<QWidget*>(QString::fromUtf8(role)) : nullptr;
    if (cw == nullptr) {
      delete w;
      return UIE_RoleMissing;
    }
    ui::Control& c = panel->controls[static_cast<size_t>(i)];
    c.role = role;
    c.widget = cw;
    c.kind = Classify(cw);
  }

  const int handle = g_nextPanel++;
  panel->handle = handle;
  if (parent != nullptr) {
    w->setParent(parent->widget, Qt::Window);
  }
  w->installEventFilter(new CloseFilter(handle, w));
  ui::Panel* p = panel.get();
  g_panels[handle] = std::move(panel);
  for (int i = 0; i < res->roleCount; ++i) {
    ui::Control& c = p->controls[static_cast<size_t>(i)];
    SetUpControl(c);
    ui::WireControl(handle, i + 1, c);
  }
  return handle;
}

int DiscardPanel(int panel) {
  auto it = g_panels.find(panel);
  if (it == g_panels.end()) return UIE_InvalidPanel;
  QPointer<QWidget> w = it->second->widget;
  g_panels.erase(it);
  // Child panels die with their parent's window.
  for (auto c = g_panels.begin(); c != g_panels.end();) {
    QWidget* cw = c->second->widget;
    bool child = cw == nullptr;
    for (QWidget* a = cw; a != nullptr && !child; a = a->parentWidget()) child = a == w;
    c = child ? g_panels.erase(c) : std::next(c);
  }
  DestroyWidget(w);
  return UIE_NoError;
}

int DisplayPanel(int panel) {
  ui::Panel* p = ui::FindPanel(panel);
  if (p == nullptr) return UIE_InvalidPanel;
  p->widget->show();
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) p->widget->raise();
  return UIE_NoError;
}

int PlacePanelBeside(int panel, int anchorPanel) {
  ui::Panel* p = ui::FindPanel(panel);
  ui::Panel* a = ui::FindPanel(anchorPanel);
  if (p == nullptr || a == nullptr) return UIE_InvalidPanel;
  const QRect frame = a->widget->frameGeometry();
  int left = frame.right() + 8;
  if (const QScreen* screen = a->widget->screen()) {
    const QRect room = screen->availableGeometry();
    if (left + p->widget->frameGeometry().width() > room.right())
      left = std::max(room.left(), frame.right() - p->widget->frameGeometry().width() - 8);
  }
  p->widget->move(left, frame.top() + 40);
  return UIE_NoError;
}

int HidePanel(int panel) {
  ui::Panel* p = ui::FindPanel(panel);
  if (p == nullptr) return UIE_InvalidPanel;
  p->widget->hide();
  return UIE_NoError;
}

int SetPanelAttribute(int panel, int attribute, const char* value) {
  ui::Panel* p = ui::FindPanel(panel);
  if (p == nullptr) return UIE_InvalidPanel;
  if (attribute != ATTR_TITLE) return UIE_InvalidAttribute;
  p->widget->setWindowTitle(QString::fromUtf8(value ? value : ""));
  return UIE_NoError;
}

int SetPanelAttribute(int panel, int attribute, int value) {
  ui::Panel* p = ui::FindPanel(panel);
  if (p == nullptr) return UIE_InvalidPanel;
  switch (attribute) {
    case ATTR_VISIBLE: p->widget->setVisible(value != 0); return UIE_NoError;
    case ATTR_DIMMED: p->widget->setEnabled(value == 0); return UIE_NoError;
    case ATTR_CLOSE_CTRL:
      if (value < 0 || value > static_cast<int>(p->controls.size())) return UIE_InvalidControl;
      p->closeCtrl = value;
      return UIE_NoError;
    case ATTR_TOP: p->widget->move(p->widget->x(), value); return UIE_NoError;
    case ATTR_LEFT: p->widget->move(value, p->widget->y()); return UIE_NoError;
    case ATTR_WIDTH: p->widget->resize(std::max(1, value), p->widget->height()); return UIE_NoError;
    case ATTR_HEIGHT: p->widget->resize(p->widget->width(), std::max(1, value)); return UIE_NoError;
    default: return UIE_InvalidAttribute;
  }
}

int GetPanelAttribute(int panel, int attribute, int* value) {
  ui::Panel* p = ui::FindPanel(panel);
  if (p == nullptr) return UIE_InvalidPanel;
  if (value == nullptr) return UIE_InvalidValue;
  switch (attribute) {
    case ATTR_VISIBLE: *value = p->widget->isVisible() ? 1 : 0; return UIE_NoError;
    case ATTR_DIMMED: *value = p->widget->isEnabled() ? 0 : 1; return UIE_NoError;
    case ATTR_CLOSE_CTRL: *value = p->closeCtrl; return UIE_NoError;
    case ATTR_TOP: *value = p->widget->y(); return UIE_NoError;
    case ATTR_LEFT: *value = p->widget->x(); return UIE_NoError;
    case ATTR_WIDTH: *value = p->widget->width(); return UIE_NoError;
    case ATTR_HEIGHT: *value = p->widget->height(); return UIE_NoError;
    default: return UIE_InvalidAttribute;
  }
}

// ---------------------------------------------------------------------------------------------
// Automation look-ups

int FindCtrlByRole(const char* role, int* panel, int* control) {
  if (role == nullptr || *role == '\0') return UIE_InvalidControl;
  for (const auto& [handle, p] : g_panels) {
    if (p->widget.isNull()) continue;
    for (size_t i = 0; i < p->controls.size(); ++i) {
      if (std::strcmp(p->controls[i].role, role) == 0) {
        if (panel) *panel = handle;
        if (control) *control = static_cast<int>(i) + 1;
        return UIE_NoError;
      }
    }
  }
  return UIE_InvalidControl;
}

const char* GetCtrlRole(int panel, int control) {
  ui::Control* c = ui::FindControl(panel, control, nullptr);
  return c != nullptr ? c->role : "";
}

// ---------------------------------------------------------------------------------------------
// Qt-side access (uiqt.h)

QWidget* PanelWidget(int panel) {
  ui::Panel* p = ui::FindPanel(panel);
  return p != nullptr ? p->widget.data() : nullptr;
}

QWidget* CtrlWidget(int panel, int control) {
  ui::Control* c = ui::FindControl(panel, control, nullptr);
  return c != nullptr ? c->widget.data() : nullptr;
}
