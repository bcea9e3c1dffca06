// The front-end link as the panels see it (the worker that talks to the unit is in dkv_link.cpp)
// and the module settings file "dkv5128.inf".
#include "analyzer/dkv.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "analyzer/aids.h"
#include "analyzer/dkv_link.h"
#include "analyzer/fileio.h"
#include "analyzer/initstruct.h"
#include "analyzer/menager_panel.h"
#include "analyzer/panels.h"
#include "analyzer/setters.h"
#include "ui/userint.h"

AmplifRecord amplif[kAmplifiers];
DeviceLink* dev5128 = nullptr;
int dkv[3];

namespace {

constexpr const char* kDkvFile = "dkv5128.inf";
// Anything longer is not a settings file (a text-mode copy is at most twice the size).
constexpr std::size_t kReadLimit = 2 * kDkvFileSize;

void PutInt(unsigned char* out, int v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int b = 0; b < 4; ++b) out[b] = static_cast<unsigned char>(u >> (8 * b));
}

int GetInt(const unsigned char* in) {
  std::uint32_t u = 0;
  for (int b = 0; b < 4; ++b) u |= static_cast<std::uint32_t>(in[b]) << (8 * b);
  return static_cast<int>(static_cast<std::int32_t>(u));
}

constexpr const char* kCableTitle = "Внимание !!!";
constexpr const char* kCableText = "Проверьте подсоединение кабеля управления PC<=>DKV";
// Exit waits this long for queued commands before it drops them and closes the link.
constexpr int kExitWaitMs = 1000;

int pending = 0;            // jobs queued whose final report has not been taken
int connecting = 0;         // connects among them
bool linkInUse = false;     // a link is open or being opened: commands are worth queuing
bool restartOwed = false;   // restart the run once the modules have taken what is queued
bool failureShown = false;  // the operator was told the unit stopped answering
int answeredSoFar = 0;
char missing[64] = "";  // modules that did not answer the connect, "4, 8"

void Status(const char* text) { SetCtrlVal(frontpanel, FRONT_LinkStatusReadout, text); }

void LinkTimerOn(int on) {
  if (on) SetCtrlAttribute(frontpanel, FRONT_LinkTimer, ATTR_INTERVAL, 0.05);
  SetCtrlAttribute(frontpanel, FRONT_LinkTimer, ATTR_ENABLED, on);
}

void Queue(int word, int input, int value) {
  if (!linkInUse) return;
  ++pending;
  LinkCommand(word, input + 1, value);
  LinkTimerOn(1);
}

const char* WordName(int word) {
  return word == kLinkGain ? "усиление" : (word == kLinkLowPass ? "ФНЧ" : "ФВЧ");
}

void ConnectDone(const LinkReport& r) {
  char text[160];
  dev5128 = r.link;
  // A later connect still on its way may open the link the commands meanwhile are for.
  linkInUse = r.link != nullptr || connecting > 0;
  if (r.link == nullptr && r.result == 0 && answeredSoFar == 0 && missing[0] == '\0') {
    Status("Порт COM1 не открывается: нет связи с DKV");
  } else if (r.link == nullptr) {
    Status("Ни один модуль не ответил: нет связи с DKV");
  } else if (r.result == kAmplifiers) {
    std::snprintf(text, sizeof text, "Связь с DKV: ответили все %d модулей", kAmplifiers);
    Status(text);
  } else {
    std::snprintf(text, sizeof text, "Ответили %d из %d модулей; нет ответа: %s", r.result,
                  kAmplifiers, missing);
    Status(text);
  }
  failureShown = r.result != kAmplifiers;
  if (r.result != kAmplifiers) MessagePopup(kCableTitle, kCableText);
}

void CommandDone(const LinkReport& r) {
  // Without a link nothing was sent, and a module that answers is all that is asked.
  if (r.link == nullptr || r.result > 0) {
    if (r.link != nullptr && r.result >= 2 && failureShown) {
      failureShown = false;
      Status("Связь с DKV восстановлена");
    }
    return;
  }
  char text[160];
  std::snprintf(text, sizeof text, "Модуль %d не ответил на команду (%s)", r.address,
                WordName(r.word));
  Status(text);
  // One message while the unit stays silent, not one per command.
  if (failureShown) return;
  failureShown = true;
  std::snprintf(text, sizeof text, "Модуль %d не отвечает. %s", r.address, kCableText);
  MessagePopup(kCableTitle, text);
}

