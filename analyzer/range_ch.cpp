// Input modes, the front-end panel, auto-ranging and the units-per-count scale.
#include "analyzer/range_ch.h"
#include "analyzer/setters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "analyzer/calibration.h"
#include "analyzer/dkv.h"
#include "analyzer/initstruct.h"
#include "analyzer/menager_panel.h"
#include "analyzer/numtext.h"
#include "analyzer/panels.h"
#include "analyzer/sources.h"
#include "ui/userint.h"

namespace {

constexpr int kFieldGrey = 0xC0C0C0;
constexpr int kFieldRefused = 0xFFFF00;
constexpr double kMaxAutoGain = 250.0;

// The module gains before an auto-ranging pass set them to unity.
int gainsBefore[kAmplifiers];

int InputOf(int k) { return ChannelInput(k); }

int ClampInput(int i) { return i < 0 ? 0 : (i >= kAmplifiers ? kAmplifiers - 1 : i); }

int SelectedInput() {
  int i = 0;
  GetCtrlVal(frontpanel, FRONT_ChannelSelector, &i);
  return ClampInput(i);
}

void RestartRun() {
  if (start != 1) return;
  SetZero();
  RestartWhenLinkSettles();
}

// The panel shows input i's module settings (zeros for a module not in use).
void ShowModule(int i) {
  const AmplifRecord& r = amplif[i];
  const bool on = r.on == 1;
  SetCtrlVal(frontpanel, FRONT_LowPassSelector, on ? r.lpfcode : 0);
  SetCtrlVal(frontpanel, FRONT_HighPassSelector, on ? r.hpfcode : 0);
  SetCtrlVal(frontpanel, FRONT_GainField, on ? r.gain100 / 100.0 : 0.0);
}

void StoreLowPass(int i) {
  int code = 0;
  GetCtrlVal(frontpanel, FRONT_LowPassSelector, &code);
  amplif[i].lpfcode = code;
  SendLPF5128(i, code);
}

void StoreHighPass(int i) {
  int code = 0;
  GetCtrlVal(frontpanel, FRONT_HighPassSelector, &code);
  amplif[i].hpfcode = code;
  SendHPF5128(i, code);
}

void StoreGain(int i) {
  if (amplif[i].on == 0) return;
  double g = 0.0;
  GetCtrlVal(frontpanel, FRONT_GainField, &g);
  // A zero gain would make the input's scale infinite: the field goes back to the module's gain.
  if (!(g > 0.0) || Gain100(g) <= 0) {
    SetCtrlVal(frontpanel, FRONT_GainField, amplif[i].gain100 / 100.0);
    return;
  }
  amplif[i].gain100 = Gain100(g);
  SendGain5128(i, amplif[i].gain100);
  // The module amplifies by the gain it was sent (0.01 steps): the scale and the field take
  // that one, not the digits typed beyond it.
  SetInputGain(i, amplif[i].gain100 / 100.0);
  SetCtrlVal(frontpanel, FRONT_GainField, cch.gain[i]);
  SetThroug(i);
  RestartRun();
}

bool IsNumberText(const char* text) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (!((*p >= '0' && *p <= '9') || *p == '.' || *p == ',')) return false;
  }
  return true;
}

void ShowCoefficient(int control, int i) {
  char text[kCoefTextLen];
  switch (hs.inmode[i]) {
    case 0: SetCtrlVal(mainpanel, control, "ICP"); break;
    case 3:
      SetCtrlVal(mainpanel, control, "дж");
      DisplayPanel(frontpanel);
      break;
    default:
      CoefText(cch.gain[i], text, sizeof text);
      SetCtrlVal(mainpanel, control, text);
      break;
  }
}

}  // namespace

int Gain100(double g) { return static_cast<int>(100.0 * g + 1e-7); }

void CoefText(double g, char* text, int size) {
  if (size <= 0) return;
  // Fixed notation (the field takes digits and points only) with as many decimals as it takes
  // to read back the very same number, and at least two.
  for (int decimals = 2; decimals <= kCoefMaxDecimals; ++decimals) {
    std::snprintf(text, static_cast<size_t>(size), "%.*f", decimals, g);
    if (std::strtod(text, nullptr) == g) return;
  }
}

int ControlStr(const char* text) {
  if (std::strcmp(text, "ДЖ") == 0 || std::strcmp(text, "дж") == 0) return 3;
  if (std::strcmp(text, "ICP") == 0 || std::strcmp(text, "icp") == 0) return 1;
  if (IsNumberText(text)) return 0;
  return 2;
}

