// The panel side of the live input: the device ring, the full-scale field, the status line and
// the overload lamps.
#include <cstdio>
#include <cstring>

#include "analyzer/calibration.h"
#include "analyzer/live_panel.h"
#include "analyzer/menager_panel.h"
#include "analyzer/model.h"
#include "analyzer/panels.h"
#include "analyzer/sources.h"
#include "ui/userint.h"

namespace {

constexpr int kMaxDevices = 64;

void ShowFullScale() {
  int in = 0;
  GetCtrlVal(mainpanel, MAIN_CaptureInputRing, &in);
  SetCtrlVal(mainpanel, MAIN_CaptureFullScaleField, CaptureFullScale(in));
}

}  // namespace

void ShowLiveState(int drawn) {
  char shown[2 * kCaptureTextLen] = "";
  GetCtrlVal(mainpanel, MAIN_CaptureStatus, shown, sizeof shown);
  if (std::strcmp(shown, LiveStatusText()) != 0)
    SetCtrlVal(mainpanel, MAIN_CaptureStatus, LiveStatusText());
  if (!drawn) return;
  int clipped[2];
  LiveTakeClips(clipped);
  if (clipped[0]) SetCtrlVal(mainpanel, MAIN_OverloadLedA, 1);
  if (clipped[1]) SetCtrlVal(mainpanel, MAIN_OverloadLedB, 1);
}

void InitCapturePanel() {
  char saved[kCaptureTextLen] = "default";
  int index = -1;
  if (GetCtrlIndex(mainpanel, MAIN_CaptureDeviceRing, &index) < 0 || index < 0 ||
      GetLabelFromIndex(mainpanel, MAIN_CaptureDeviceRing, index, saved, sizeof saved) < 0) {
    std::snprintf(saved, sizeof saved, "%s", "default");
  }
  static char names[kMaxDevices][kCaptureTextLen];
  int devices = CaptureDeviceNames(names, kMaxDevices);
  int chosen = -1;
  for (int i = 0; i < devices; ++i)
    if (std::strcmp(names[i], saved) == 0) chosen = i;
  // A device that is not plugged in now stays the choice until the operator picks another.
  if (chosen < 0 && devices < kMaxDevices) {
    std::snprintf(names[devices], kCaptureTextLen, "%s", saved);
    chosen = devices++;
  }
  ClearListCtrl(mainpanel, MAIN_CaptureDeviceRing);
  for (int i = 0; i < devices; ++i)
    InsertListItem(mainpanel, MAIN_CaptureDeviceRing, -1, names[i], i);
  SetCtrlIndex(mainpanel, MAIN_CaptureDeviceRing, chosen < 0 ? 0 : chosen);
  if (chosen >= 0) std::snprintf(capture_device, sizeof capture_device, "%s", names[chosen]);
  ShowFullScale();
}

VELTRA_COMMIT(SetCaptureDevice) {
  char name[kCaptureTextLen] = "";
  int index = -1;
  if (GetCtrlIndex(panel, control, &index) >= 0 && index >= 0 &&
      GetLabelFromIndex(panel, control, index, name, sizeof name) >= 0 && name[0] != '\0') {
    std::snprintf(capture_device, sizeof capture_device, "%s", name);
  }
  if (start == 1 && Source().live) SetZero();
  return 0;
}

VELTRA_COMMIT(SetCaptureScale) {
  if (control == MAIN_CaptureInputRing) {
    ShowFullScale();
    return 0;
  }
  int in = 0;
  double volts = kDefaultFullScale;
  GetCtrlVal(panel, MAIN_CaptureInputRing, &in);
  GetCtrlVal(panel, control, &volts);
  if (in < 0 || in >= kInputs) return 0;
  if (SetCaptureFullScale(in, volts) == 0) {
    SetCtrlVal(panel, control, CaptureFullScale(in));
    return 0;
  }
  const bool used = (rcu.onA && rcu.chanA == in) || (rcu.onB && rcu.chanB == in);
  if (start == 1 && Source().live && used) SetZero();
  return 0;
}
