// The analyzer's user-interface toolkit: panels, controls, graphs, popups and the event loop.
//
// The API keeps the operation names, argument orders and numeric codes of the LabWindows/CVI
// run-time the analyzer logic was written against, so that logic reads the same here. It is
// implemented on Qt 6 Widgets and QCustomPlot; no Qt type appears in this header.
//
// Identity: panels and controls are plain integers. A panel resource is described once by
// RegisterPanelResource (its Qt Designer file and the list of control roles); the control id of
// a role is its 1-based position in that list. Every role is the objectName of a widget.
//
// Threads: every call is made on the thread that called InitUserInterface (the GUI thread).
//
// Status: functions return 0 (or a non-negative value/handle) on success and a negative
// UIE_* code on failure. Nothing here throws.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

#include <cstddef>

// ---------------------------------------------------------------------------------------------
// Status codes
constexpr int UIE_NoError = 0;
constexpr int UIE_InvalidPanel = -1;       // no such panel handle
constexpr int UIE_InvalidControl = -2;     // no such control on the panel
constexpr int UIE_ResourceMissing = -3;    // panel resource not registered or not found
constexpr int UIE_ResourceMalformed = -4;  // the .ui file could not be loaded
constexpr int UIE_RoleMissing = -5;        // a listed role has no widget in the resource
constexpr int UIE_WrongType = -6;          // operation not valid for this kind of control
constexpr int UIE_IndexOutOfRange = -7;    // list index or cursor number outside the valid range
constexpr int UIE_InvalidAttribute = -8;   // attribute not supported by the control
constexpr int UIE_InvalidValue =
    -9;  // value the control cannot take (text not a number, no such ring item)
constexpr int UIE_FileError = -10;  // a file could not be read or written
constexpr int UIE_NoPlot = -11;     // no such plot handle
constexpr int UIE_Dimmed = -12;     // a person cannot operate a dimmed control (automation)

// ---------------------------------------------------------------------------------------------
// Events delivered to control callbacks
constexpr int EVENT_COMMIT = 1;
constexpr int EVENT_RIGHT_CLICK = 5;
constexpr int EVENT_RIGHT_DOUBLE_CLICK = 6;
constexpr int EVENT_KEYPRESS = 7;
constexpr int EVENT_TIMER_TICK = 15;

// Key codes in eventData1 of EVENT_KEYPRESS (virtual key | modifier)
constexpr int VAL_UP_ARROW_VKEY = 0x0600;
constexpr int VAL_DOWN_ARROW_VKEY = 0x0700;
constexpr int VAL_SHIFT_MODIFIER = 0x10000;
constexpr int VAL_VKEY_MASK = 0xFF00;

// Control callback: (panel, control, event, callbackData, eventData1, eventData2) -> 0.
typedef int (*CtrlCallbackPtr)(int panel, int control, int event, void* callbackData,
                               int eventData1, int eventData2);

// ---------------------------------------------------------------------------------------------
// Colours: 0xRRGGBB, plus the transparent marker.
constexpr int VAL_BLACK = 0x000000;
constexpr int VAL_WHITE = 0xFFFFFF;
constexpr int VAL_RED = 0xFF0000;
constexpr int VAL_GREEN = 0x00FF00;
constexpr int VAL_BLUE = 0x0000FF;
constexpr int VAL_CYAN = 0x00FFFF;
constexpr int VAL_MAGENTA = 0xFF00FF;
constexpr int VAL_YELLOW = 0xFFFF00;
constexpr int VAL_DK_RED = 0x800000;
constexpr int VAL_DK_GREEN = 0x008000;
constexpr int VAL_DK_BLUE = 0x000080;
constexpr int VAL_DK_CYAN = 0x008080;
constexpr int VAL_DK_MAGENTA = 0x800080;
constexpr int VAL_DK_YELLOW = 0x808000;
constexpr int VAL_GRAY = 0xA0A0A0;
constexpr int VAL_DK_GRAY = 0x808080;
constexpr int VAL_LT_GRAY = 0xCCCCCC;
constexpr int VAL_TRANSPARENT = 0x1000000;
constexpr int MakeColor(int r, int g, int b) {
  return ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}

