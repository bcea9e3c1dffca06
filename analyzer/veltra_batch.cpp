// veltra-batch: the measurement of veltra from the command line, without panels. It reads the
// same actions as `veltra --offscreen` and writes the same result files, byte for byte.
#include <cstdio>
#include <cstring>
#include <string>

#include "analyzer/automation_plan.h"
#include "analyzer/export.h"
#include "analyzer/live.h"
#include "analyzer/menager.h"
#include "analyzer/model.h"
#include "analyzer/notify.h"
#include "analyzer/panels.h"
#include "analyzer/roles.h"
#include "analyzer/save.h"
#include "analyzer/sources.h"

namespace {

const char* const kUsage =
    "Использование: veltra-batch [действия]\n"
    "Измерение veltra без окна: те же действия, что у veltra --offscreen, те же файлы\n"
    "результатов. Настройки начинаются с тех, что показывает первый запуск программы\n"
    "(калибровка — из \"Calibr.inf\" текущей папки, если он есть).\n"
    "  --set РОЛЬ=ЗНАЧЕНИЕ  установить элемент, как это сделал бы оператор\n"
    "  --press РОЛЬ         нажать кнопку (генератор, входы записи, окна, старт)\n"
    "  --file ПУТЬ          запись для следующего выбора источника «Файл записи»\n"
    "  --ticks N            выполнить N тактов измерения\n"
    "  --run                запустить измерение и ждать его окончания\n"
    "  --save W=ПУТЬ        сохранить результат окна W (1 или 2); .csv — таблица CSV\n"
    "  --get РОЛЬ           напечатать значение элемента (одна строка)\n"
    "  --quit               закончить (настройки veltra-batch не сохраняет)\n"
    "Рисунки окон (--grab, --save в .png/.svg) делает только veltra.\n";

// Every role of the panels, to tell a control veltra-batch lacks from a misspelt one.
#define VELTRA_ROLE_NAME(role, cb) #role,
const char* const kPanelRoles[] = {VELTRA_MAIN_ROLES(VELTRA_ROLE_NAME) VELTRA_TRIGGER_ROLES(
    VELTRA_ROLE_NAME) VELTRA_FRONTEND_ROLES(VELTRA_ROLE_NAME)};
#undef VELTRA_ROLE_NAME

bool PanelRole(const std::string& role) {
  for (const char* r : kPanelRoles)
    if (role == r) return true;
  return false;
}

bool g_resultsNoted = false;
int g_messages = 0;

void Message(const char* title, const char* text) {
  ++g_messages;
  std::fprintf(stderr, "veltra-batch: [%s] %s\n", title, text);
}

void ResultsReady(int) { g_resultsNoted = true; }

// The checks that need no measurement: every action is one veltra-batch can do.
int CheckPlan(const AutomationPlan& plan, std::string* error) {
  for (const AutomationAction& a : plan.actions) {
    switch (a.kind) {
      case AutomationAction::Grab: *error = "--grab: снимок панели делает только veltra"; return 2;
      case AutomationAction::Save:
        if (const int kind = ExportKindOf(a.value.c_str());
            kind == kExportPng || kind == kExportSvg) {
          *error = "--save: рисунок окна («" + a.value + "») делает только veltra";
          return 2;
        }
        break;
      case AutomationAction::Set:
      case AutomationAction::Press:
      case AutomationAction::Get: {
        const MeasureRole* r = FindMeasureRole(a.role.c_str());
        const bool usable =
            r != nullptr && (a.kind == AutomationAction::Set     ? r->set != nullptr
                             : a.kind == AutomationAction::Press ? r->press != nullptr
                                                                 : r->get != nullptr);
        if (usable) break;
        if (r == nullptr && PanelRole(a.role)) {
          *error = "элемент «" + a.role + "» есть только на панели veltra, не в veltra-batch";
        } else if (r == nullptr) {
          *error = "на панелях нет элемента «" + a.role + "»";
        } else {
          *error = std::string("элемент «") + a.role + "» нельзя " +
                   (a.kind == AutomationAction::Set     ? "установить"
                    : a.kind == AutomationAction::Press ? "нажать"
                                                        : "прочитать");
        }
        return 2;
      }
      default: break;
    }
  }
  return 0;
}

// Steps of the source as the timer would give them; the results are evaluated once, at the end,
// for the windows a redraw would draw.
void Ticks(long n) {
  for (long i = 0; i < n; ++i) {
    if (start != 1) continue;
    const int ready = Source().step();
    if (start == 1 && ready) g_resultsNoted = true;
  }
}

void EvaluateNoted() {
  if (g_resultsNoted && sp.dataReady == 1) EvaluateShownWindows();
  g_resultsNoted = false;
}

int Run(const AutomationPlan& plan, std::string* error) {
  for (const AutomationAction& a : plan.actions) {
    const MeasureRole* r = FindMeasureRole(a.role.c_str());
    switch (a.kind) {
      case AutomationAction::Set:
        if (r->set(a.value.c_str()) == 0) {
          *error = "элемент «" + a.role + "» не принимает значение «" + a.value + "»";
          return 2;
        }
        break;
      case AutomationAction::Press:
        if (r->press() == 0) {
          *error = "элемент «" + a.role + "» нельзя нажать";
          return 2;
        }
        break;
      case AutomationAction::Get:
        std::printf("%s\n", r->get().c_str());
        std::fflush(stdout);
        break;
      case AutomationAction::File: QueueFileAnswer(a.value.c_str()); break;
      case AutomationAction::Ticks:
        Ticks(a.number);
        EvaluateNoted();
        break;
      case AutomationAction::Run: {
        const int status = RunToEnd([] { SetZero(); }, [] { Ticks(1); }, error);
        EvaluateNoted();
        if (status != 0) return status;
        break;
      }
      case AutomationAction::Save: {
        const int w = static_cast<int>(a.number) - 1;
        int saved = 0;
        if (ExportKindOf(a.value.c_str()) == kExportCsv) {
          saved = SaveResultCsv(w, a.value.c_str());
        } else {
          SetResultName(a.value.c_str());
          saved = SaveInfData(w);
        }
        if (saved != 1) {
          *error = "--save: не удалось записать «" + a.value + "»";
          return 3;
        }
        break;
      }
      case AutomationAction::Grab:
      case AutomationAction::Quit: return 0;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  AutomationPlan plan;
  std::string error;
  if (ParseAutomation(argc, argv, &plan, &error) != 0 || CheckPlan(plan, &error) != 0) {
    std::fprintf(stderr, "veltra-batch: %s\n", error.c_str());
    return 2;
  }
  if (plan.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  CoreEvents events{};
  events.message = Message;
  events.resultsReady = ResultsReady;
  SetCoreEvents(events);
  SetLiveWait(2000);
  InitModel();
  const int status = Run(plan, &error);
  StopSources();
  if (status != 0) {
    std::fprintf(stderr, "veltra-batch: %s\n", error.c_str());
    return status;
  }
  return 0;
}
