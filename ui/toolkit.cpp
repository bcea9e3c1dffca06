// Application object, event loop, clock, popups, bitmaps and file queries.
#include "ui/toolkit.h"

#include "safefile/safefile.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPixmap>
#include <QTranslator>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

const auto g_start = std::chrono::steady_clock::now();

// Qt keeps references to argc/argv for the life of the application.
int g_argc = 1;
char g_arg0[] = "veltra";
char* g_argvFallback[] = {g_arg0, nullptr};
// Never destroyed: panels may outlive main(), and Qt objects must not die after the application.
QApplication* g_app = nullptr;

bool g_quitRequested = false;
int g_quitCode = 0;
bool g_running = false;

PopupHandlerPtr g_popupHandler = nullptr;
void* g_popupData = nullptr;

// Without a screen nobody could answer a modal box: it is printed and answered "no" at once.
bool Headless() {
  return !ui::InitDone() || QGuiApplication::platformName() == QLatin1String("offscreen");
}

void PrintPopup(const char* kind, const char* title, const char* text) {
  std::fprintf(stderr, "[%s] %s: %s\n", kind, title ? title : "", text ? text : "");
}

std::map<int, QPixmap> g_bitmaps;
int g_nextBitmap = 1;

}  // namespace

namespace ui {

bool InitDone() { return QApplication::instance() != nullptr; }

void CopyText(const QString& text, char* buf, int bufSize) {
  if (buf == nullptr || bufSize <= 0) return;
  const QByteArray utf8 = text.toUtf8();
  int n = std::min<int>(utf8.size(), bufSize - 1);
  // Never cut a UTF-8 sequence in half.
  while (n > 0 && n < utf8.size() && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) --n;
  std::memcpy(buf, utf8.constData(), static_cast<size_t>(n));
  buf[n] = '\0';
}

}  // namespace ui

int InitUserInterface(int* argc, char** argv) {
  if (QApplication::instance() != nullptr) return UIE_NoError;
  int* ac = &g_argc;
  char** av = g_argvFallback;
  if (argc != nullptr && argv != nullptr && *argc > 0) {
    ac = argc;
    av = argv;
  }
  g_app = new QApplication(*ac, av);
  // Panels close through their close control, never by the last window vanishing.
  QApplication::setQuitOnLastWindowClosed(false);
  // QApplication has just taken the C library's locale from the desktop; a Russian one would
  // make printf write, and strtod read, decimal commas in fields, files and readouts. Numbers are
  // the same text in every locale; only the toolkit's own texts follow the program's language.
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(QLocale::c());
  // The standard dialogs (file selection, message box buttons) speak Russian like the panels.
  auto* qtTexts = new QTranslator(g_app);
  if (qtTexts->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                    QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(qtTexts);
  }
  return UIE_NoError;
}

int RunUserInterface() {
  if (!ui::InitDone()) return UIE_NoError;
  if (g_quitRequested) {
    g_quitRequested = false;
    return g_quitCode;
  }
  g_running = true;
  const int code = QApplication::exec();
  g_running = false;
  g_quitRequested = false;
  return code;
}

int QuitUserInterface(int code) {
  g_quitCode = code;
  if (g_running) {
    QApplication::exit(code);
  } else {
    g_quitRequested = true;  // a later RunUserInterface returns at once
  }
  return UIE_NoError;
}

int ProcessSystemEvents() {
  if (!ui::InitDone()) return UIE_NoError;
  QApplication::processEvents(QEventLoop::AllEvents);
  // Outside the event loop nothing else deletes discarded panels. Inside a callback the widget
  // that called it may be a discarded one still on the stack: the loop deletes it later.
  if (!ui::InCallback()) QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ui::FlushGraphs();
  return UIE_NoError;
}

double Timer() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - g_start).count();
}

int SetSleepPolicy(int) { return UIE_NoError; }
int GetBreakOnLibraryErrors() { return 0; }
int DisableBreakOnLibraryErrors() { return 0; }
int EnableBreakOnLibraryErrors() { return 0; }
int SetBreakOnLibraryErrors(int) { return 0; }

// ---------------------------------------------------------------------------------------------
// Popups

