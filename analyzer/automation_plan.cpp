// The automation command line: the actions it asks for, checked before anything runs. The
// program with panels and the batch tool read the same line.
#include "analyzer/automation_plan.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "analyzer/model.h"

namespace {

bool ParseLong(const char* text, long lo, long hi, long* out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

}  // namespace

bool AutomationPlan::HasQuit() const {
  for (const auto& a : actions) {
    if (a.kind == AutomationAction::Quit) return true;
  }
  return false;
}

const char* AutomationUsage() {
  return "Использование: veltra [действия]\n"
         "  --offscreen          без экрана (после действий программа завершается)\n"
         "  --set РОЛЬ=ЗНАЧЕНИЕ  установить элемент панели, как это сделал бы оператор\n"
         "  --press РОЛЬ         нажать кнопку или переключить переключатель\n"
         "  --file ПУТЬ          ответ на следующий диалог выбора файла\n"
         "  --ticks N            выполнить N тактов измерения\n"
         "  --run                запустить измерение и ждать его окончания\n"
         "  --save W=ПУТЬ        сохранить результат окна W (1 или 2) без диалога;\n"
         "                       .csv — таблица CSV, .png/.svg — рисунок графика\n"
         "  --grab ПУТЬ          снимок главной панели в PNG\n"
         "  --get РОЛЬ           напечатать значение элемента панели (одна строка)\n"
         "  --quit               выход, как по кнопке «Выход» (с сохранением настроек)\n";
}

int ParseAutomation(int argc, const char* const* argv, AutomationPlan* plan, std::string* error) {
  *plan = AutomationPlan{};
  for (int i = 1; i < argc; ++i) {
    const std::string opt = argv[i];
    if (opt == "--offscreen") {
      plan->offscreen = true;
      continue;
    }
    if (opt == "--help" || opt == "-h") {
      plan->help = true;
      continue;
    }
    if (plan->HasQuit()) {
      *error = "после --quit действий быть не может: «" + opt + "» не было бы выполнено";
      return 2;
    }
    AutomationAction a{AutomationAction::Run, "", "", 0};
    const bool takesValue = opt == "--set" || opt == "--press" || opt == "--file" ||
                            opt == "--ticks" || opt == "--save" || opt == "--grab" ||
                            opt == "--get";
    if (takesValue && i + 1 >= argc) {
      *error = "параметру " + opt + " не хватает значения";
      return 2;
    }
    const char* v = takesValue ? argv[++i] : "";
    const char* eq = std::strchr(v, '=');
    if (opt == "--set") {
      if (eq == nullptr || eq == v) {
        *error = std::string("--set ждёт РОЛЬ=ЗНАЧЕНИЕ, получено «") + v + "»";
        return 2;
      }
      a.kind = AutomationAction::Set;
      a.role.assign(v, static_cast<size_t>(eq - v));
      a.value = eq + 1;
    } else if (opt == "--press" || opt == "--get") {
      a.kind = opt == "--get" ? AutomationAction::Get : AutomationAction::Press;
      a.role = v;
    } else if (opt == "--file") {
      if (*v == '\0' || std::strlen(v) >= kPathLen) {
        *error = "--file: недопустимый путь";
        return 2;
      }
      a.kind = AutomationAction::File;
      a.value = v;
    } else if (opt == "--ticks") {
      a.kind = AutomationAction::Ticks;
      if (!ParseLong(v, 0, kMaxTicks, &a.number)) {
        *error = std::string("--ticks ждёт число от 0 до 10000000, получено «") + v + "»";
        return 2;
      }
    } else if (opt == "--run") {
      a.kind = AutomationAction::Run;
    } else if (opt == "--save") {
      const std::string w = eq ? std::string(v, static_cast<size_t>(eq - v)) : "";
      if (eq == nullptr || (w != "1" && w != "2") || eq[1] == '\0' ||
          std::strlen(eq + 1) >= kPathLen) {
        *error = std::string("--save ждёт 1=ПУТЬ или 2=ПУТЬ, получено «") + v + "»";
        return 2;
      }
      a.kind = AutomationAction::Save;
      a.number = w == "1" ? 1 : 2;
      a.value = eq + 1;
    } else if (opt == "--grab") {
      a.kind = AutomationAction::Grab;
      a.value = v;
    } else if (opt == "--quit") {
      a.kind = AutomationAction::Quit;
    } else {
      *error = "неизвестный параметр «" + opt + "» (--help: список параметров)";
      return 2;
    }
    plan->actions.push_back(a);
  }
  return 0;
}

int RunToEnd(void (*startRun)(), void (*tick)(), std::string* error) {
  if (rcu.expAver == 1 && rcu.measType != 2) {
    *error =
        "--run: при экспоненциальном усреднении измерение само не заканчивается; "
        "используйте --ticks N";
    return 3;
  }
  if (start != 1) startRun();
  if (start != 1) {
    *error = "--run: измерение не запущено (см. сообщение выше)";
    return 3;
  }
  long ticks = 0;
  while (start == 1 && ticks < kMaxRunTicks) {
    tick();
    ++ticks;
  }
  if (start == 1) {
    *error = "--run: измерение не закончилось за 200000 тактов";
    return 3;
  }
  // A run ended by the end of a recording or an unreadable file is not a result.
  if (rcu.avgCount - 1 < rcu.avgTarget) {
    *error = "--run: измерение прервано после " + std::to_string(rcu.avgCount - 1) + " из " +
             std::to_string(rcu.avgTarget) + " усреднений (см. сообщение выше)";
    return 3;
  }
  return 0;
}
