// Operator aids: status line, input-mode rings, front-end link status, control hints, the help
// page and the keyboard shortcuts.
#include "analyzer/aids.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analyzer/calibration.h"
#include "analyzer/dkv.h"
#include "analyzer/initstruct.h"
#include "analyzer/range_ch.h"
#include "analyzer/sources.h"
#include "ui/userint.h"

namespace {

constexpr int kWarnColor = 0xC00000;
constexpr int kPlainColor = 0x000000;

struct Hint {
  const char* role;
  const char* text;
};

// One hint per control: what it does, its unit and its range.
const Hint kHints[] = {
    // run control
    {"StartButton", "ПУСК / СТОП измерения (F5). Линейное накопление останавливается само"},
    {"AverCountDisplay", "Номер текущего усреднения (кадров накоплено)"},
    {"QuitButton", "Сохранить настройки и калибровку и завершить программу"},
    {"MeasTypeRing",
     "Тип измерения: спектры, синхронное накопление, статистика, спектры и отклики"},
    {"SourceRing", "Источник данных: вход ДКВ, встроенный генератор или файл записи"},
    {"AveragesField", "Число усреднений (1 … 10000) для линейного накопления"},
    {"LinearBox", "Линейное накопление: остановка после заданного числа усреднений"},
    {"ExponentialBox", "Экспоненциальное накопление: идёт до СТОП"},
    {"CollectRing", "Сбор кадров: непрерывный или по условию запуска"},
    {"StartRing", "Старт: свободный, внешний или по уровню (открывает панель запуска)"},
    {"DumpSwitch", "Флаг хранится в настройках; на измерение не влияет"},
    {"CalibrPresetButton",
     "Предустановка: окна 1 и 2 — спектры A и B в единицах мощности, по частоте; "
     "чувствительность входов 0 и 1 = 1 мВ/ед. Спрашивает подтверждение"},
    // geometry
    {"SampleRateRing", "Частота дискретизации, Гц (128 … 65536); полоса анализа = частота / 2.56"},
    {"FftSizeRing", "Размер БПФ N (1024 … 8192): N / 2.56 + 1 спектральных линий"},
    {"OverlapRing", "Перекрытие соседних кадров, доля кадра (0 … 87.5 %)"},
    {"WindowRing", "Окно данных, накладываемое на кадр перед БПФ"},
    {"BinsField", "Число интервалов гистограммы (статистика)"},
    {"DelayField", "Задержка канала B относительно A, отсчётов (шаг 512)"},
    {"DelayDownButton", "Уменьшить задержку канала B на 512 отсчётов"},
    {"DelayUpButton", "Увеличить задержку канала B на 512 отсчётов"},
    {"DelayReadout", "Задержка канала B во времени"},
    // channels
    {"ChannelSwitchA",
     "Канал A вкл./выкл.; надпись — номер входа 0 … 7 (стрелки вверх/вниз меняют)"},
    {"ChannelSwitchB",
     "Канал B вкл./выкл.; надпись — номер входа 0 … 7 (стрелки вверх/вниз меняют)"},
    {"DiffIntRingA", "Дифференцирование или интегрирование сигнала канала A"},
    {"DiffIntRingB", "Дифференцирование или интегрирование сигнала канала B"},
    {"AcDcSwitchA", "Связь входа канала A: AC (без постоянной составляющей) или DC"},
    {"AcDcSwitchB", "Связь входа канала B: AC (без постоянной составляющей) или DC"},
    {"CoefFieldA", "Коэффициент усиления тракта канала A (число > 0), «ICP» или «ДЖ» (модуль ДКВ)"},
    {"CoefFieldB", "Коэффициент усиления тракта канала B (число > 0), «ICP» или «ДЖ» (модуль ДКВ)"},
    {"InputModeRingA",
     "Режим входа канала A: коэффициент, датчик ICP или модуль ДКВ (открывает его панель)"},
    {"InputModeRingB",
     "Режим входа канала B: коэффициент, датчик ICP или модуль ДКВ (открывает его панель)"},
    {"SenFieldA",
     "Чувствительность датчика канала A, мВ на единицу (Shift+стрелки — точная подстройка)"},
    {"SenFieldB",
     "Чувствительность датчика канала B, мВ на единицу (Shift+стрелки — точная подстройка)"},
    {"LoFieldA", "Уровень 0 дБ канала A, в единицах канала"},
    {"LoFieldB", "Уровень 0 дБ канала B, в единицах канала"},
    {"UnitRingA", "Единица измерения канала A"},
    {"UnitRingB", "Единица измерения канала B"},
    {"OverloadLedA", "Перегрузка входа канала A"},
    {"OverloadLedB", "Перегрузка входа канала B"},
    {"InputButton0", "Вход 0 записи: назначить каналу A или B"},
    {"InputButton1", "Вход 1 записи: назначить каналу A или B"},
    {"InputButton2", "Вход 2 записи: назначить каналу A или B"},
    {"InputButton3", "Вход 3 записи: назначить каналу A или B"},
    {"InputButton4", "Вход 4 записи: назначить каналу A или B"},
    {"InputButton5", "Вход 5 записи: назначить каналу A или B"},
    {"InputButton6", "Вход 6 записи: назначить каналу A или B"},
    {"InputButton7", "Вход 7 записи: назначить каналу A или B"},
    {"FileNameBox", "Имя воспроизводимой записи"},
    // generator
    {"WaveformRing", "Форма сигнала генератора (на оба канала)"},
    {"AmplitudeField",
     "Амплитуда генератора, мВ (0 … 10000). Шумы, телеграф и импульс приходят в 128 раз слабее"},
    {"Freq1Field",
     "Частота тона, Гц; выше половины частоты дискретизации тон виден на частоте зеркала"},
    {"Freq2Field", "Верхняя граница полосы гауссова шума, Гц"},
    {"PulseWidthField", "Длительность импульса, отсчётов (до N)"},
    {"GeneratorSwitch", "Генератор вкл./выкл."},
    // result windows
    {"CursorSyncToggle", "Курсоры окон 1 и 2 движутся вместе (при равном числе точек)"},
    {"WindowSel1", "Показать только окно 1 (Ctrl+1)"},
    {"WindowSel2", "Показать только окно 2 (Ctrl+2)"},
    {"WindowSelBoth", "Показать оба окна (Ctrl+3)"},
    {"GraphFrame", "Область графиков"},
    {"Graph2Frame", "Область окна 2"},
    {"StatusLine", "Что сделано последним: сохранённые файлы, предупреждения"},
    {"HelpButton", "Краткая справка и клавиши (F1)"},
    // trigger panel
    {"TriggerChannelField", "Вход, по сигналу которого идёт запуск (0 … 7)"},
    {"LevelField", "Уровень запуска, В (−10 … 10)"},
    {"Level2Field", "Нижний уровень для режимов «Регион» и гистерезиса, В (−10 … 10)"},
    {"SlopeRing", "Фронт запуска: нарастание или спад"},
    {"PretrigField", "Предзапуск: отсчётов до события в кадре (до N/2)"},
    {"LevelModeList", "Условие запуска по уровню"},
    {"TriggerCloseButton", "Закрыть панель запуска"},
    // front-end panel
    {"ChannelSelector", "Вход ДКВ (0 … 7), настройки которого показаны"},
    {"GainField", "Усиление модуля, шаг 0.01 (0 … 250)"},
    {"LowPassSelector", "Фильтр нижних частот модуля"},
    {"HighPassSelector", "Фильтр верхних частот модуля"},
    {"AutoRangeButton", "Автоматический подбор усилений модулей по сигналу"},
    {"FrontEndExitButton", "Закрыть панель ДКВ"},
    {"ConnectButton", "Открыть линию связи с ДКВ и опросить модули 1 … 8"},
    {"LinkStatusReadout", "Состояние связи с ДКВ: порт, ответившие модули, последняя ошибка"},
    // live input, recorder and export
    {"CaptureDeviceRing", "Звуковое устройство (ALSA), с которого читается вход ДКВ"},
    {"CaptureInputRing", "Вход 0 … 7, полная шкала которого показана рядом"},
    {"CaptureFullScaleField",
     "Напряжение полной шкалы устройства для выбранного входа, В (0.001 … 20)"},
    {"CaptureStatus", "Устройство захвата: частота, потерянные блоки"},
    {"RecordButton",
     "Запись сигналов текущего источника в файл (вкл. — спрашивает имя, выкл. — конец)"},
    {"RecordFileBox", "Файл записи, записанное время и размер"},
    {"FullScaleField",
     "Полная шкала звуковых файлов со стороны, В (0 — шкала преобразователя, 10 В)"},
    {"ExportButton", "Экспорт загруженной записи в WAV, FLAC или CSV"},
    {"PictureSizeRing", "Размер сохраняемого рисунка окна"},
};

// Per-window hints; "%d" is the window number.
const Hint kWindowHints[] = {
    {"Graph",
     "Окно %d. Курсор — левой кнопкой у линии курсора; колесо — масштаб по X у "
     "указателя (Ctrl+колесо — по Y); протяжка с Shift — масштаб рамкой; двойной щелчок или "
     "двойной правый — исходный масштаб; правый щелчок — масштаб по курсорам 2 и 3"},
    {"FunctionRing", "Функция, показываемая в окне %d"},
    {"FormatRing",
     "Формат комплексной функции окна %d: действ./мнимая часть, модуль, фаза, Найквист, Николс"},
    {"YUnitRing", "Единица по оси Y окна %d"},
    {"XUnitRing", "Единица по оси X окна %d: Гц, октавы, трети октав, время …"},
    {"DbRangeRing", "Диапазон шкалы дБ окна %d (0 — автоматически)"},
    {"DbTopField", "Верх шкалы дБ окна %d"},
    {"IntegrationRing", "Интегрирование спектра окна %d (однократное, двукратное)"},
    {"CursorModeRing", "Режим курсора окна %d: отсчёт, гармоники, боковые полосы"},
    {"SideBandToggle", "Отсчёт боковых полос окна %d"},
    {"GateToggle", "Видимый участок оси X окна %d как строб / лифтр"},
    {"ZoomLed", "Горит, когда окно %d увеличено"},
    {"MemoryToggle", "Запомнить кривую окна %d как опорную (после остановки)"},
    {"EqualizeToggle", "Показывать окно %d относительно опорной кривой"},
    {"ShowMemoryToggle", "Показать опорную кривую окна %d"},
    {"ColorSelect", "Цвет кривой окна %d"},
    {"CursorReadout", "Отсчёт курсора окна %d: номер точки, X и Y в единицах осей"},
    {"TotalReadout", "Общий уровень канала окна %d"},
    {"WindowMark", "Номер окна %d"},
    {"WindowCaption", "Окно %d"},
    {"SaveButton",
     "Сохранить результат окна %d в текстовый файл с описанием (Ctrl+S / Ctrl+Shift+S)"},
    {"CopyButton", "Копировать изображение окна %d в буфер обмена"},
    {"PeakHoldToggle",
     "Удержание максимумов спектра окна %d с момента пуска (третий столбец в файле)"},
    {"SpectrogramToggle", "Спектрограмма окна %d: спектры последних кадров, время вверх"},
    {"ConfidenceToggle",
     "95 %% доверительные границы когерентности и частотной характеристики окна %d"},
    {"DistortionReadout",
     "Искажения окна %d при курсоре «Гармоники»: основной тон, КНИ, КНИ+Ш, SINAD"},
};

int InputOfChannel(int k) {
  const int i = ChannelInput(k);
  return i < 0 ? 0 : (i >= kInputs ? kInputs - 1 : i);
}

int CoefField(int k) { return k == 0 ? MAIN_CoefFieldA : MAIN_CoefFieldB; }
int ModeRing(int k) { return k == 0 ? MAIN_InputModeRingA : MAIN_InputModeRingB; }

std::string PortName() {
  const char* env = std::getenv("DKV5120_COM1");
  return env != nullptr && env[0] != '\0' ? env : "/dev/ttyS0";
}

void SetHint(const char* role, const char* text) {
  int panel = 0, control = 0;
  if (FindCtrlByRole(role, &panel, &control) == 0)
    SetCtrlAttribute(panel, control, ATTR_TOOLTIP_TEXT, text);
}

std::string helpText;

}  // namespace

