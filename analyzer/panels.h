// Control roles of the three panels and the callback bound to each.
//
// Each list is an X-macro X(role, callback): the role is the objectName of the widget in the
// panel's Designer file and, with the panel prefix, the control constant the code uses
// (MAIN_StartButton, TRIG_LevelField, …). A control id is the role's 1-based position in its
// list, which is how the ui toolkit numbers them. NoCallback marks display-only controls.
#pragma once

#ifdef VELTRA_MEASUREMENT_CORE
#error "the measurement core works without the panels and the toolkit"
#endif

// Every control callback has this form (panel, control, event, data, eventData1, eventData2).
#define VELTRA_CALLBACK(name) \
  int name(int panel, int control, int event, void* callbackData, int eventData1, int eventData2)

// Per result window w (1, 2); the callback names differ by window in a few places.
#define VELTRA_WINDOW_ROLES(X, w, CursorCb, FunctCb, FormatCb, RingYCb, RingXCb, DbCb, CursorsCb, \
                            ColorCb)                                                              \
  X(Graph##w, CursorCb)                                                                           \
  X(FunctionRing##w, FunctCb)                                                                     \
  X(FormatRing##w, FormatCb)                                                                      \
  X(YUnitRing##w, RingYCb)                                                                        \
  X(XUnitRing##w, RingXCb)                                                                        \
  X(DbRangeRing##w, DbCb)                                                                         \
  X(DbTopField##w, MaxdB)                                                                         \
  X(IntegrationRing##w, Integration)                                                              \
  X(CursorModeRing##w, CursorsCb)                                                                 \
  X(SideBandToggle##w, SetRead)                                                                   \
  X(GateToggle##w, SetZoom)                                                                       \
  X(ZoomLed##w, NoCallback)                                                                       \
  X(MemoryToggle##w, InMemory)                                                                    \
  X(EqualizeToggle##w, Equalize)                                                                  \
  X(ShowMemoryToggle##w, ViewMm)                                                                  \
  X(ColorSelect##w, ColorCb)                                                                      \
  X(CursorReadout##w, NoCallback)                                                                 \
  X(TotalReadout##w, NoCallback)                                                                  \
  X(WindowMark##w, NoCallback)                                                                    \
  X(WindowCaption##w, NoCallback)                                                                 \
  X(SaveButton##w, SaveFiles)                                                                     \
  X(CopyButton##w, ClipBoord)                                                                     \
  X(PeakHoldToggle##w, SetPeakHold)                                                               \
  X(SpectrogramToggle##w, SetSpectrogram)                                                         \
  X(ConfidenceToggle##w, SetConfidence)                                                           \
  X(DistortionReadout##w, NoCallback)

#define VELTRA_MAIN_ROLES(X)                                                              \
  /* run control */                                                                       \
  X(StartButton, StartStop)                                                               \
  X(TimerTick, SetData)                                                                   \
  X(AverCountDisplay, NoCallback)                                                         \
  X(QuitButton, Quit)                                                                     \
  /* measurement */                                                                       \
  X(MeasTypeRing, RingMeas)                                                               \
  X(SourceRing, RegimMeas)                                                                \
  X(AveragesField, SetupHard)                                                             \
  X(LinearBox, SetupHard)                                                                 \
  X(ExponentialBox, SetupHard)                                                            \
  X(CollectRing, SetCollectMode)                                                          \
  X(StartRing, RunSetup)                                                                  \
  X(DumpSwitch, SetDump)                                                                  \
  X(CalibrPresetButton, CalibrSet)                                                        \
  /* analysis geometry */                                                                 \
  X(SampleRateRing, SetSampl)                                                             \
  X(FftSizeRing, SetRankFFT)                                                              \
  X(OverlapRing, Overlap)                                                                 \
  X(WindowRing, Weight)                                                                   \
  X(BinsField, SetRank)                                                                   \
  X(DelayField, SetupRun)                                                                 \
  X(DelayDownButton, SetupRun)                                                            \
  X(DelayUpButton, SetupRun)                                                              \
  X(DelayReadout, NoCallback)                                                             \
  /* channels A and B */                                                                  \
  X(ChannelSwitchA, SwitchChA)                                                            \
  X(ChannelSwitchB, SwitchChB)                                                            \
  X(DiffIntRingA, SetDiffIntegr)                                                          \
  X(DiffIntRingB, SetDiffIntegr)                                                          \
  X(AcDcSwitchA, SetAcDc)                                                                 \
  X(AcDcSwitchB, SetAcDc)                                                                 \
  X(CoefFieldA, SetCoefField)                                                             \
  X(CoefFieldB, SetCoefField)                                                             \
  X(InputModeRingA, SetInputMode)                                                         \
  X(InputModeRingB, SetInputMode)                                                         \
  X(SenFieldA, SetSenA)                                                                   \
  X(SenFieldB, SetSenB)                                                                   \
  X(LoFieldA, SetLo)                                                                      \
  X(LoFieldB, SetLo)                                                                      \
  X(UnitRingA, SetDim)                                                                    \
  X(UnitRingB, SetDim)                                                                    \
  X(OverloadLedA, NoCallback)                                                             \
  X(OverloadLedB, NoCallback)                                                             \
  /* inputs of a recording */                                                             \
  X(InputButton0, SelectCh)                                                               \
  X(InputButton1, SelectCh)                                                               \
  X(InputButton2, SelectCh)                                                               \
  X(InputButton3, SelectCh)                                                               \
  X(InputButton4, SelectCh)                                                               \
  X(InputButton5, SelectCh)                                                               \
  X(InputButton6, SelectCh)                                                               \
  X(InputButton7, SelectCh)                                                               \
  X(FileNameBox, NoCallback)                                                              \
  /* live input */                                                                        \
  X(CaptureDeviceRing, SetCaptureDevice)                                                  \
  X(CaptureInputRing, SetCaptureScale)                                                    \
  X(CaptureFullScaleField, SetCaptureScale)                                               \
  X(CaptureStatus, NoCallback)                                                            \
  /* generator */                                                                         \
  X(WaveformRing, WaveForm)                                                               \
  X(AmplitudeField, SetAmpl)                                                              \
  X(Freq1Field, SetFreq1)                                                                 \
  X(Freq2Field, SetFreq2)                                                                 \
  X(PulseWidthField, SetTimeSweep)                                                        \
  X(GeneratorSwitch, SetCtrlGen)                                                          \
  /* result windows */                                                                    \
  X(CursorSyncToggle, CursorSyn)                                                          \
  X(WindowSel1, SetFormatDisp)                                                            \
  X(WindowSel2, SetFormatDisp)                                                            \
  X(WindowSelBoth, SetFormatDisp)                                                         \
  X(GraphFrame, NoCallback)                                                               \
  X(StatusLine, NoCallback)                                                               \
  X(HelpButton, ShowHelp)                                                                 \
  X(Graph2Frame, NoCallback)                                                              \
  VELTRA_WINDOW_ROLES(X, 1, CursorW1, FunctW1, CrossRingFunc1, RingY1, RingX1, RingDbOne, \
                      SetCursors1, ColorA)                                                \
  VELTRA_WINDOW_ROLES(X, 2, CursorW2, FunctW2, CrossRingFunc2, RingY2, RingX2, RingDbTwo, \
                      SetCursors2, ColorB)                                                \
  /* recorder and exchange */                                                             \
  X(RecordButton, RecordCtrl)                                                             \
  X(RecordFileBox, NoCallback)                                                            \
  X(FullScaleField, SetFullScale)                                                         \
  X(ExportButton, ExportRecord)                                                           \
  X(PictureSizeRing, NoCallback)

#define VELTRA_TRIGGER_ROLES(X)        \
  X(TriggerChannelField, TriggerSetup) \
  X(LevelField, TriggerSetup)          \
  X(Level2Field, TriggerSetup)         \
  X(SlopeRing, TriggerSetup)           \
  X(PretrigField, TriggerSetup)        \
  X(LevelModeList, SetLevelMode)       \
  X(TriggerCloseButton, Exit)

#define VELTRA_FRONTEND_ROLES(X)   \
  X(ChannelSelector, SetKpCh)      \
  X(GainField, SetKoef)            \
  X(LowPassSelector, SetLPF)       \
  X(HighPassSelector, SetHPF)      \
  X(AutoRangeButton, SetRange)     \
  X(FrontEndExitButton, PExit)     \
  X(ConnectButton, Connect5128)    \
  X(LinkStatusReadout, NoCallback) \
  X(LinkTimer, LinkTick)

// A commit callback: the body runs for EVENT_COMMIT only and sees `panel` and `control`
// (expanded where the toolkit's events are known).
#define VELTRA_COMMIT(name)                                          \
  static int name##Commit(int panel, int control);                   \
  VELTRA_CALLBACK(name) {                                            \
    (void)callbackData, (void)eventData1, (void)eventData2;          \
    return event == EVENT_COMMIT ? name##Commit(panel, control) : 0; \
  }                                                                  \
  static int name##Commit([[maybe_unused]] int panel, [[maybe_unused]] int control)
// Pushes a control's value through its own callback, as a commit from the user would.
int Commit(int (*callback)(int, int, int, void*, int, int), int panel, int control);

// Control constants: MAIN_<role>, TRIG_<role>, FRONT_<role>, numbered from 1 in list order.
#define VELTRA_ENUM_MAIN(role, cb) MAIN_##role,
#define VELTRA_ENUM_TRIG(role, cb) TRIG_##role,
#define VELTRA_ENUM_FRONT(role, cb) FRONT_##role,
enum MainControl : int { MAIN_FIRST_ = 0, VELTRA_MAIN_ROLES(VELTRA_ENUM_MAIN) MAIN_END_ };
enum TriggerControl : int { TRIG_FIRST_ = 0, VELTRA_TRIGGER_ROLES(VELTRA_ENUM_TRIG) TRIG_END_ };
enum FrontControl : int { FRONT_FIRST_ = 0, VELTRA_FRONTEND_ROLES(VELTRA_ENUM_FRONT) FRONT_END_ };
#undef VELTRA_ENUM_MAIN
#undef VELTRA_ENUM_TRIG
#undef VELTRA_ENUM_FRONT

constexpr int kMainRoleCount = MAIN_END_ - 1;
constexpr int kTriggerRoleCount = TRIG_END_ - 1;
constexpr int kFrontRoleCount = FRONT_END_ - 1;

// Every callback named in the lists, declared once here.
#define VELTRA_DECLARE_CB(role, cb) VELTRA_CALLBACK(cb);
VELTRA_MAIN_ROLES(VELTRA_DECLARE_CB)
VELTRA_TRIGGER_ROLES(VELTRA_DECLARE_CB)
VELTRA_FRONTEND_ROLES(VELTRA_DECLARE_CB)
#undef VELTRA_DECLARE_CB

// Panel handles (LoadPanel results); 0 before the panels are loaded.
extern int mainpanel;
extern int trigpanel;
extern int frontpanel;

// Registers the three Designer files with the toolkit (idempotent) and loads the panels into
// mainpanel, trigpanel and frontpanel. Returns 0, or the negative toolkit code of the first
// panel that could not be loaded.
int LoadVeltraPanels();
// Binds every role's callback (the table in callbacks.cpp).
void BindCallbacks();
// Program start-up without the event loop: panels loaded and bound, main panel shown, model
// initialised from the panels, no run. 0, or the negative code of a panel that failed to load.
int StartVeltra();
// Role names in control-id order (index 0 = control 1).
extern const char* const kMainRoles[];
extern const char* const kTriggerRoles[];
extern const char* const kFrontRoles[];