int SetPopupHandler(PopupHandlerPtr handler, void* handlerData) {
  g_popupHandler = handler;
  g_popupData = handlerData;
  return UIE_NoError;
}

int MessagePopup(const char* title, const char* message) {
  if (g_popupHandler != nullptr) {
    char none[1] = {0};
    g_popupHandler(POPUP_MESSAGE, title ? title : "", message ? message : "", none, 1, g_popupData);
    return UIE_NoError;
  }
  if (Headless()) {
    PrintPopup("message", title, message);
    return UIE_NoError;
  }
  QMessageBox::information(QApplication::activeWindow(), QString::fromUtf8(title ? title : ""),
                           QString::fromUtf8(message ? message : ""));
  return UIE_NoError;
}

int ConfirmPopup(const char* title, const char* message) {
  if (g_popupHandler != nullptr) {
    char none[1] = {0};
    const int r = g_popupHandler(POPUP_CONFIRM, title ? title : "", message ? message : "", none, 1,
                                 g_popupData);
    return r == VAL_YES ? VAL_YES : VAL_NO;
  }
  if (Headless()) {
    PrintPopup("confirm", title, message);
    return VAL_NO;
  }
  const auto r =
      QMessageBox::question(QApplication::activeWindow(), QString::fromUtf8(title ? title : ""),
                            QString::fromUtf8(message ? message : ""),
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  return r == QMessageBox::Yes ? VAL_YES : VAL_NO;
}

namespace {

// Named filters ("CSV (*.csv)|PNG (*.png)") when the type list has them, one per '|'.
QStringList NamedFilters(const char* types) {
  const QString t = QString::fromUtf8(types ? types : "");
  if (!t.contains('|') && !t.contains('(')) return {};
  QStringList out;
  for (const QString& f : t.split('|', Qt::SkipEmptyParts)) out << f.trimmed();
  return out;
}

// A name typed without an extension takes the chosen filter's first one.
QString WithFilterSuffix(const QString& path, const QString& filter) {
  if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) return path;
  const qsizetype star = filter.indexOf(QStringLiteral("*."));
  if (star < 0) return path;
  qsizetype end = star + 2;
  while (end < filter.size() && filter[end].isLetterOrNumber()) ++end;
  return path + filter.mid(star + 1, end - star - 1);
}

// "*.txt;*.rin" -> "*.txt *.rin (*.txt *.rin)"
QString NameFilter(const char* pattern, const char* types) {
  QStringList pats;
  for (const char* s : {pattern, types}) {
    if (s == nullptr) continue;
    for (const QString& p : QString::fromUtf8(s).split(';', Qt::SkipEmptyParts)) {
      const QString t = p.trimmed();
      if (!t.isEmpty() && !pats.contains(t)) pats << t;
    }
  }
  if (pats.isEmpty()) return {};
  const QString all = pats.join(' ');
  return all + " (" + all + ")";
}

int FileResult(const QString& path, char* pathName, int bufSize) {
  if (path.isEmpty()) {
    ui::CopyText({}, pathName, bufSize);
    return VAL_NO_FILE_SELECTED;
  }
  ui::CopyText(path, pathName, bufSize);
  return QFileInfo::exists(path) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
}

}  // namespace