// Plot styles
constexpr int VAL_THIN_LINE = 0;
constexpr int VAL_CONNECTED_POINTS = 1;
constexpr int VAL_SCATTER = 2;
constexpr int VAL_VERTICAL_BAR = 3;
// Point styles (the ones the analyzer uses; others draw as a small square)
constexpr int VAL_EMPTY_SQUARE = 0;
constexpr int VAL_SOLID_SQUARE = 1;
constexpr int VAL_ASTERISK = 2;
constexpr int VAL_SIMPLE_DOT = 10;
constexpr int VAL_EMPTY_CIRCLE = 11;
constexpr int VAL_SOLID_CIRCLE = 12;
constexpr int VAL_CROSS = 16;
constexpr int VAL_X = 18;
constexpr int VAL_NO_POINT = 24;
// Line styles
constexpr int VAL_SOLID = 0;
constexpr int VAL_DASH = 1;
constexpr int VAL_DOT = 2;
constexpr int VAL_DASH_DOT = 3;
// Data types (only doubles are plotted; kept so calls read like the originals)
constexpr int VAL_DOUBLE = 4;
// DeleteGraphPlot refresh modes; plot handle -1 deletes every plot of the graph
constexpr int VAL_NO_DRAW = 0;
constexpr int VAL_DELAYED_DRAW = 1;
constexpr int VAL_IMMEDIATE_DRAW = 2;
// Axes and scaling modes
constexpr int VAL_XAXIS = 0;
constexpr int VAL_BOTTOM_XAXIS = 0;
constexpr int VAL_LEFT_YAXIS = 1;
constexpr int VAL_MANUAL = 0;
constexpr int VAL_AUTOSCALE = 1;
// FileSelectPopup results and button labels
constexpr int VAL_NO_FILE_SELECTED = 0;
constexpr int VAL_EXISTING_FILE_SELECTED = 1;
constexpr int VAL_NEW_FILE_SELECTED = 2;
constexpr int VAL_OK_BUTTON = 0;
constexpr int VAL_SAVE_BUTTON = 1;
constexpr int VAL_LOAD_BUTTON = 3;
// ConfirmPopup answers
constexpr int VAL_NO = 0;
constexpr int VAL_YES = 1;
// GetPanelDisplayBitmap scopes
constexpr int VAL_VISIBLE_AREA = 0;
constexpr int VAL_FULL_PANEL = 1;

