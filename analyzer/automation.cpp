// Command-line automation on top of the toolkit's user-action functions: every action goes
// through the same controls and callbacks a person uses.
#include "analyzer/automation.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "analyzer/dkv.h"
#include "analyzer/export.h"
#include "analyzer/initstruct.h"
#include "analyzer/live.h"
#include "analyzer/menager_panel.h"
#include "analyzer/numtext.h"
#include "analyzer/panels.h"
#include "analyzer/save.h"
#include "ui/userint.h"

namespace {

// A run that does not end within this many ticks is reported instead of waited for.

std::deque<std::string> g_fileAnswers;
std::vector<std::string> g_popups;

int PrintPopup(int kind, const char* title, const char* text, char* answer, int answerSize, void*) {
  g_popups.push_back(std::string(title) + ": " + text);
  switch (kind) {
    case POPUP_CONFIRM:
      std::fprintf(stderr, "veltra: [%s] %s -> да\n", title, text);
      return VAL_YES;
    case POPUP_FILE_SELECT: {
      if (g_fileAnswers.empty()) {
        std::fprintf(stderr, "veltra: [%s] файл не задан (--file), выбор отменён\n", title);
        return VAL_NO_FILE_SELECTED;
      }
      const std::string path = g_fileAnswers.front();
      g_fileAnswers.pop_front();
      std::snprintf(answer, static_cast<size_t>(answerSize), "%s", path.c_str());
      std::fprintf(stderr, "veltra: [%s] %s\n", title, path.c_str());
      return GetFileInfo(path.c_str(), nullptr) == 1 ? VAL_EXISTING_FILE_SELECTED
                                                     : VAL_NEW_FILE_SELECTED;
    }
    default: std::fprintf(stderr, "veltra: [%s] %s\n", title, text); return 0;
  }
}

bool Find(const std::string& role, int* panel, int* control) {
  return FindCtrlByRole(role.c_str(), panel, control) == 0;
}

bool UsesControl(AutomationAction::Kind k) {
  return k == AutomationAction::Set || k == AutomationAction::Press || k == AutomationAction::Get;
}

// What a control holds, as one line of text: a number in full (not rounded to the digits the
// field shows, and with a point in every locale), anything else as the panel shows it.
std::string ControlText(int panel, int control) {
  char text[1024] = "";
  GetCtrlVal(panel, control, text, sizeof text);
  double shown = 0.0, v = 0.0;
  if (ParseDecimal(text, &shown) && GetCtrlVal(panel, control, &v) == 0) {
    char num[64];
    const auto r = std::to_chars(num, num + sizeof num, v);
    return std::string(num, r.ptr);
  }
  std::string s = text;
  for (char& c : s) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return s;
}

}  // namespace

const std::vector<std::string>& AutomationPopups() { return g_popups; }

int CheckAutomationRoles(const AutomationPlan& plan, std::string* error) {
  for (const auto& a : plan.actions) {
    if (!UsesControl(a.kind)) continue;
    int panel = 0, control = 0;
    if (!Find(a.role, &panel, &control)) {
      *error = "на панелях нет элемента «" + a.role + "»";
      return 2;
    }
  }
  return 0;
}

namespace {

// A measurement tick as the timer gives it, after the link has finished what it was given
// (a person's link answers within a tick or two; a script must not depend on it).
void ScriptTick() {
  WaitLink5128();
  UserFireEvent(mainpanel, MAIN_TimerTick, EVENT_TIMER_TICK, 0, 0);
}

}  // namespace

int RunAutomation(const AutomationPlan& plan, std::string* error) {
  // Scripted ticks follow each other at once: each waits for live input to bring a block.
  struct LiveWait {
    int was = SetLiveWait(2000);
    ~LiveWait() { SetLiveWait(was); }
  } liveWait;
  g_popups.clear();
  g_fileAnswers.clear();
  SetPopupHandler(PrintPopup, nullptr);
  for (const auto& a : plan.actions) {
    // A script acts on what the previous action brought about, the front-end link's outcome
    // included (the panels themselves never wait for the link).
    WaitLink5128();
    int panel = 0, control = 0;
    if (UsesControl(a.kind) && !Find(a.role, &panel, &control)) {
      *error = "на панелях нет элемента «" + a.role + "»";
      return 2;
    }
    switch (a.kind) {
      case AutomationAction::Set: {
        const int r = UserSetCtrlVal(panel, control, a.value.c_str());
        if (r < 0) {
          *error = "элемент «" + a.role + "» не принимает значение «" + a.value + "»";
          return 2;
        }
        break;
      }
      case AutomationAction::Press: {
        if (UserPressCtrl(panel, control) < 0) {
          *error = "элемент «" + a.role + "» нельзя нажать";
          return 2;
        }
        break;
      }
      case AutomationAction::Get:
        std::printf("%s\n", ControlText(panel, control).c_str());
        std::fflush(stdout);
        break;
      case AutomationAction::File: g_fileAnswers.push_back(a.value); break;
      case AutomationAction::Ticks:
        // Nobody looks between the ticks: the windows are drawn once, after the last.
        DeferRedraw(true);
        for (long i = 0; i < a.number; ++i) {
          ScriptTick();
        }
        DeferRedraw(false);
        break;
      case AutomationAction::Run: {
        DeferRedraw(true);
        const int status =
            RunToEnd([] { UserSetCtrlVal(mainpanel, MAIN_StartButton, "1"); }, ScriptTick, error);
        DeferRedraw(false);
        if (status != 0) return status;
        break;
      }
      case AutomationAction::Save:
        if (const int kind = ExportKindOf(a.value.c_str()); kind != kExportText) {
          if (SaveResultExport(static_cast<int>(a.number) - 1, a.value.c_str(), kind) != 1) {
            *error = "--save: не удалось записать «" + a.value + "»";
            return 3;
          }
          break;
        }
        SetResultName(a.value.c_str());
        if (SaveInfData(static_cast<int>(a.number) - 1) != 1) {
          *error = "--save: не удалось записать «" + a.value + "»";
          return 3;
        }
        break;
      case AutomationAction::Grab: {
        ProcessSystemEvents();
        int bitmap = 0;
        if (GetPanelDisplayBitmap(mainpanel, VAL_FULL_PANEL, 0, 0, 0, 0, &bitmap) < 0) {
          *error = "--grab: не удалось снять изображение панели";
          return 3;
        }
        const int r = SaveBitmapToPNGFile(bitmap, a.value.c_str());
        DiscardBitmap(bitmap);
        if (r < 0) {
          *error = "--grab: не удалось записать «" + a.value + "»";
          return 3;
        }
        break;
      }
      case AutomationAction::Quit: {
        // Exit shows a message only when a settings file could not be written.
        const size_t before = g_popups.size();
        UserPressCtrl(mainpanel, MAIN_QuitButton);
        if (g_popups.size() > before) {
          *error = "--quit: настройки сохранены не полностью (см. сообщение выше)";
          return 3;
        }
        return 0;
      }
    }
  }
  WaitLink5128();
  return 0;
}
