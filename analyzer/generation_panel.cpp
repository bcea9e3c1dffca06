// The panel side of the generator: its controls, dimmed as the waveform and the source need.
#include <cstdio>

#include "analyzer/aids.h"
#include "analyzer/generation.h"
#include "analyzer/generation_panel.h"
#include "analyzer/model.h"
#include "analyzer/panels.h"
#include "analyzer/setters.h"
#include "analyzer/sources.h"
#include "ui/userint.h"

void ViewHideKnob() {
  // In playback every generator control stays dimmed.
  const bool playback = Source().recorded;
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
  Commit(WaveForm, mainpanel, MAIN_WaveformRing);
}

void InitStructWaver() {
  InitGenerator();
  SetCtrlAttribute(mainpanel, MAIN_PulseWidthField, ATTR_MAX_VALUE, cus.frameLen);
  Commit(SetTimeSweep, mainpanel, MAIN_PulseWidthField);
  Commit(SetAmpl, mainpanel, MAIN_AmplitudeField);
  Commit(SetFreq1, mainpanel, MAIN_Freq1Field);
  Commit(SetFreq2, mainpanel, MAIN_Freq2Field);
  Commit(WaveForm, mainpanel, MAIN_WaveformRing);
  Commit(SetCtrlGen, mainpanel, MAIN_GeneratorSwitch);
}

// ---------------------------------------------------------------------------------------------
// Callbacks

VELTRA_COMMIT(WaveForm) {
  int form = 0;
  GetCtrlVal(panel, control, &form);
  SetWaveform(form);
  ViewHideKnob();
  CheckGeneratorBand();
  return 0;
}

VELTRA_COMMIT(SetAmpl) {
  double mv = 0.0;
  GetCtrlVal(panel, control, &mv);
  SetAmplitude(mv);
  return 0;
}

VELTRA_COMMIT(SetFreq1) {
  double hz = 0.0;
  GetCtrlVal(panel, control, &hz);
  SetFrequency1(hz);
  if (ws.f1 != hz) SetCtrlVal(panel, control, ws.f1);
  CheckGeneratorBand();
  return 0;
}

VELTRA_COMMIT(SetFreq2) {
  double hz = 0.0;
  GetCtrlVal(panel, control, &hz);
  SetFrequency2(hz);
  return 0;
}

VELTRA_COMMIT(SetTimeSweep) {
  int width = 1;
  GetCtrlVal(panel, control, &width);
  SetPulseWidth(width);
  return 0;
}

VELTRA_COMMIT(SetCtrlGen) {
  int on = 0;
  GetCtrlVal(panel, control, &on);
  SetGenerator(on);
  return 0;
}