// ---------------------------------------------------------------------------------------------
// Attributes. Controls: Get/SetCtrlAttribute. Panels: Get/SetPanelAttribute. Cursors:
// SetCursorAttribute. The value type of each is given in brackets.
enum UiAttribute : int {
  // any control
  ATTR_DIMMED = 1,    // [int] 1 = greyed out, does not take user input
  ATTR_VISIBLE,       // [int]
  ATTR_LABEL_TEXT,    // [text] the caption shown beside/on the control
  ATTR_TEXT_COLOR,    // [int colour]
  ATTR_TEXT_BGCOLOR,  // [int colour] background of a text/readout/numeric control
  ATTR_TOP,           // [int] pixels in the panel
  ATTR_LEFT,          // [int]
  ATTR_WIDTH,         // [int]
  ATTR_HEIGHT,        // [int]
  ATTR_CTRL_VAL,      // same as Get/SetCtrlVal
  // toggles and LEDs
  ATTR_ON_TEXT,    // [text]
  ATTR_OFF_TEXT,   // [text]
  ATTR_ON_COLOR,   // [int colour] LED lit colour
  ATTR_OFF_COLOR,  // [int colour]
  // numerics
  ATTR_MIN_VALUE,   // [int or double, as the control]
  ATTR_MAX_VALUE,   // [int or double]
  ATTR_INCR_VALUE,  // [int or double]
  ATTR_PRECISION,   // [int] digits after the decimal point
  // timer control
  ATTR_INTERVAL,  // [double] seconds
  ATTR_ENABLED,   // [int]
  // graphs
  ATTR_NUM_CURSORS,         // [int] 0 … 5
  ATTR_XAXIS_GAIN,          // [double] X tick labels show value·gain + offset
  ATTR_YAXIS_GAIN,          // [double]
  ATTR_XAXIS_OFFSET,        // [double]
  ATTR_YAXIS_OFFSET,        // [double]
  ATTR_XPRECISION,          // [int] digits after the decimal point in tick labels
  ATTR_YPRECISION,          // [int]
  ATTR_XDIVISIONS,          // [int] number of major divisions
  ATTR_YDIVISIONS,          // [int]
  ATTR_XUSE_LABEL_STRINGS,  // [int] 1 = ticks from InsertAxisItem strings
  ATTR_YUSE_LABEL_STRINGS,  // [int]
  ATTR_XNAME,               // [text] axis title
  ATTR_YNAME,               // [text]
  ATTR_PLOT_BGCOLOR,        // [int colour]
  ATTR_GRID_COLOR,          // [int colour]
  ATTR_XMAP_MODE,           // [int] 0 linear (the only mode used)
  // cursors (SetCursorAttribute / GetCursorAttribute)
  ATTR_CURSOR_COLOR,    // [int colour]
  ATTR_CURSOR_VISIBLE,  // [int] hidden cursors keep their position
  // panels
  ATTR_TITLE,       // [text]
  ATTR_CLOSE_CTRL,  // [int] control operated (commit) when the user closes the panel's
                    //       window; 0 = closing only hides the panel
  // controls, any kind
  ATTR_TOOLTIP_TEXT,  // [text] the hint shown when the pointer rests on the control
};

// ---------------------------------------------------------------------------------------------
// Start-up and event loop

// Creates the application object (Qt). Must be the first call; argv is kept for Qt.
int InitUserInterface(int* argc, char** argv);
// Runs the event loop until QuitUserInterface; returns the code given there.
int RunUserInterface();
int QuitUserInterface(int code);
// Delivers pending events (used by automation between actions).
int ProcessSystemEvents();
// Seconds since program start on a monotonic clock.
double Timer();
// Compatibility no-ops.
int SetSleepPolicy(int policy);
int GetBreakOnLibraryErrors();
int DisableBreakOnLibraryErrors();
int EnableBreakOnLibraryErrors();
int SetBreakOnLibraryErrors(int on);

// ---------------------------------------------------------------------------------------------
// Panels

// Describes a panel resource: `resourceFile` + `resourceId` name it for LoadPanel, `uiPath` is the
// Qt resource path of the Designer file (e.g. ":/panels/main.ui"), `roles` lists the objectNames
// whose control ids are 1 … roleCount (the array must outlive the program).
int RegisterPanelResource(const char* resourceFile, int resourceId, const char* uiPath,
                          const char* const* roles, int roleCount);
// Loads a registered panel; returns a handle > 0, or a negative UIE_* code when the resource is
// missing, malformed or lacks a listed role. parent 0 = top-level panel.
int LoadPanel(int parentPanel, const char* resourceFile, int resourceId);
int DiscardPanel(int panel);
int DisplayPanel(int panel);
int HidePanel(int panel);
// Puts a panel beside another (to its right when the screen has room, else over its right
// edge, level with its top). Where the person moves it afterwards, it stays while the program
// runs.
int PlacePanelBeside(int panel, int anchorPanel);
int SetPanelAttribute(int panel, int attribute, const char* value);
int SetPanelAttribute(int panel, int attribute, int value);
int GetPanelAttribute(int panel, int attribute, int* value);

