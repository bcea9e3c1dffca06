// Qt-side access to panels and controls, for the program's main() and the tests only:
// the analyzer's logic stays on userint.h.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

class QWidget;

// The window of a loaded panel, or nullptr.
QWidget* PanelWidget(int panel);
// The widget of a control (a QCustomPlot for graphs, the hidden placeholder for timers).
QWidget* CtrlWidget(int panel, int control);
