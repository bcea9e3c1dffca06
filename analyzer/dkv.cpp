// The link to the front-end control library and the module settings file "dkv5128.inf".
#include "analyzer/dkv.h"

#include <cstdint>

#include "analyzer/aids.h"
#include "analyzer/fileio.h"
#include "analyzer/panels.h"
#include "ui/userint.h"

AmplifRecord amplif[kAmplifiers];
DeviceLink* dev5128 = nullptr;
int dkv[3];

namespace {

constexpr const char* kDkvFile = "dkv5128.inf";
constexpr int kComPort = 0;  // COM1
// Anything longer is not a settings file (a text-mode copy is at most twice the size).
constexpr std::size_t kReadLimit = 2 * kDkvFileSize;

void SendSettings(int input) {
  const AmplifRecord& r = amplif[input];
  DKV5120LibSetHPF(dev5128, input + 1, r.hpfcode);
  DKV5120LibSetLPF(dev5128, input + 1, r.lpfcode);
  DKV5120LibSetGain(dev5128, input + 1, r.gain100);
}

void PutInt(unsigned char* out, int v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int b = 0; b < 4; ++b) out[b] = static_cast<unsigned char>(u >> (8 * b));
}

int GetInt(const unsigned char* in) {
  std::uint32_t u = 0;
  for (int b = 0; b < 4; ++b) u |= static_cast<std::uint32_t>(in[b]) << (8 * b);
  return static_cast<int>(static_cast<std::int32_t>(u));
}

}  // namespace

int Create5128() {
  dev5128 = DKV5120LibCreate(kComPort);
  return dev5128 != nullptr ? 1 : 0;
}

int InitCh5128() {
  int answered = 0;
  for (int address = 1; address <= kAmplifiers; ++address) {
    if (DKV5120LibInit(dev5128, address, 1) > 0) ++answered;
  }
  if (answered != kAmplifiers) {
    MessagePopup("Внимание !!!", "Проверьте подсоединение кабеля управления PC<=>DKV");
  }
  return answered;
}

void Close5128() {
  DKV5120LibClose(dev5128);
  dev5128 = nullptr;
}

VELTRA_CALLBACK(Connect5128) {
  (void)panel, (void)control, (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  // A second connect would find COM1 held by the first link.
  Close5128();
  Create5128();
  const int answered = InitCh5128();
  if (answered == 0) {
    // Nobody listens: every later setting would wait out its reply window for nothing.
    Close5128();
    ShowLinkStatus(answered);
    return 0;
  }
  ShowLinkStatus(answered);
  // The modules in use take the settings the analyzer's scale is computed from.
  for (int i = 0; i < kAmplifiers; ++i) {
    if (amplif[i].on == 1) SendSettings(i);
  }
  return 0;
}

void AmplifDefaults(AmplifRecord* r) {
  r->on = 0;
  r->gain100 = 100;
  r->lpfcode = 6;
  r->hpfcode = 0;
}

int AmplifValid(const AmplifRecord& r) {
  return (r.on == 0 || r.on == 1) && r.gain100 >= 0 && r.gain100 <= kMaxGain100 &&
         r.lpfcode >= 0 && r.lpfcode < kLowPassCodes && r.hpfcode >= 0 &&
         r.hpfcode < kHighPassCodes;
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
