// Signal generator and simulator: sine, Gaussian and uniform noise, a random two-level signal
// and a single pulse, written as interleaved A/B counts. The sine is scaled by 128 because the
// collection path divides every sample by 128; the other waveforms are not (they arrive at 1/128
// of their set level).
#include "analyzer/generation.h"

#include <cstdint>
#include <cstdio>

#include "analyzer/aids.h"
#include "analyzer/initstruct.h"
#include "analyzer/panels.h"
#include "dsp/signals.h"
#include "ui/userint.h"

namespace {

uint32_t g_randState = 1;

// Keeps a generated value inside the int range before it is truncated (NaN gives 0).
int ToCount(double v) {
  if (v != v) return 0;
  if (v > 2147483647.0) return 2147483647;
  if (v < -2147483647.0) return -2147483647;
  return static_cast<int>(v);
}

}  // namespace

int SimRand() {
  g_randState = g_randState * 1103515245u + 12345u;
  return static_cast<int>((g_randState >> 16) & 0x7FFF);
}

void SimSrand(unsigned seed) { g_randState = seed; }

int BufferArrySim() {
  if (gen_start == 0) return 0;
  const int n = dbuf.nm;
  if (n <= 0 || n > kMaxFrame || static_cast<int>(half.size()) < 2 * n) return 0;
  const int amp = ws.amp;

  switch (ws.form) {
    case 0: {
      SineWave(n, static_cast<double>(amp), ws.f1 / cus.srate, &simphase, part);
      for (int i = 0; i < n; ++i) {
        const double u = SimRand() / 32767.0;
        // Adding amp first keeps the argument non-negative, so truncation is a floor and u
        // dithers the rounding.
        const int v = ToCount(part[i] + u + amp) - amp;
        half[2 * i] = half[2 * i + 1] = v * 128;
      }
      break;
    }
    case 1:
    case 2: {
      const int seed = ToCount(tim);
      if (ws.form == 1) {
        GaussNoise(n + 1, static_cast<double>(amp), seed, part);
      } else {
        WhiteNoise(n + 1, static_cast<double>(amp), seed, part);
      }
      tim = part[cus.nchan];
      for (int i = 0; i < n; ++i) half[2 * i] = half[2 * i + 1] = ToCount(part[i]);
      break;
    }
    case 3:
      for (int i = 0; i < n; ++i) {
        bu[i] = SimRand() > 16383 ? amp : -amp;
        half[2 * i] = half[2 * i + 1] = bu[i];
      }
      break;
    case 4: {
      // Re-seeded from the whole seconds of program time: every step of the same second puts
      // the pulse at the same place (or shows none).
      SimSrand(static_cast<unsigned>(Timer()));
      pu = SimRand() / 32767.0;
      for (int i = 0; i < n; ++i) bu[i] = 0;
      if (pu < 0.5) {
        const int p = static_cast<int>(n * pu);
        if (ws.width < n - p) {  // p + width < n, without overflow for any width
          for (int i = p; i < p + ws.width; ++i) bu[i] = amp;
        }
      }
      for (int i = 0; i < n; ++i) half[2 * i] = half[2 * i + 1] = bu[i];
      break;
    }
    default:
      break;
  }
  return 0;
}