int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec,
                    const char* fileTypeList, const char* title, int buttonLabel, int, int, int,
                    int allowMakeDirectory, char* pathName, int bufSize) {
  if (g_popupHandler != nullptr) {
    // The handler sees the default directory as the text and answers with a path.
    char answer[4096] = {0};
    const int r = g_popupHandler(POPUP_FILE_SELECT, title ? title : "",
                                 defaultDirectory ? defaultDirectory : "", answer, sizeof answer,
                                 g_popupData);
    answer[sizeof answer - 1] = '\0';
    if (r <= 0) return FileResult({}, pathName, bufSize);
    return FileResult(QString::fromUtf8(answer), pathName, bufSize);
  }
  if (Headless()) {
    PrintPopup("file", title, defaultDirectory);
    return FileResult({}, pathName, bufSize);
  }
  QString dir = QString::fromUtf8(defaultDirectory ? defaultDirectory : "");
  const QString pattern = QString::fromUtf8(defaultFileSpec ? defaultFileSpec : "");
  if (!pattern.isEmpty() && !pattern.contains('*')) dir = QDir(dir).filePath(pattern);
  const QStringList named = NamedFilters(fileTypeList);
  QFileDialog dialog(QApplication::activeWindow(), QString::fromUtf8(title ? title : ""), dir,
                     named.isEmpty() ? NameFilter(defaultFileSpec, fileTypeList) : QString());
  if (!named.isEmpty()) dialog.setNameFilters(named);
  // "OK" takes an existing or a new name, "Load" only an existing file, "Save" asks for a name.
  dialog.setFileMode(buttonLabel == VAL_LOAD_BUTTON ? QFileDialog::ExistingFile
                                                    : QFileDialog::AnyFile);
  dialog.setAcceptMode(buttonLabel == VAL_SAVE_BUTTON ? QFileDialog::AcceptSave
                                                      : QFileDialog::AcceptOpen);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setOption(QFileDialog::ReadOnly, allowMakeDirectory == 0);
  if (buttonLabel == VAL_OK_BUTTON) dialog.setLabelText(QFileDialog::Accept, QStringLiteral("OK"));
  QString path;
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
    path = dialog.selectedFiles().constFirst();
    if (!named.isEmpty()) path = WithFilterSuffix(path, dialog.selectedNameFilter());
  }
  return FileResult(path, pathName, bufSize);
}

// ---------------------------------------------------------------------------------------------
// Bitmaps and clipboard

int GetPanelDisplayBitmap(int panel, int scope, int top, int left, int height, int width,
                          int* bitmapId) {
  if (bitmapId != nullptr) *bitmapId = 0;
  ui::Panel* p = ui::FindPanel(panel);
  if (p == nullptr || p->widget.isNull()) return UIE_InvalidPanel;
  ui::FlushGraphs();
  QPixmap pix;
  if (scope == VAL_FULL_PANEL && width > 0 && height > 0) {
    const QRect r = QRect(left, top, width, height).intersected(p->widget->rect());
    if (r.isEmpty()) return UIE_InvalidValue;
    pix = p->widget->grab(r);
  } else {
    pix = p->widget->grab();
  }
  if (pix.isNull()) return UIE_InvalidValue;
  const int id = g_nextBitmap++;
  g_bitmaps[id] = pix;
  if (bitmapId != nullptr) *bitmapId = id;
  return UIE_NoError;
}

int ClipboardPutBitmap(int bitmapId) {
  auto it = g_bitmaps.find(bitmapId);
  if (it == g_bitmaps.end()) return UIE_InvalidValue;
  if (QClipboard* cb = QApplication::clipboard()) cb->setPixmap(it->second);
  return UIE_NoError;
}

int SaveBitmapToPNGFile(int bitmapId, const char* fileName) {
  auto it = g_bitmaps.find(bitmapId);
  if (it == g_bitmaps.end()) return UIE_InvalidValue;
  if (fileName == nullptr || *fileName == '\0') return UIE_FileError;
  // Encoded in memory, then written by the safe writer: a full disk never leaves half a
  // picture and a link under the name is never written through.
  QByteArray png;
  QBuffer buffer(&png);
  if (!buffer.open(QIODevice::WriteOnly) || !it->second.save(&buffer, "PNG")) return UIE_FileError;
  return WriteFileSafely(fileName, png.constData(), static_cast<std::size_t>(png.size())) ==
                 kFileWritten
             ? UIE_NoError
             : UIE_FileError;
}

int DiscardBitmap(int bitmapId) {
  return g_bitmaps.erase(bitmapId) > 0 ? UIE_NoError : UIE_InvalidValue;
}

// ---------------------------------------------------------------------------------------------
// Files

int GetFileInfo(const char* fileName, long* fileSize) {
  if (fileSize != nullptr) *fileSize = 0;
  if (fileName == nullptr || *fileName == '\0') return 0;
  const QFileInfo fi(QString::fromUtf8(fileName));
  if (!fi.exists() || !fi.isFile()) return 0;
  if (fileSize != nullptr) *fileSize = static_cast<long>(fi.size());
  return 1;
}