const Shortcut kShortcuts[] = {
    {"F1", "HelpButton", "справка"},
    {"F5", "StartButton", "ПУСК / СТОП"},
    {"Ctrl+S", "SaveButton1", "сохранить окно 1"},
    {"Ctrl+Shift+S", "SaveButton2", "сохранить окно 2"},
    {"Ctrl+1", "WindowSel1", "только окно 1"},
    {"Ctrl+2", "WindowSel2", "только окно 2"},
    {"Ctrl+3", "WindowSelBoth", "оба окна"},
    {"Ctrl+G", "GeneratorSwitch", "генератор вкл./выкл."},
};
const int kShortcutCount = sizeof kShortcuts / sizeof kShortcuts[0];

const char* HintOf(const char* role) {
  for (const Hint& h : kHints)
    if (std::strcmp(h.role, role) == 0) return h.text;
  return "";
}

void ShowStatus(const char* text, int warn) {
  SetCtrlAttribute(mainpanel, MAIN_StatusLine, ATTR_TEXT_COLOR, warn ? kWarnColor : kPlainColor);
  SetCtrlVal(mainpanel, MAIN_StatusLine, text ? text : "");
}

void ShowInputMode(int k) {
  const int mode = hs.inmode[InputOfChannel(k)];
  SetCtrlVal(mainpanel, ModeRing(k), mode == 0 || mode == 3 ? mode : 1);
}

