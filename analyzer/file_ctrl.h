// The unit rings of the result windows: which Y and X units a window's function and format
// offer, and the callbacks of the unit and dB controls.
#pragma once

// Refills window w's Y-unit ring for function `function` in the window's format, keeps the
// previous choice when offered, reads the choice (and the dB controls when it is dB) into the
// window; returns the format's row of X-unit flags.
const int* LabelUnitY(int w, int function);
// The same for the X-unit ring from the row LabelUnitY returned.
void LabelUnitX(int w, const int* row);
// Both rings, then the memory buttons (VisibleHideSpecButton).
void SetItemLabelXY(int w, int function);
// Switches window w's memory buttons off, clears its memory state, and offers the buttons only
// for the magnitude and phase of a frequency response.
void VisibleHideSpecButton(int w);

int RingY1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RingY2(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RingX1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RingX2(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RingDbOne(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RingDbTwo(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int MaxdB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
