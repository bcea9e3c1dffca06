// Panel state files: an INI file, one group per index, one key per control role.
//
// Per role: the value (ring/list: selected index, with its item labels and values so that a
// ring refilled at run time comes back with the same items), plus the attributes code changes
// at run time: on/off texts and colours, text colours. Dimming is not kept: it follows from the
// values and the program's rules, and a file must never lock a control.
//
// QSettings reads and writes only a private copy in a scratch folder; the real file is read
// and written by the safe reader and writer, which follow no link and wait on no pipe.
#include "safefile/safefile.h"
#include "ui/toolkit.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QSettings>
#include <QSpinBox>

#include <cmath>

using ui::Control;
using ui::CtrlKind;

namespace {

bool Saved(const Control& c) {
  return c.kind != CtrlKind::Graph && c.kind != CtrlKind::Timer && c.kind != CtrlKind::Command &&
         c.kind != CtrlKind::Decoration;
}

QString Key(const Control& c, const char* suffix = nullptr) {
  QString k = QString::fromUtf8(c.role);
  if (suffix != nullptr) k += QLatin1Char('.') + QLatin1String(suffix);
  return k;
}

void SaveControl(QSettings& s, int panel, int control, const Control& c) {
  if (c.kind == CtrlKind::Ring || c.kind == CtrlKind::ListBox) {
    int index = -1, n = 0;
    GetCtrlIndex(panel, control, &index);
    GetNumListItems(panel, control, &n);
    QStringList labels, values;
    for (int i = 0; i < n; ++i) {
      char label[512];
      double v = 0.0;
      GetLabelFromIndex(panel, control, i, label, sizeof label);
      GetValueFromIndex(panel, control, i, &v);
      labels << QString::fromUtf8(label);
      values << QString::number(v, 'g', 17);
    }
    s.setValue(Key(c), index);
    s.setValue(Key(c, "labels"), labels);
    s.setValue(Key(c, "values"), values);
  } else if (c.kind == CtrlKind::TextField || c.kind == CtrlKind::Readout) {
    char text[4096];
    GetCtrlVal(panel, control, text, sizeof text);
    s.setValue(Key(c), QString::fromUtf8(text));
  } else {
    double v = 0.0;
    if (GetCtrlVal(panel, control, &v) == UIE_NoError)
      s.setValue(Key(c), QString::number(v, 'g', 17));
  }
  if (c.kind == CtrlKind::Toggle) {
    s.setValue(Key(c, "onText"), c.onText);
    s.setValue(Key(c, "offText"), c.offText);
  }
  if (c.onColor != ui::kNoColor) s.setValue(Key(c, "onColor"), c.onColor);
  if (c.offColor != ui::kNoColor) s.setValue(Key(c, "offColor"), c.offColor);
  if (c.textColor != ui::kNoColor) s.setValue(Key(c, "textColor"), c.textColor);
  if (c.bgColor != ui::kNoColor) s.setValue(Key(c, "bgColor"), c.bgColor);
}

bool ReadInt(const QSettings& s, const QString& key, int* out) {
  if (!s.contains(key)) return false;
  bool ok = false;
  const int v = s.value(key).toInt(&ok);
  if (ok) *out = v;
  return ok;
}

// Values that do not parse or do not fit the control leave it as the resource made it.
void RecallControl(QSettings& s, int panel, int control, Control& c) {
  const QString key = Key(c);
  if (c.kind == CtrlKind::Ring || c.kind == CtrlKind::ListBox) {
    const QStringList labels = s.value(Key(c, "labels")).toStringList();
    const QStringList values = s.value(Key(c, "values")).toStringList();
    // An empty saved list keeps the resource items: a ring is never left without choices.
    if (!labels.isEmpty() && labels.size() == values.size()) {
      std::vector<double> parsed;
      bool allOk = true;
      for (const QString& t : values) {
        bool ok = false;
        const double v = t.toDouble(&ok);
        allOk = allOk && ok && std::isfinite(v);
        parsed.push_back(v);
      }
      if (allOk) {
        ClearListCtrl(panel, control);
        for (int i = 0; i < labels.size(); ++i) {
          InsertListItem(panel, control, -1, labels[i].toUtf8().constData(),
                         parsed[static_cast<size_t>(i)]);
        }
      }
    }
    int index = -1;
    if (ReadInt(s, key, &index)) SetCtrlIndex(panel, control, index);
  } else if (s.contains(key)) {
    const QByteArray text = s.value(key).toString().toUtf8();
    if (c.kind == CtrlKind::TextField || c.kind == CtrlKind::Readout) {
      SetCtrlVal(panel, control, text.constData());
    } else {
      bool ok = false;
      const double v = QString::fromUtf8(text).toDouble(&ok);
      if (ok && std::isfinite(v)) SetCtrlVal(panel, control, v);
    }
  }
  if (c.kind == CtrlKind::Toggle) {
    for (auto [suffix, attr] :
         {std::pair{"onText", ATTR_ON_TEXT}, std::pair{"offText", ATTR_OFF_TEXT}}) {
      if (s.contains(Key(c, suffix))) {
        SetCtrlAttribute(panel, control, attr,
                         s.value(Key(c, suffix)).toString().toUtf8().constData());
      }
    }
  }
  const std::pair<const char*, int> colors[] = {{"onColor", ATTR_ON_COLOR},
                                                {"offColor", ATTR_OFF_COLOR},
                                                {"textColor", ATTR_TEXT_COLOR},
                                                {"bgColor", ATTR_TEXT_BGCOLOR}};
  for (auto [suffix, attr] : colors) {
    int v = 0;
    if (ReadInt(s, Key(c, suffix), &v)) SetCtrlAttribute(panel, control, attr, v);
  }
}

// Larger files are no panel state.
constexpr std::size_t kStateFileLimit = 16 * 1024 * 1024;

// A scratch folder holding the private copy QSettings works on, removed with the object.
struct ScratchCopy {
  std::string dir;
  QString path;
  ~ScratchCopy() { RemoveScratchDir(dir); }
  bool Make(const std::string& bytes) {
    if (!MakeScratchDir(&dir)) return false;
    path = QString::fromStdString(dir) + QStringLiteral("/state.ini");
    QFile f(path);
    return f.open(QIODevice::WriteOnly) &&
           f.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
  }
};

// Writes one section afresh (no stale keys of removed roles) and keeps the other sections.
QSettings::Status WriteSection(const QString& path, const ui::Panel& p, int index) {
  QSettings s(path, QSettings::IniFormat);
  s.beginGroup(QString::number(index));
  s.remove(QString());
  for (size_t i = 0; i < p.controls.size(); ++i) {
    const Control& c = p.controls[i];
    if (c.widget.isNull() || !Saved(c)) continue;
    SaveControl(s, p.handle, static_cast<int>(i) + 1, c);
  }
  s.endGroup();
  s.sync();
  return s.status();
}

}  // namespace