void ShowLinkStatus(int answered) {
  char text[256];
  const std::string port = PortName();
  if (answered < 0) {
    std::snprintf(text, sizeof text, "Порт %s. Связь не открыта: нажмите «Подключить».",
                  port.c_str());
  } else if (dev5128 == nullptr) {
    std::snprintf(text, sizeof text,
                  "Порт %s. Связь закрыта: ни один модуль не ответил. Проверьте кабель и порт.",
                  port.c_str());
  } else if (answered < kAmplifiers) {
    std::snprintf(
        text, sizeof text,
        "Порт %s. Связь открыта, ответили модули: %d из %d. Проверьте подсоединение кабеля.",
        port.c_str(), answered, kAmplifiers);
  } else {
    std::snprintf(text, sizeof text, "Порт %s. Связь открыта, ответили все %d модулей.",
                  port.c_str(), kAmplifiers);
  }
  SetCtrlVal(frontpanel, FRONT_LinkStatusReadout, text);
}

void CheckGeneratorBand() {
  const double rate = cus.srate;
  const double f = ws.f1;
  if (!Source().generated || ws.form != 0 || !(rate > 0.0) || !(f >= 0.0)) {
    ShowStatus("");
    return;
  }
  char text[256];
  const double nyquist = rate / 2.0;
  const double band = sp.fmax > 0.0 ? sp.fmax : rate / 2.56;
  if (f >= nyquist) {
    const double alias = std::fabs(f - rate * std::floor(f / rate + 0.5));
    std::snprintf(text, sizeof text,
                  "Внимание: тон %.6g Гц выше половины частоты дискретизации (%.6g Гц) — "
                  "на графике он виден на %.1f Гц (зеркальная частота).",
                  f, nyquist, alias);
    ShowStatus(text, 1);
  } else if (f > band) {
    std::snprintf(text, sizeof text, "Внимание: тон %.6g Гц вне полосы анализа (до %.6g Гц).", f,
                  band);
    ShowStatus(text, 1);
  } else {
    ShowStatus("");
  }
}