// Panel state: an INI file, one key per control role (section = `index`). Missing keys keep the
// resource default; unknown keys are ignored. Recall fires no callbacks.
int SavePanelState(int panel, const char* fileName, int index);
int RecallPanelState(int panel, const char* fileName, int index);

// ---------------------------------------------------------------------------------------------
// Callbacks

int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr callback, void* callbackData);

// ---------------------------------------------------------------------------------------------
// Control values. Setting a value from code never fires a callback.
//   ring: the value of the selected item (int or double); text: its label
//   numeric: its number; toggle, LED: 0/1; text field, readout: its text (numbers are formatted)
int GetCtrlVal(int panel, int control, int* value);
int GetCtrlVal(int panel, int control, double* value);
int GetCtrlVal(int panel, int control, char* value, int bufSize);  // always terminated
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char* value);

int GetCtrlAttribute(int panel, int control, int attribute, int* value);
int GetCtrlAttribute(int panel, int control, int attribute, double* value);
int GetCtrlAttribute(int panel, int control, int attribute, char* value, int bufSize);
int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, double value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* value);

// Rectangle of a control in panel pixels.
int GetCtrlBoundingRect(int panel, int control, int* top, int* left, int* height, int* width);

// ---------------------------------------------------------------------------------------------
// List controls (rings and list boxes). Item values are ints or doubles; index -1 = append.
int ClearListCtrl(int panel, int control);
int InsertListItem(int panel, int control, int index, const char* label, int value);
int InsertListItem(int panel, int control, int index, const char* label, double value);
int GetNumListItems(int panel, int control, int* count);
int GetValueFromIndex(int panel, int control, int index, int* value);
int GetValueFromIndex(int panel, int control, int index, double* value);
int GetLabelFromIndex(int panel, int control, int index, char* label, int bufSize);
int GetCtrlIndex(int panel, int control, int* index);  // -1 when the list is empty
int SetCtrlIndex(int panel, int control, int index);

// ---------------------------------------------------------------------------------------------
// Graphs. Plot calls return a plot handle > 0. Non-finite values are never drawn.
// Redrawing is coalesced: all plot calls made while handling one event show in one replot.
int PlotXY(int panel, int control, const double* x, const double* y, int count, int xDataType,
           int yDataType, int plotStyle, int pointStyle, int lineStyle, int pointFrequency,
           int color);
// X of point i is i (the axis gain/offset turn it into physical units on the labels).
int PlotY(int panel, int control, const double* y, int count, int yDataType, int plotStyle,
          int pointStyle, int lineStyle, int pointFrequency, int color);
int PlotLine(int panel, int control, double x1, double y1, double x2, double y2, int color);
int PlotPoint(int panel, int control, double x, double y, int pointStyle, int color);
// font: a family name, or "NIAppMetaFont" for the toolkit's default UI font.
int PlotText(int panel, int control, double x, double y, const char* text, const char* font,
             int textColor, int backgroundColor);
// A colour map of z (numX × numY values, x fastest, row 0 at yFrom) whose cell centres run from
// (xFrom, yFrom) to (xTo, yTo), coloured over [zMin, zMax] with a colour scale titled unit
// beside the plot. Non-finite cells stay empty. Deleted like any other plot.
int PlotColorMap(int panel, int control, const float* z, int numX, int numY, double xFrom,
                 double xTo, double yFrom, double yTo, double zMin, double zMax, const char* unit);
// plotHandle -1 deletes every plot of the graph.
int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh);
int RefreshGraph(int panel, int control);

// Cursors are numbered 1 … ATTR_NUM_CURSORS.
int SetGraphCursor(int panel, int control, int cursor, double x, double y);
int GetGraphCursor(int panel, int control, int cursor, double* x, double* y);
// The point of the graph's first (oldest) plot nearest the cursor in X; -1/-1 with no plot.
int GetGraphCursorIndex(int panel, int control, int cursor, int* plotHandle, int* pointIndex);
int SetCursorAttribute(int panel, int control, int cursor, int attribute, int value);
int GetCursorAttribute(int panel, int control, int cursor, int attribute, int* value);