int SavePanelState(int panel, const char* fileName, int index) {
  ui::Panel* p = ui::FindPanel(panel);
  if (p == nullptr) return UIE_InvalidPanel;
  if (fileName == nullptr || *fileName == '\0') return UIE_FileError;
  const QFileInfo target(QString::fromUtf8(fileName));
  if (!target.absoluteDir().exists() || target.isDir()) return UIE_FileError;
  // The other sections of the file are kept; a missing or unreadable file has none.
  std::string old;
  if (!ReadPlainFile(fileName, &old, kStateFileLimit)) old.clear();
  ScratchCopy copy;
  if (!copy.Make(old)) return UIE_FileError;
  QSettings::Status status = WriteSection(copy.path, *p, index);
  // QSettings keeps the parse error of a damaged file whether or not the write worked: such a
  // file is replaced by a fresh one, whose status then tells.
  if (status == QSettings::FormatError && QFile::remove(copy.path))
    status = WriteSection(copy.path, *p, index);
  if (status != QSettings::NoError) return UIE_FileError;
  QFile written(copy.path);
  if (!written.open(QIODevice::ReadOnly)) return UIE_FileError;
  const QByteArray bytes = written.readAll();
  return WriteFileSafely(fileName, bytes.constData(), static_cast<std::size_t>(bytes.size())) ==
                 kFileWritten
             ? UIE_NoError
             : UIE_FileError;
}

int RecallPanelState(int panel, const char* fileName, int index) {
  ui::Panel* p = ui::FindPanel(panel);
  if (p == nullptr) return UIE_InvalidPanel;
  std::string bytes;
  if (fileName == nullptr || !ReadPlainFile(fileName, &bytes, kStateFileLimit))
    return UIE_FileError;
  // Without a scratch folder the checked file itself is read: the settings are not lost.
  ScratchCopy copy;
  QSettings s(copy.Make(bytes) ? copy.path : QString::fromUtf8(fileName), QSettings::IniFormat);
  if (s.status() != QSettings::NoError) return UIE_FileError;
  s.beginGroup(QString::number(index));
  for (size_t i = 0; i < p->controls.size(); ++i) {
    Control& c = p->controls[i];
    if (c.widget.isNull() || !Saved(c)) continue;
    RecallControl(s, panel, static_cast<int>(i) + 1, c);
  }
  s.endGroup();
  return UIE_NoError;
}