void SetAmplifir(int i) {
  i = ClampInput(i);
  dkv[0] = frontpanel;
  SetCtrlVal(frontpanel, FRONT_ChannelSelector, i);
  // A module left at gain 0 by auto-ranging would make the input dead and its scale infinite.
  if (amplif[i].gain100 <= 0) {
    amplif[i].gain100 = 100;
    SendGain5128(i, amplif[i].gain100);
  }
  // The panel may still show another input's settings; input i keeps its own (those read from
  // "dkv5128.inf" at start-up included) and they are what its module is sent.
  SetCtrlVal(frontpanel, FRONT_HighPassSelector, amplif[i].hpfcode);
  SetCtrlVal(frontpanel, FRONT_LowPassSelector, amplif[i].lpfcode);
  SetCtrlVal(frontpanel, FRONT_GainField, amplif[i].gain100 / 100.0);
  const bool wasOn = amplif[i].on == 1;
  StoreHighPass(i);
  StoreLowPass(i);
  StoreGain(i);
  // A module not in use until now may hold any gain (0 after an auto-ranging pass, its own
  // after power-up); the channel's scale is computed from the stored one, so it is sent too.
  if (!wasOn) SendGain5128(i, amplif[i].gain100);
  amplif[i].on = 1;
  SetInputGain(i, amplif[i].gain100 / 100.0);
  for (int j = 0; j < kAmplifiers; ++j) {
    if (j != rcu.chanA && j != rcu.chanB) amplif[j].on = 0;
  }
}

VELTRA_COMMIT(SetRectif) {
  const int k = control == MAIN_CoefFieldA ? 0 : 1;
  const int i = ClampInput(InputOf(k));
  char text[kCoefTextLen] = "";
  GetCtrlVal(panel, control, text, sizeof text);
  SetCtrlAttribute(panel, control, ATTR_TEXT_BGCOLOR, kFieldGrey);
  int kind = ControlStr(text);
  double coef = 0.0;
  // Zero is no gain: it is refused like any other entry that is not one.
  if (kind == 0 && !(ParseDecimal(text, &coef) && coef > 0.0)) kind = 2;
  switch (kind) {
    case 0:
      SetCoefficient(i, coef);
      amplif[i].on = 0;
      // A comma typed on a Russian keyboard is shown as the point every number here has.
      if (std::strchr(text, ',') != nullptr) {
        CoefText(coef, text, sizeof text);
        SetCtrlVal(panel, control, text);
      }
      break;
    case 1:
      SetIcpInput(i);
      SetCtrlVal(panel, control, "ICP");
      // An ICP sensor is AC-coupled: the switch goes to its AC side.
      SetCtrlVal(mainpanel, k == 0 ? MAIN_AcDcSwitchA : MAIN_AcDcSwitchB, kCoupledAC);
      amplif[i].on = 0;
      break;
    case 3:
      DisplayPanel(frontpanel);
      hs.inmode[i] = cch.mode[i] = 3;
      SetAmplifir(i);
      SetFrontEndInput(i, amplif[i].gain100 / 100.0);
      break;
    default:
      ShowCoefficient(control, i);
      SetCtrlAttribute(panel, control, ATTR_TEXT_BGCOLOR, kFieldRefused);
      break;
  }
  ThrougCount(k);
  RestartRun();
  return 0;
}

VELTRA_COMMIT(SetAcDc) {
  const int k = control == MAIN_AcDcSwitchA ? 0 : 1;
  const int i = ClampInput(InputOf(k));
  int value = 0;
  GetCtrlVal(panel, control, &value);
  // An ICP sensor is always AC-coupled by its own supply; the switch cannot change that.
  if (SetCoupling(i, value) == 0) SetCtrlVal(panel, control, hs.acdc[i]);
  RestartRun();
  return 0;
}

VELTRA_COMMIT(SetKpCh) {
  ShowModule(SelectedInput());
  return 0;
}

VELTRA_COMMIT(SetKoef) {
  StoreGain(SelectedInput());
  return 0;
}

VELTRA_COMMIT(SetLPF) {
  StoreLowPass(SelectedInput());
  return 0;
}

VELTRA_COMMIT(SetHPF) {
  StoreHighPass(SelectedInput());
  return 0;
}

VELTRA_COMMIT(PExit) {
  HidePanel(frontpanel);
  return 0;
}