// min = max or min > max is widened/ordered so the axis is never empty or inverted.
int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max);
int GetAxisScalingMode(int panel, int control, int axis, int* mode, double* min, double* max);
int ClearAxisItems(int panel, int control, int axis);
int InsertAxisItem(int panel, int control, int axis, int index, const char* label, double value);

// ---------------------------------------------------------------------------------------------
// Popups. Shown as modal dialogs to a person; when a popup handler is installed (tests,
// automation) the handler records and answers instead, and nothing blocks.
int MessagePopup(const char* title, const char* message);
int ConfirmPopup(const char* title, const char* message);  // VAL_YES / VAL_NO
// Returns VAL_NO_FILE_SELECTED, VAL_EXISTING_FILE_SELECTED or VAL_NEW_FILE_SELECTED; the chosen
// path goes into pathName (bufSize bytes, always terminated). fileTypeList is either patterns
// separated by ';' (one filter) or named filters separated by '|' ("CSV (*.csv)|PNG (*.png)");
// with named filters a name typed without an extension takes the chosen filter's.
int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec,
                    const char* fileTypeList, const char* title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char* pathName, int bufSize);

enum PopupKind : int { POPUP_MESSAGE = 0, POPUP_CONFIRM = 1, POPUP_FILE_SELECT = 2 };
// Returns: for POPUP_MESSAGE anything; POPUP_CONFIRM VAL_YES/VAL_NO; POPUP_FILE_SELECT a
// FileSelectPopup result with the path written into `answer` (answerSize bytes).
typedef int (*PopupHandlerPtr)(int kind, const char* title, const char* text, char* answer,
                               int answerSize, void* handlerData);
// nullptr restores the modal dialogs.
int SetPopupHandler(PopupHandlerPtr handler, void* handlerData);

// ---------------------------------------------------------------------------------------------
// Bitmaps and clipboard
// scope VAL_FULL_PANEL grabs the whole panel, or the rectangle when width and height > 0.
int GetPanelDisplayBitmap(int panel, int scope, int top, int left, int height, int width,
                          int* bitmapId);
int ClipboardPutBitmap(int bitmapId);
int SaveBitmapToPNGFile(int bitmapId, const char* fileName);
int DiscardBitmap(int bitmapId);
// Picture of a graph control as PNG, or as SVG when the name ends in ".svg", width × height
// pixels (0 × 0: the size it has on the panel). Written through a temporary file.
int SaveGraphPicture(int panel, int control, const char* fileName, int width, int height);

// ---------------------------------------------------------------------------------------------
// Files
// 1 when the file exists (size in bytes into *fileSize when not null), 0 when not, <0 on error.
int GetFileInfo(const char* fileName, long* fileSize);

// ---------------------------------------------------------------------------------------------
// Automation: act on a control as a person would.
// Finds a control by role name on any loaded panel; 0 on success.
int FindCtrlByRole(const char* role, int* panel, int* control);
// Role name of a control (empty when unknown).
const char* GetCtrlRole(int panel, int control);
// Sets the value from text as the user would (a ring by item value or label, a toggle by 0/1 or
// its on/off text, a numeric by number within its range) and fires EVENT_COMMIT.
// UIE_InvalidValue when the control cannot take the value.
int UserSetCtrlVal(int panel, int control, const char* valueText);
// Clicks a command button (commit) or flips a toggle (then commit).
int UserPressCtrl(int panel, int control);
// Delivers one event to a control's callback, as the toolkit would (e.g. EVENT_TIMER_TICK).
int UserFireEvent(int panel, int control, int event, int eventData1, int eventData2);
// A keyboard shortcut of the panel's window ("F5", "Ctrl+S", … in Qt's portable key names)
// that works `control` as UserPressCtrl does; a dimmed control ignores it.
int InstallShortcut(int panel, const char* keys, int control);