void Take(const LinkReport& r) {
  char text[160];
  switch (r.kind) {
    case LinkReport::kModuleStart:
      std::snprintf(text, sizeof text, "Модуль %d из %d: инициализация…", r.address, kAmplifiers);
      Status(text);
      break;
    case LinkReport::kModuleDone:
      if (r.result > 0) {
        ++answeredSoFar;
      } else {
        const std::size_t used = std::strlen(missing);
        std::snprintf(missing + used, sizeof missing - used, "%s%d", used > 0 ? ", " : "",
                      r.address);
      }
      std::snprintf(text, sizeof text, "Модуль %d: %s", r.address,
                    r.result > 0 ? "ответил" : "нет ответа");
      Status(text);
      break;
    case LinkReport::kConnectDone:
      --pending;
      --connecting;
      ConnectDone(r);
      break;
    case LinkReport::kCommandDone:
      --pending;
      CommandDone(r);
      break;
  }
}

}  // namespace

void SendGain5128(int inputNo, int gain100) { Queue(kLinkGain, inputNo, gain100); }
void SendLPF5128(int inputNo, int code) { Queue(kLinkLowPass, inputNo, code); }
void SendHPF5128(int inputNo, int code) { Queue(kLinkHighPass, inputNo, code); }

int LinkPending5128() { return pending; }

void RestartWhenLinkSettles() {
  if (pending > 0) restartOwed = true;
}

void DrainLink5128() {
  // A message box runs the event loop, and with it this timer: one drain at a time.
  static bool draining = false;
  if (draining) return;
  draining = true;
  LinkReport r{};
  while (LinkTakeReport(&r)) Take(r);
  draining = false;
  if (pending > 0) return;
  LinkTimerOn(0);
  if (restartOwed) {
    restartOwed = false;
    RestartIfRunning();
  }
}

void WaitLink5128() {
  if (pending == 0) return;
  LinkWaitIdle();
  DrainLink5128();
}

void Close5128() {
  LinkShutdown(kExitWaitMs);
  dev5128 = nullptr;
  pending = 0;
  connecting = 0;
  linkInUse = false;
  restartOwed = false;
  failureShown = false;
  if (frontpanel > 0) LinkTimerOn(0);
}

VELTRA_COMMIT(Connect5128) {
  // The worker replaces the link; until its outcome is taken there is none to speak of.
  dev5128 = nullptr;
  linkInUse = true;
  answeredSoFar = 0;
  missing[0] = '\0';
  ++pending;
  ++connecting;
  LinkConnect(amplif);
  Status("Подключение к COM1…");
  LinkTimerOn(1);
  return 0;
}

VELTRA_CALLBACK(LinkTick) {
  (void)panel, (void)control, (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_TIMER_TICK) return 0;
  DrainLink5128();
  return 0;
}

void AmplifDefaults(AmplifRecord* r) {
  r->on = 0;
  r->gain100 = 100;
  r->lpfcode = 6;
  r->hpfcode = 0;
}

int AmplifValid(const AmplifRecord& r) {
  return (r.on == 0 || r.on == 1) && r.gain100 >= 0 && r.gain100 <= kMaxGain100 && r.lpfcode >= 0 &&
         r.lpfcode < kLowPassCodes && r.hpfcode >= 0 && r.hpfcode < kHighPassCodes;
}

int SaveParamDKV5128To(const char* path) {
  unsigned char image[kDkvFileSize];
  for (int i = 0; i < kAmplifiers; ++i) {
    PutInt(image + 16 * i, amplif[i].on);
    PutInt(image + 16 * i + 4, amplif[i].gain100);
    PutInt(image + 16 * i + 8, amplif[i].lpfcode);
    PutInt(image + 16 * i + 12, amplif[i].hpfcode);
  }
  return WriteFileAtomic(path, image, sizeof image) == 0 ? 1 : 0;
}

int GetParamDKV5128From(const char* path) {
  for (AmplifRecord& r : amplif) AmplifDefaults(&r);
  unsigned char buf[kReadLimit];
  std::size_t n = 0;
  if (!ReadSmallFile(path, buf, sizeof buf, &n)) return 0;
  n = FromTextMode(buf, n, kDkvFileSize);
  if (n > static_cast<std::size_t>(kDkvFileSize)) n = kDkvFileSize;
  // Only whole records are taken; the ones the file does not reach keep their defaults.
  for (int i = 0; i < kAmplifiers && static_cast<std::size_t>(16 * (i + 1)) <= n; ++i) {
    AmplifRecord r{GetInt(buf + 16 * i), GetInt(buf + 16 * i + 4), GetInt(buf + 16 * i + 8),
                   GetInt(buf + 16 * i + 12)};
    if (AmplifValid(r)) amplif[i] = r;
  }
  return 1;
}

int SaveParamDKV5128() { return SaveParamDKV5128To(kDkvFile); }
int GetParamDKV5128OfFile() { return GetParamDKV5128From(kDkvFile); }