VELTRA_COMMIT(SetRange) {
  // A recording is not fed through the front end; there is nothing to range.
  if (Source().recorded) return 0;
  if (rcu.backcolor == 0) {
    GetCtrlAttribute(frontpanel, FRONT_AutoRangeButton, ATTR_TEXT_BGCOLOR, &rcu.backcolor);
  }
  SetCtrlVal(mainpanel, MAIN_StartButton, 1);
  SetCtrlAttribute(frontpanel, FRONT_AutoRangeButton, ATTR_TEXT_BGCOLOR, VAL_GREEN);
  SetAutoRanging(2, 0);
  if (SetZero() == 0) {
    // The run was refused (its message shown): no pass is left waiting for the next start.
    SetAutoRanging(1, 0);
    SetCtrlAttribute(frontpanel, FRONT_AutoRangeButton, ATTR_TEXT_BGCOLOR, rcu.backcolor);
  }
  return 0;
}

void EndAutoRanging() {
  if (rcu.adaptpass != 2) return;
  // Stopped between unity gain and the measured ones: the modules go back to the gains they
  // had, which are the ones the channels' scales were computed with.
  if (rcu.adaptstep == 1) {
    for (int j = 0; j < kAmplifiers; ++j) {
      amplif[j].gain100 = gainsBefore[j];
      SendGain5128(j, amplif[j].gain100);
    }
    ShowModule(SelectedInput());
  }
  SetAutoRanging(1, 0);
  SetCtrlAttribute(frontpanel, FRONT_AutoRangeButton, ATTR_TEXT_BGCOLOR, rcu.backcolor);
}

void SetKp() {
  for (int j = 0; j < kAmplifiers; ++j) {
    amplif[j].gain100 = amplif[j].on == 1 ? 100 : 0;
    SendGain5128(j, amplif[j].gain100);
    SetCtrlVal(frontpanel, FRONT_ChannelSelector, j);
    ShowModule(j);
  }
}

double KoefDKV(int k) {
  const int n = dbuf.nframe;
  long long peak = 0;
  if (adapt != nullptr && n > 0) {
    int hi = adapt[k], lo = adapt[k];
    for (int m = 1; 2 * m < n; ++m) {
      const int v = adapt[k + 2 * m];
      if (v > hi) hi = v;
      if (v < lo) lo = v;
    }
    peak = std::max(std::llabs(static_cast<long long>(hi)), std::llabs(static_cast<long long>(lo)));
  }
  if (peak == 0) return kMaxAutoGain;
  const double g = 0.5 * (hs.fullscale / 2 - 1) / static_cast<double>(peak);
  return g > kMaxAutoGain ? kMaxAutoGain : g;
}

void KoefTransfer() {
  // Each module takes the gain measured on its own channel's interleave position, whichever of
  // the two inputs has the lower number.
  for (int k = 0; k < 2; ++k) {
    const int j = ClampInput(InputOf(k));
    if (amplif[j].on != 1 || (k == 1 && j == ClampInput(rcu.chanA))) continue;
    // Without a raw step there is nothing to measure: the modules stay at the unity gain of step 0.
    const double g = adapt != nullptr ? KoefDKV(k) : 1.0;
    // The scale takes the gain the module is actually set to (truncated to 0.01), so that a
    // gain of 2.297 does not leave the readings 0.3 % off.
    amplif[j].gain100 = std::max(Gain100(g), 1);
    SetInputGain(j, amplif[j].gain100 / 100.0);
    ThrougCount(k);
    SendGain5128(j, amplif[j].gain100);
    SetCtrlVal(frontpanel, FRONT_ChannelSelector, j);
    ShowModule(j);
  }
}

void AutoAdaptation() {
  // A step collected while the modules are still taking their gains measures neither the old
  // gains nor the new ones: it is dropped, and the run restarts when the link has settled.
  if (LinkPending5128() > 0) {
    RestartWhenLinkSettles();
    return;
  }
  switch (rcu.adaptstep) {
    case 0:
      SetAutoRanging(2, 1);
      for (int j = 0; j < kAmplifiers; ++j) gainsBefore[j] = amplif[j].gain100;
      SetKp();
      SetZero();
      RestartWhenLinkSettles();
      break;
    case 1:
      KoefTransfer();
      SetAutoRanging(2, 2);
      break;
    default:
      SetAutoRanging(1, 0);
      SetCtrlAttribute(frontpanel, FRONT_AutoRangeButton, ATTR_TEXT_BGCOLOR, rcu.backcolor);
      SetZero();
      break;
  }
}
