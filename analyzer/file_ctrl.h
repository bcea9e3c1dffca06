// The unit rings of the result windows: which Y and X units a window's function and format
// offer, and the callbacks of the unit and dB controls.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

// The unit rings of window w show the units its function and format offer, with the model's
// choice selected; the dB controls and memory buttons follow.
void ShowUnits(int w);
// Switches window w's memory buttons off, clears its memory state, and offers the buttons only
// for the magnitude and phase of a frequency response.
void VisibleHideSpecButton(int w);

int RingY1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RingY2(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RingX1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RingX2(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RingDbOne(int panel, int control, int event, void* callbackData, int eventData1,
              int eventData2);
int RingDbTwo(int panel, int control, int event, void* callbackData, int eventData1,
              int eventData2);
int MaxdB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