void ViewHideKnob() {
  // In playback every generator control stays dimmed.
  const bool playback = rcu.source == 2;
  int amp = 1, f1 = 1, f2 = 1, width = 1;
  switch (ws.form) {
    case 0: amp = 0, f1 = 0; break;
    case 1:
    case 2: amp = 0; break;
    case 3: break;
    case 4: amp = 0, width = 0; break;
    default: break;
  }
  if (playback) amp = f1 = f2 = width = 1;
  // Only the sine reaches the analysis at the level typed; the other forms arrive 128 times
  // weaker, and the Gaussian noise's level is its deviation.
  const char* level = ws.form == 0 ? "Ампл., мВ" : ws.form == 1 ? "СКО/128, мВ" : "Ампл./128, мВ";
  SetCtrlAttribute(mainpanel, MAIN_AmplitudeField, ATTR_LABEL_TEXT, level);
  SetCtrlAttribute(mainpanel, MAIN_AmplitudeField, ATTR_DIMMED, amp);
  SetCtrlAttribute(mainpanel, MAIN_Freq1Field, ATTR_DIMMED, f1);
  SetCtrlAttribute(mainpanel, MAIN_Freq2Field, ATTR_DIMMED, f2);
  SetCtrlAttribute(mainpanel, MAIN_PulseWidthField, ATTR_DIMMED, width);
  if (ws.form == 4) {
    char label[64];
    std::snprintf(label, sizeof label, "Длит.имп.=%d", cus.frameLen);
    SetCtrlAttribute(mainpanel, MAIN_PulseWidthField, ATTR_LABEL_TEXT, label);
    SetCtrlAttribute(mainpanel, MAIN_PulseWidthField, ATTR_MAX_VALUE, cus.frameLen);
  } else {
    SetCtrlAttribute(mainpanel, MAIN_PulseWidthField, ATTR_LABEL_TEXT, "Длит.имп.");
  }
}

void ViewHideGen(int flag) {
  for (int c : {MAIN_WaveformRing, MAIN_AmplitudeField, MAIN_Freq1Field, MAIN_Freq2Field,
                MAIN_PulseWidthField, MAIN_GeneratorSwitch}) {
    SetCtrlAttribute(mainpanel, c, ATTR_DIMMED, flag ? 1 : 0);
  }
  WaveForm(mainpanel, MAIN_WaveformRing, EVENT_COMMIT, nullptr, 0, 0);
}

void InitStructWaver() {
  ws.mvpc = kMvPerCount;
  SetCtrlAttribute(mainpanel, MAIN_PulseWidthField, ATTR_MAX_VALUE, cus.frameLen);
  GetCtrlVal(mainpanel, MAIN_PulseWidthField, &ws.width);
  SetAmpl(mainpanel, MAIN_AmplitudeField, EVENT_COMMIT, nullptr, 0, 0);
  SetFreq1(mainpanel, MAIN_Freq1Field, EVENT_COMMIT, nullptr, 0, 0);
  SetFreq2(mainpanel, MAIN_Freq2Field, EVENT_COMMIT, nullptr, 0, 0);
  WaveForm(mainpanel, MAIN_WaveformRing, EVENT_COMMIT, nullptr, 0, 0);
  SetCtrlGen(mainpanel, MAIN_GeneratorSwitch, EVENT_COMMIT, nullptr, 0, 0);
}

// ---------------------------------------------------------------------------------------------
// Callbacks

VELTRA_CALLBACK(WaveForm) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  GetCtrlVal(panel, control, &ws.form);
  ViewHideKnob();
  CheckGeneratorBand();
  if (gen_start == 1) BufferArrySim();
  return 0;
}

VELTRA_CALLBACK(SetAmpl) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  double mv = 0.0;
  GetCtrlVal(panel, control, &mv);
  if (!(mv >= 0.0)) mv = 0.0;
  if (mv > kMaxAmplitudeMv) mv = kMaxAmplitudeMv;
  if (ws.mvpc <= 0.0) ws.mvpc = kMvPerCount;
  ws.amp = static_cast<int>(mv / ws.mvpc);
  return 0;
}

VELTRA_CALLBACK(SetFreq1) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  GetCtrlVal(panel, control, &ws.f1);
  if (ws.form == 1 && ws.f2 < ws.f1) {
    ws.f1 = 0.9 * ws.f2;
    SetCtrlVal(panel, control, ws.f1);
  }
  CheckGeneratorBand();
  return 0;
}

VELTRA_CALLBACK(SetFreq2) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  GetCtrlVal(panel, control, &ws.f2);
  return 0;
}

VELTRA_CALLBACK(SetTimeSweep) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  GetCtrlVal(panel, control, &ws.width);
  ws.srate = cus.srate;
  return 0;
}

VELTRA_CALLBACK(SetCtrlGen) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  GetCtrlVal(panel, control, &gen_start);
  return 0;
}