VELTRA_CALLBACK(SetCoefField) {
  SetRectif(panel, control, event, callbackData, eventData1, eventData2);
  if (event == EVENT_COMMIT) ShowInputMode(control == MAIN_CoefFieldA ? 0 : 1);
  return 0;
}

VELTRA_COMMIT(SetInputMode) {
  const int k = control == MAIN_InputModeRingA ? 0 : 1;
  int mode = 1;
  GetCtrlVal(panel, control, &mode);
  const int field = CoefField(k);
  char text[kCoefTextLen] = "";
  switch (mode) {
    case 0: std::snprintf(text, sizeof text, "ICP"); break;
    case 3: std::snprintf(text, sizeof text, "ДЖ"); break;
    default: {
      // Back to a typed coefficient: the field keeps a number it holds, else the input's gain.
      GetCtrlVal(mainpanel, field, text, sizeof text);
      if (ControlStr(text) != 0) CoefText(cch.gain[InputOfChannel(k)], text, sizeof text);
      break;
    }
  }
  SetCtrlVal(mainpanel, field, text);
  Commit(SetCoefField, mainpanel, field);
  return 0;
}

VELTRA_COMMIT(ShowHelp) {
  if (helpText.empty()) {
    helpText =
        "Измерение: включите генератор (или выберите источник), задайте частоту "
        "дискретизации, размер БПФ и число усреднений, нажмите ПУСК.\n"
        "Окна: функция, формат и единицы осей — над графиком; отсчёт курсора — под ним.\n"
        "Курсор: щелчок или протяжка у его линии; стрелки влево/вправо — на точку.\n"
        "Масштаб: колесо — по X около указателя, Ctrl+колесо — по Y; протяжка с Shift — "
        "рамкой; двойной щелчок — исходный масштаб; правый щелчок — по курсорам 2 и 3.\n"
        "Режим входа: кольцо рядом с «Коэф./режим» (коэффициент, ICP, модуль ДКВ).\n"
        "Подсказки: задержите указатель на элементе.\n\nКлавиши:\n";
    for (const Shortcut& s : kShortcuts) {
      helpText += "  ";
      helpText += s.keys;
      helpText += " — ";
      helpText += s.what;
      helpText += "\n";
    }
  }
  MessagePopup("Справка", helpText.c_str());
  return 0;
}

void InitAids() {
  for (const Hint& h : kHints) SetHint(h.role, h.text);
  char role[64], text[512];
  for (const Hint& h : kWindowHints) {
    for (int w = 1; w <= 2; ++w) {
      std::snprintf(role, sizeof role, "%s%d", h.role, w);
      std::snprintf(text, sizeof text, h.text, w);
      SetHint(role, text);
    }
  }
  for (const Shortcut& s : kShortcuts) {
    int panel = 0, control = 0;
    if (FindCtrlByRole(s.role, &panel, &control) == 0) InstallShortcut(panel, s.keys, control);
  }
  ShowInputMode(0);
  ShowInputMode(1);
  ShowLinkStatus(dev5128 != nullptr ? kAmplifiers : -1);
}
