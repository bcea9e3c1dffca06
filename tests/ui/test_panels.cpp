// Panels, control values and attributes, list rings, callbacks from simulated user input,
// panel state, popups and the automation entry points.
#include "ui_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <cstring>

void EnsureToolkit() {
  static bool done = false;
  if (done) return;
  done = true;
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char arg0[] = "test_ui";
  static char* argv[] = {arg0, nullptr};
  ASSERT_EQ(InitUserInterface(&argc, argv), UIE_NoError);
  ASSERT_EQ(RegisterPanelResource(kTestUir, kTestPanelId, ":/ui-test/test_panel.ui", kTestRoles,
                                  kTestCtrlCount),
            UIE_NoError);
}

namespace {

std::string TextVal(int panel, int control) {
  char buf[256];
  EXPECT_EQ(GetCtrlVal(panel, control, buf, sizeof buf), UIE_NoError);
  return buf;
}

int IntVal(int panel, int control) {
  int v = -12345;
  EXPECT_EQ(GetCtrlVal(panel, control, &v), UIE_NoError);
  return v;
}

double DblVal(int panel, int control) {
  double v = -12345.0;
  EXPECT_EQ(GetCtrlVal(panel, control, &v), UIE_NoError);
  return v;
}

// The standard dialogs speak the panels' language, and numbers are C-locale text even when the
// desktop's locale (which QApplication hands to the C library) writes decimal commas.
TEST(ToolkitLanguage, DialogsAreRussianAndNumbersUseAPoint) {
  EnsureToolkit();
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("Отмена"));
  EXPECT_NE(QCoreApplication::translate("QFileDialog", "File &name:"), "File &name:");
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", 2.5);
  EXPECT_STREQ(text, "2.5");
  EXPECT_DOUBLE_EQ(std::strtod("2.5", nullptr), 2.5);
}

// ---------------------------------------------------------------------------------------------
// Loading

TEST(LoadPanelTest, RefusesMissingMalformedAndIncompleteResources) {
  EnsureToolkit();
  EXPECT_EQ(LoadPanel(0, "nothing.uir", 7), UIE_ResourceMissing);

  static const char* const oneRole[] = {"ModeRing"};
  RegisterPanelResource("t.uir", 2, ":/ui-test/no_such_file.ui", oneRole, 1);
  EXPECT_EQ(LoadPanel(0, "t.uir", 2), UIE_ResourceMissing);

  RegisterPanelResource("t.uir", 3, ":/ui-test/broken_panel.ui", oneRole, 1);
  EXPECT_EQ(LoadPanel(0, "t.uir", 3), UIE_ResourceMalformed);

  static const char* const withMissing[] = {"ModeRing", "NoSuchRole"};
  RegisterPanelResource("t.uir", 4, ":/ui-test/test_panel.ui", withMissing, 2);
  EXPECT_EQ(LoadPanel(0, "t.uir", 4), UIE_RoleMissing);

  // The same file with only roles it has loads, and loads twice as two panels.
  RegisterPanelResource("t.uir", 5, ":/ui-test/test_panel.ui", oneRole, 1);
  const int a = LoadPanel(0, "t.uir", 5);
  const int b = LoadPanel(0, "t.uir", 5);
  EXPECT_GT(a, 0);
  EXPECT_GT(b, 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(DiscardPanel(a), UIE_NoError);
  EXPECT_EQ(DiscardPanel(a), UIE_InvalidPanel);
  EXPECT_EQ(SetCtrlVal(a, 1, 5), UIE_InvalidPanel);
  EXPECT_EQ(DiscardPanel(b), UIE_NoError);
}

TEST_F(PanelTest, ChildPanelsDieWithTheirParent) {
  const int child = LoadPanel(panel_, kTestUir, kTestPanelId);
  ASSERT_GT(child, 0);
  EXPECT_TRUE(PanelWidget(child)->isWindow());
  EXPECT_EQ(LoadPanel(9999, kTestUir, kTestPanelId), UIE_InvalidPanel);
  int p = 0, c = 0;
  ASSERT_EQ(FindCtrlByRole("CountField", &p, &c), UIE_NoError);
  EXPECT_EQ(p, panel_) << "roles are found on the oldest panel first";
  ASSERT_EQ(DiscardPanel(panel_), UIE_NoError);
  panel_ = 0;
  EXPECT_EQ(SetCtrlVal(child, CountField, 3), UIE_InvalidPanel);
  EXPECT_EQ(DiscardPanel(child), UIE_InvalidPanel);
}

TEST_F(PanelTest, PanelAttributesAndVisibility) {
  EXPECT_EQ(SetPanelAttribute(panel_, ATTR_TITLE, "Анализатор"), UIE_NoError);
  EXPECT_EQ(PanelWidget(panel_)->windowTitle(), QString::fromUtf8("Анализатор"));
  EXPECT_EQ(DisplayPanel(panel_), UIE_NoError);
  EXPECT_TRUE(PanelWidget(panel_)->isVisible());
  EXPECT_EQ(HidePanel(panel_), UIE_NoError);
  EXPECT_FALSE(PanelWidget(panel_)->isVisible());
  EXPECT_EQ(SetCtrlVal(panel_, kTestCtrlCount + 1, 1), UIE_InvalidControl);
  EXPECT_EQ(SetCtrlVal(panel_, 0, 1), UIE_InvalidControl);
}

TEST_F(PanelTest, ClosingTheWindowOperatesTheCloseControl) {
  DisplayPanel(panel_);
  PanelWidget(panel_)->close();
  ProcessSystemEvents();
  EXPECT_FALSE(PanelWidget(panel_)->isVisible());  // no close control: only hidden
  EXPECT_TRUE(Events().empty());

  ASSERT_EQ(SetPanelAttribute(panel_, ATTR_CLOSE_CTRL, StartButton), UIE_NoError);
  DisplayPanel(panel_);
  PanelWidget(panel_)->close();
  ProcessSystemEvents();
  EXPECT_TRUE(PanelWidget(panel_)->isVisible());
  EXPECT_EQ(CountEvents(StartButton, EVENT_COMMIT), 1);
}

// ---------------------------------------------------------------------------------------------
// Values

TEST_F(PanelTest, ValuesRoundTripForEveryKind) {
  int i = 0;
  double d = 0.0;
  // Ring with integer item values: the value selects the item.
  EXPECT_EQ(SetCtrlVal(panel_, ModeRing, 5), UIE_NoError);
  EXPECT_EQ(GetCtrlVal(panel_, ModeRing, &i), UIE_NoError);
  EXPECT_EQ(i, 5);
  EXPECT_EQ(Widget<QComboBox>(ModeRing)->currentIndex(), 1);
  EXPECT_EQ(TextVal(panel_, ModeRing), "Низкий");
  EXPECT_EQ(SetCtrlVal(panel_, ModeRing, 7), UIE_InvalidValue);
  EXPECT_EQ(Widget<QComboBox>(ModeRing)->currentIndex(), 1);
  // Ring with fractional values.
  EXPECT_EQ(SetCtrlVal(panel_, RateRing, 2.5), UIE_NoError);
  EXPECT_EQ(GetCtrlVal(panel_, RateRing, &d), UIE_NoError);
  EXPECT_DOUBLE_EQ(d, 2.5);
  EXPECT_EQ(GetCtrlVal(panel_, RateRing, &i), UIE_NoError);
  EXPECT_EQ(i, 2);  // truncated
  // Numerics keep to their range.
  EXPECT_EQ(SetCtrlVal(panel_, CountField, 42), UIE_NoError);
  EXPECT_EQ(GetCtrlVal(panel_, CountField, &i), UIE_NoError);
  EXPECT_EQ(i, 42);
  SetCtrlVal(panel_, CountField, 1000);
  GetCtrlVal(panel_, CountField, &i);
  EXPECT_EQ(i, 100);
  EXPECT_EQ(SetCtrlVal(panel_, GainField, -2.125), UIE_NoError);
  EXPECT_EQ(GetCtrlVal(panel_, GainField, &d), UIE_NoError);
  EXPECT_DOUBLE_EQ(d, -2.125);
  EXPECT_EQ(TextVal(panel_, GainField), "-2.125");
  EXPECT_EQ(SetCtrlVal(panel_, GainField, "abc"), UIE_InvalidValue);
  // Text field and readout.
  EXPECT_EQ(SetCtrlVal(panel_, NameBox, "Датчик 1"), UIE_NoError);
  EXPECT_EQ(TextVal(panel_, NameBox), "Датчик 1");
  EXPECT_EQ(SetCtrlVal(panel_, StatusReadout, 12), UIE_NoError);
  EXPECT_EQ(TextVal(panel_, StatusReadout), "12");
  EXPECT_EQ(GetCtrlVal(panel_, StatusReadout, &i), UIE_NoError);
  EXPECT_EQ(i, 12);
  SetCtrlVal(panel_, StatusReadout, "ok");
  EXPECT_EQ(GetCtrlVal(panel_, StatusReadout, &i), UIE_InvalidValue);
  // Toggle shows its on/off text; LED is lit or not.
  EXPECT_EQ(Widget<QPushButton>(PowerToggle)->text(), QString::fromUtf8("ВЫКЛ"));
  EXPECT_EQ(SetCtrlVal(panel_, PowerToggle, 1), UIE_NoError);
  EXPECT_EQ(Widget<QPushButton>(PowerToggle)->text(), QString::fromUtf8("ВКЛ"));
  GetCtrlVal(panel_, PowerToggle, &i);
  EXPECT_EQ(i, 1);
  SetCtrlVal(panel_, EnableBox, 1);
  EXPECT_TRUE(Widget<QCheckBox>(EnableBox)->isChecked());
  SetCtrlVal(panel_, OverloadLed, 1);
  GetCtrlVal(panel_, OverloadLed, &i);
  EXPECT_EQ(i, 1);
  EXPECT_TRUE(CtrlWidget(panel_, OverloadLed)->styleSheet().contains("#ff0000"));
  SetCtrlVal(panel_, OverloadLed, 0);
  EXPECT_TRUE(CtrlWidget(panel_, OverloadLed)->styleSheet().contains("#400000"));
  // List box.
  EXPECT_EQ(SetCtrlVal(panel_, ChoiceList, 3), UIE_NoError);
  EXPECT_EQ(GetCtrlVal(panel_, ChoiceList, &i), UIE_NoError);
  EXPECT_EQ(i, 3);
  // Controls without a value.
  EXPECT_EQ(SetCtrlVal(panel_, PlotGraph, 1), UIE_WrongType);
  EXPECT_EQ(GetCtrlVal(panel_, StartButton, &i), UIE_WrongType);
}

TEST_F(PanelTest, TextBuffersAreAlwaysTerminatedAndNeverOverrun) {
  SetCtrlVal(panel_, NameBox, "Датчик");  // 12 bytes of UTF-8
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(GetCtrlVal(panel_, NameBox, buf, 6), UIE_NoError);
  EXPECT_STREQ(buf, "Да") << "a cut never splits a character";
  EXPECT_EQ(buf[7], 'x');
}

TEST_F(PanelTest, RingRebuildKeepsOrClearsTheSelection) {
  int index = 99, n = 0;
  ASSERT_EQ(ClearListCtrl(panel_, ModeRing), UIE_NoError);
  GetCtrlIndex(panel_, ModeRing, &index);
  EXPECT_EQ(index, -1);
  int v = 0;
  EXPECT_EQ(GetCtrlVal(panel_, ModeRing, &v), UIE_IndexOutOfRange);

  InsertListItem(panel_, ModeRing, -1, "a", 10);
  InsertListItem(panel_, ModeRing, -1, "b", 20);
  InsertListItem(panel_, ModeRing, -1, "c", 30);
  GetNumListItems(panel_, ModeRing, &n);
  EXPECT_EQ(n, 3);
  GetCtrlIndex(panel_, ModeRing, &index);
  EXPECT_EQ(index, 0) << "a refilled ring selects its first item";

  SetCtrlIndex(panel_, ModeRing, 2);
  InsertListItem(panel_, ModeRing, 0, "z", 5);  // before the selection
  GetCtrlIndex(panel_, ModeRing, &index);
  EXPECT_EQ(index, 3) << "the selected item stays selected";
  GetCtrlVal(panel_, ModeRing, &v);
  EXPECT_EQ(v, 30);

  char label[16];
  EXPECT_EQ(GetLabelFromIndex(panel_, ModeRing, 0, label, sizeof label), UIE_NoError);
  EXPECT_STREQ(label, "z");
  EXPECT_EQ(GetValueFromIndex(panel_, ModeRing, 1, &v), UIE_NoError);
  EXPECT_EQ(v, 10);
  EXPECT_EQ(GetValueFromIndex(panel_, ModeRing, 4, &v), UIE_IndexOutOfRange);
  EXPECT_EQ(SetCtrlIndex(panel_, ModeRing, 4), UIE_IndexOutOfRange);
  EXPECT_EQ(SetCtrlIndex(panel_, ModeRing, -1), UIE_IndexOutOfRange);
  EXPECT_EQ(InsertListItem(panel_, ModeRing, 9, "q", 1), UIE_IndexOutOfRange);
  EXPECT_EQ(ClearListCtrl(panel_, CountField), UIE_WrongType);

  double dv = 0;
  InsertListItem(panel_, ChoiceList, -1, "half", 0.5);
  GetValueFromIndex(panel_, ChoiceList, 3, &dv);
  EXPECT_DOUBLE_EQ(dv, 0.5);
  ClearListCtrl(panel_, ChoiceList);
  GetCtrlIndex(panel_, ChoiceList, &index);
  EXPECT_EQ(index, -1);
  EXPECT_TRUE(Events().empty()) << "rebuilding from code fires nothing";
}

// ---------------------------------------------------------------------------------------------
// Attributes

TEST_F(PanelTest, CommonAttributes) {
  int v = 0;
  EXPECT_EQ(SetCtrlAttribute(panel_, CountField, ATTR_DIMMED, 1), UIE_NoError);
  EXPECT_FALSE(CtrlWidget(panel_, CountField)->isEnabled());
  GetCtrlAttribute(panel_, CountField, ATTR_DIMMED, &v);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(SetCtrlAttribute(panel_, NameBox, ATTR_VISIBLE, 0), UIE_NoError);
  GetCtrlAttribute(panel_, NameBox, ATTR_VISIBLE, &v);
  EXPECT_EQ(v, 0);

  char text[64];
  GetCtrlAttribute(panel_, GainField, ATTR_LABEL_TEXT, text, sizeof text);
  EXPECT_STREQ(text, "Gain") << "the label is the buddy label";
  SetCtrlAttribute(panel_, GainField, ATTR_LABEL_TEXT, "Усиление");
  EXPECT_EQ(PanelWidget(panel_)->findChild<QLabel*>("GainLabel")->text(),
            QString::fromUtf8("Усиление"));
  SetCtrlAttribute(panel_, StartButton, ATTR_LABEL_TEXT, "Стоп");
  EXPECT_EQ(Widget<QPushButton>(StartButton)->text(), QString::fromUtf8("Стоп"));

  SetCtrlAttribute(panel_, PowerToggle, ATTR_ON_TEXT, "A1");
  SetCtrlAttribute(panel_, PowerToggle, ATTR_OFF_TEXT, "A0");
  EXPECT_EQ(Widget<QPushButton>(PowerToggle)->text(), "A0");
  EXPECT_EQ(SetCtrlAttribute(panel_, CountField, ATTR_ON_TEXT, "x"), UIE_InvalidAttribute);

  SetCtrlAttribute(panel_, StatusReadout, ATTR_TEXT_COLOR, VAL_RED);
  SetCtrlAttribute(panel_, StatusReadout, ATTR_TEXT_BGCOLOR, VAL_BLUE);
  const QString css = CtrlWidget(panel_, StatusReadout)->styleSheet();
  EXPECT_TRUE(css.contains("color: #ff0000"));
  EXPECT_TRUE(css.contains("background-color: #0000ff"));
  GetCtrlAttribute(panel_, StatusReadout, ATTR_TEXT_COLOR, &v);
  EXPECT_EQ(v, VAL_RED);
}

TEST_F(PanelTest, NumericRangeIncrementAndPrecision) {
  double d = 0;
  SetCtrlAttribute(panel_, GainField, ATTR_MAX_VALUE, 3.0);
  SetCtrlAttribute(panel_, GainField, ATTR_MIN_VALUE, -1.0);
  SetCtrlAttribute(panel_, GainField, ATTR_INCR_VALUE, 0.25);
  SetCtrlAttribute(panel_, GainField, ATTR_PRECISION, 2);
  SetCtrlVal(panel_, GainField, 7.0);
  GetCtrlVal(panel_, GainField, &d);
  EXPECT_DOUBLE_EQ(d, 3.0);
  GetCtrlAttribute(panel_, GainField, ATTR_INCR_VALUE, &d);
  EXPECT_DOUBLE_EQ(d, 0.25);
  int p = 0;
  GetCtrlAttribute(panel_, GainField, ATTR_PRECISION, &p);
  EXPECT_EQ(p, 2);
  // The precision rounds what is shown, never the value: fine steps build on the exact value.
  SetCtrlVal(panel_, GainField, 1.157625);
  GetCtrlVal(panel_, GainField, &d);
  EXPECT_EQ(d, 1.157625);
  EXPECT_EQ(TextVal(panel_, GainField), "1.16");
  EXPECT_EQ(Widget<QDoubleSpinBox>(GainField)->text(), "1.16");
  SetCtrlAttribute(panel_, GainField, ATTR_PRECISION, 4);
  EXPECT_EQ(Widget<QDoubleSpinBox>(GainField)->text(), "1.1576");
  GetCtrlVal(panel_, GainField, &d);
  EXPECT_EQ(d, 1.157625);
  SetCtrlAttribute(panel_, CountField, ATTR_MAX_VALUE, 20);
  int i = 0;
  GetCtrlVal(panel_, CountField, &i);
  EXPECT_EQ(i, 10);
  SetCtrlAttribute(panel_, StatusReadout, ATTR_PRECISION, 3);
  SetCtrlVal(panel_, StatusReadout, 2.0 / 3.0);
  EXPECT_EQ(TextVal(panel_, StatusReadout), "0.667");
  EXPECT_TRUE(Events().empty()) << "a range change that moves the value is not a user edit";
}

TEST_F(PanelTest, BoundingRectIsInPanelPixels) {
  int top = 0, left = 0, height = 0, width = 0;
  ASSERT_EQ(GetCtrlBoundingRect(panel_, PlotGraph, &top, &left, &height, &width), UIE_NoError);
  EXPECT_EQ(top, 15);  // frame at (220, 10), graph at (5, 5) inside it
  EXPECT_EQ(left, 225);
  EXPECT_EQ(height, 390);
  EXPECT_EQ(width, 400);
  SetCtrlAttribute(panel_, PlotGraph, ATTR_TOP, 20);
  GetCtrlBoundingRect(panel_, PlotGraph, &top, &left, &height, &width);
  EXPECT_EQ(top, 20);
  EXPECT_EQ(left, 225);
}

// ---------------------------------------------------------------------------------------------
// Callbacks

TEST_F(PanelTest, UserInputFiresOneCommitAndCodeFiresNone) {
  // Code first: nothing may reach the callbacks.
  SetCtrlVal(panel_, ModeRing, 10);
  SetCtrlVal(panel_, CountField, 3);
  SetCtrlVal(panel_, GainField, 2.0);
  SetCtrlVal(panel_, NameBox, "x");
  SetCtrlVal(panel_, PowerToggle, 1);
  SetCtrlVal(panel_, EnableBox, 1);
  SetCtrlVal(panel_, ChoiceList, 2);
  SetCtrlIndex(panel_, RateRing, 1);
  ProcessSystemEvents();
  EXPECT_TRUE(Events().empty());

  QTest::mouseClick(Widget<QPushButton>(StartButton), Qt::LeftButton);
  EXPECT_EQ(CountEvents(StartButton, EVENT_COMMIT), 1);

  QTest::mouseClick(Widget<QPushButton>(PowerToggle), Qt::LeftButton);
  EXPECT_EQ(CountEvents(PowerToggle, EVENT_COMMIT), 1);
  int v = 1;
  GetCtrlVal(panel_, PowerToggle, &v);
  EXPECT_EQ(v, 0);

  QTest::mouseClick(Widget<QCheckBox>(EnableBox), Qt::LeftButton);
  EXPECT_EQ(CountEvents(EnableBox, EVENT_COMMIT), 1);

  // Typing is not yet a commit; the Enter key after it is one.
  auto typeAndEnter = [](QWidget* field, int control, const char* text, Qt::Key enter) {
    QTest::keyClicks(field, text);
    EXPECT_EQ(CountEvents(control, EVENT_COMMIT), 0) << text;
    QTest::keyClick(field, enter);
    EXPECT_EQ(CountEvents(control, EVENT_COMMIT), 1) << text;
  };
  Widget<QLineEdit>(NameBox)->setFocus();
  typeAndEnter(Widget<QLineEdit>(NameBox), NameBox, "abc", Qt::Key_Return);
  EXPECT_EQ(TextVal(panel_, NameBox), "xabc");
  Widget<QSpinBox>(CountField)->selectAll();
  typeAndEnter(Widget<QSpinBox>(CountField), CountField, "55", Qt::Key_Enter);
  EXPECT_EQ(IntVal(panel_, CountField), 55);
  Widget<QDoubleSpinBox>(GainField)->selectAll();
  typeAndEnter(Widget<QDoubleSpinBox>(GainField), GainField, "-0.125", Qt::Key_Enter);
  EXPECT_DOUBLE_EQ(DblVal(panel_, GainField), -0.125);
  // A Russian keyboard's decimal comma is the point, not the end of the number.
  Events().clear();
  Widget<QDoubleSpinBox>(GainField)->selectAll();
  typeAndEnter(Widget<QDoubleSpinBox>(GainField), GainField, "2,5", Qt::Key_Enter);
  EXPECT_DOUBLE_EQ(DblVal(panel_, GainField), 2.5);

  auto* ring = Widget<QComboBox>(ModeRing);
  QTest::keyClick(ring, Qt::Key_Up);
  EXPECT_EQ(CountEvents(ModeRing, EVENT_COMMIT), 1);
  GetCtrlVal(panel_, ModeRing, &v);
  EXPECT_EQ(v, 5);

  auto* list = Widget<QListWidget>(ChoiceList);
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(CountEvents(ChoiceList, EVENT_COMMIT), 1);
  GetCtrlVal(panel_, ChoiceList, &v);
  EXPECT_EQ(v, 3);
}

TEST_F(PanelTest, ArrowKeysReachTheCallbackWithShift) {
  auto* count = Widget<QSpinBox>(CountField);
  QTest::keyClick(count, Qt::Key_Up);
  ASSERT_EQ(CountEvents(CountField, EVENT_KEYPRESS), 1);
  EXPECT_EQ(Events()[0].data1, VAL_UP_ARROW_VKEY);
  EXPECT_EQ(CountEvents(CountField, EVENT_COMMIT), 1) << "a plain arrow still steps the field";
  int v = 0;
  GetCtrlVal(panel_, CountField, &v);
  EXPECT_EQ(v, 11);

  Events().clear();
  auto* gain = Widget<QDoubleSpinBox>(GainField);
  QTest::keyClick(gain, Qt::Key_Down, Qt::ShiftModifier);
  ASSERT_EQ(Events().size(), 1u);
  EXPECT_EQ(Events()[0].event, EVENT_KEYPRESS);
  EXPECT_EQ(Events()[0].data1, VAL_DOWN_ARROW_VKEY | VAL_SHIFT_MODIFIER);
  EXPECT_EQ(Events()[0].data1 & VAL_VKEY_MASK, VAL_DOWN_ARROW_VKEY);
  double d = 0;
  GetCtrlVal(panel_, GainField, &d);
  EXPECT_DOUBLE_EQ(d, 1.5) << "with Shift the callback alone decides the value";

  // Keys typed by a person go to the focus widget, which may be a part of the control.
  Events().clear();
  DisplayPanel(panel_);
  QApplication::setActiveWindow(PanelWidget(panel_));
  gain->setFocus();
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up, Qt::ShiftModifier);
  ASSERT_EQ(Events().size(), 1u);
  EXPECT_EQ(Events()[0].data1, VAL_UP_ARROW_VKEY | VAL_SHIFT_MODIFIER);

  Events().clear();
  QTest::keyClick(Widget<QPushButton>(PowerToggle), Qt::Key_Up);
  ASSERT_EQ(Events().size(), 1u);
  EXPECT_EQ(Events()[0].event, EVENT_KEYPRESS);
  EXPECT_EQ(Events()[0].data1, VAL_UP_ARROW_VKEY);
}

TEST_F(PanelTest, DimmedControlsTakeNoUserInput) {
  SetCtrlAttribute(panel_, StartButton, ATTR_DIMMED, 1);
  QTest::mouseClick(Widget<QPushButton>(StartButton), Qt::LeftButton);
  EXPECT_EQ(UserPressCtrl(panel_, StartButton), UIE_Dimmed);
  EXPECT_TRUE(Events().empty());
}

// ---------------------------------------------------------------------------------------------
// Timer control

int g_tickDepth = 0;
int g_tickMaxDepth = 0;
int g_ticks = 0;

int NestingTick(int, int, int event, void*, int, int) {
  if (event != EVENT_TIMER_TICK) return 0;
  ++g_ticks;
  ++g_tickDepth;
  g_tickMaxDepth = std::max(g_tickMaxDepth, g_tickDepth);
  QTest::qWait(30);  // a slow tick running the event loop, as a modal box would
  --g_tickDepth;
  return 0;
}

TEST_F(PanelTest, TimerTicksWhileEnabledAndNeverNests) {
  double interval = 0;
  GetCtrlAttribute(panel_, TickTimer, ATTR_INTERVAL, &interval);
  EXPECT_DOUBLE_EQ(interval, 0.05);
  QTest::qWait(120);
  EXPECT_EQ(CountEvents(TickTimer, EVENT_TIMER_TICK), 0) << "the resource made it disabled";

  SetCtrlAttribute(panel_, TickTimer, ATTR_INTERVAL, 0.005);
  SetCtrlAttribute(panel_, TickTimer, ATTR_ENABLED, 1);
  QTRY_VERIFY_WITH_TIMEOUT(CountEvents(TickTimer, EVENT_TIMER_TICK) >= 3, 10000);
  SetCtrlAttribute(panel_, TickTimer, ATTR_ENABLED, 0);
  const int ticks = CountEvents(TickTimer, EVENT_TIMER_TICK);
  QTest::qWait(60);
  EXPECT_EQ(CountEvents(TickTimer, EVENT_TIMER_TICK), ticks);

  g_ticks = g_tickDepth = g_tickMaxDepth = 0;
  InstallCtrlCallback(panel_, TickTimer, NestingTick, nullptr);
  SetCtrlAttribute(panel_, TickTimer, ATTR_ENABLED, 1);
  QTRY_VERIFY_WITH_TIMEOUT(g_ticks >= 3, 10000);
  SetCtrlAttribute(panel_, TickTimer, ATTR_ENABLED, 0);
  EXPECT_EQ(g_tickMaxDepth, 1);
  EXPECT_EQ(SetCtrlAttribute(panel_, CountField, ATTR_INTERVAL, 1.0), UIE_InvalidAttribute);
}

// ---------------------------------------------------------------------------------------------
// Panel state

TEST_F(PanelTest, StateSurvivesDiscardAndReload) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray file = dir.filePath("veltrafile").toUtf8();

  ClearListCtrl(panel_, ModeRing);  // a ring refilled at run time
  InsertListItem(panel_, ModeRing, -1, "x", 100);
  InsertListItem(panel_, ModeRing, -1, "y", 200);
  SetCtrlIndex(panel_, ModeRing, 1);
  SetCtrlVal(panel_, RateRing, 1.5);
  SetCtrlVal(panel_, CountField, 77);
  SetCtrlVal(panel_, GainField, -3.25);
  SetCtrlVal(panel_, NameBox, "Вход 3");
  SetCtrlVal(panel_, PowerToggle, 1);
  SetCtrlAttribute(panel_, PowerToggle, ATTR_ON_TEXT, "7");
  SetCtrlAttribute(panel_, EnableBox, ATTR_DIMMED, 1);
  SetCtrlVal(panel_, ChoiceList, 2);
  ASSERT_EQ(SavePanelState(panel_, file.constData(), 0), UIE_NoError);

  ASSERT_EQ(DiscardPanel(panel_), UIE_NoError);
  panel_ = LoadPanel(0, kTestUir, kTestPanelId);
  ASSERT_GT(panel_, 0);
  for (int c = 1; c <= kTestCtrlCount; ++c) InstallCtrlCallback(panel_, c, Record, nullptr);
  ASSERT_EQ(IntVal(panel_, CountField), 10) << "a fresh load has the resource defaults";

  ASSERT_EQ(RecallPanelState(panel_, file.constData(), 0), UIE_NoError);
  EXPECT_EQ(IntVal(panel_, ModeRing), 200);
  int n = 0;
  GetNumListItems(panel_, ModeRing, &n);
  EXPECT_EQ(n, 2);
  EXPECT_DOUBLE_EQ(DblVal(panel_, RateRing), 1.5);
  EXPECT_EQ(IntVal(panel_, CountField), 77);
  EXPECT_DOUBLE_EQ(DblVal(panel_, GainField), -3.25);
  EXPECT_EQ(TextVal(panel_, NameBox), "Вход 3");
  EXPECT_EQ(IntVal(panel_, PowerToggle), 1);
  EXPECT_EQ(Widget<QPushButton>(PowerToggle)->text(), "7");
  int dimmed = 1;
  GetCtrlAttribute(panel_, EnableBox, ATTR_DIMMED, &dimmed);
  EXPECT_EQ(dimmed, 0) << "dimming is the program's to derive, never taken from a file";
  EXPECT_EQ(IntVal(panel_, ChoiceList), 2);
  EXPECT_TRUE(Events().empty()) << "recall fires no callbacks";

  // Another index is another section.
  EXPECT_EQ(RecallPanelState(panel_, file.constData(), 5), UIE_NoError);
  EXPECT_EQ(IntVal(panel_, CountField), 77);
}

TEST_F(PanelTest, StateRecallIgnoresUnknownMissingAndMalformedKeys) {
  QTemporaryDir dir;
  const QString path = dir.filePath("triggfile");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(
      "[0]\nCountField=55\nGainField=not-a-number\nRateRing=17\nNoSuchRole=3\n"
      "ModeRing.labels=a\nModeRing.values=1, 2\n");
  f.close();
  const QByteArray file = path.toUtf8();
  ASSERT_EQ(RecallPanelState(panel_, file.constData(), 0), UIE_NoError);
  EXPECT_EQ(IntVal(panel_, CountField), 55);
  EXPECT_DOUBLE_EQ(DblVal(panel_, GainField), 1.5);
  EXPECT_DOUBLE_EQ(DblVal(panel_, RateRing), 0.5) << "an index outside the ring is ignored";
  int n = 0;
  GetNumListItems(panel_, ModeRing, &n);
  EXPECT_EQ(n, 3) << "labels and values that do not pair up are ignored";

  EXPECT_EQ(RecallPanelState(panel_, dir.filePath("absent").toUtf8().constData(), 0),
            UIE_FileError);
  EXPECT_EQ(IntVal(panel_, CountField), 55);

  // A damaged file is refused, and the next save replaces it by a good one.
  QFile junk(path);
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write(
      "[0]\nCountField=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5QFoo)\nNameBox=@Rect(1 2 3 4)\n"
      "\xff\xfe\x01[[\n=\n[1\nCountField=2");  // cut off mid-line
  junk.close();
  EXPECT_EQ(RecallPanelState(panel_, file.constData(), 0), UIE_FileError);
  EXPECT_EQ(IntVal(panel_, CountField), 55) << "an unreadable file changes nothing";
  SetCtrlVal(panel_, CountField, 66);
  ASSERT_EQ(SavePanelState(panel_, file.constData(), 0), UIE_NoError);
  SetCtrlVal(panel_, CountField, 33);
  ASSERT_EQ(SavePanelState(panel_, file.constData(), 1), UIE_NoError);
  ASSERT_EQ(RecallPanelState(panel_, file.constData(), 0), UIE_NoError);
  EXPECT_EQ(IntVal(panel_, CountField), 66) << "saving one section keeps the others";
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"triggfile"}) << "no temporaries";

  // A path through a plain file can never be written.
  const QByteArray blocked = dir.filePath("triggfile/veltrafile").toUtf8();
  EXPECT_EQ(SavePanelState(panel_, blocked.constData(), 0), UIE_FileError);
}

// ---------------------------------------------------------------------------------------------
// Popups

struct PopupLog {
  std::vector<std::string> lines;
  int confirmAnswer = VAL_YES;
  std::string fileAnswer;
};

int LogPopup(int kind, const char* title, const char* text, char* answer, int answerSize,
             void* data) {
  auto* log = static_cast<PopupLog*>(data);
  log->lines.push_back(std::to_string(kind) + "|" + title + "|" + text);
  if (kind == POPUP_CONFIRM) return log->confirmAnswer;
  if (kind == POPUP_FILE_SELECT) {
    std::snprintf(answer, static_cast<size_t>(answerSize), "%s", log->fileAnswer.c_str());
    return log->fileAnswer.empty() ? VAL_NO_FILE_SELECTED : VAL_EXISTING_FILE_SELECTED;
  }
  return 0;
}

TEST_F(PanelTest, PopupsAreRecordedAndAnswered) {
  PopupLog log;
  SetPopupHandler(LogPopup, &log);
  EXPECT_EQ(MessagePopup("Внимание !!!", "Нет канала"), UIE_NoError);
  log.confirmAnswer = VAL_NO;
  EXPECT_EQ(ConfirmPopup("?", "Выйти?"), VAL_NO);
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_EQ(log.lines[0], "0|Внимание !!!|Нет канала");
  EXPECT_EQ(log.lines[1], "1|?|Выйти?");

  QTemporaryDir dir;
  char path[512];
  log.fileAnswer = dir.filePath("new.txt").toStdString();
  EXPECT_EQ(FileSelectPopup(dir.path().toUtf8().constData(), "*.txt", "*.txt;*.rin", "Name",
                            VAL_OK_BUTTON, 0, 0, 1, 1, path, sizeof path),
            VAL_NEW_FILE_SELECTED);
  EXPECT_EQ(log.fileAnswer, path);
  QFile existing(dir.filePath("old.txt"));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.write("12345");
  existing.close();
  log.fileAnswer = dir.filePath("old.txt").toStdString();
  EXPECT_EQ(FileSelectPopup("", "*.txt", "", "Name", VAL_OK_BUTTON, 0, 0, 1, 1, path, sizeof path),
            VAL_EXISTING_FILE_SELECTED);
  log.fileAnswer.clear();
  EXPECT_EQ(FileSelectPopup("", "*.txt", "", "Name", VAL_OK_BUTTON, 0, 0, 1, 1, path, sizeof path),
            VAL_NO_FILE_SELECTED);
  EXPECT_STREQ(path, "");
  EXPECT_EQ(log.lines.size(), 5u);

  // Without a handler and without a screen nothing may block (on a screen a person answers).
  SetPopupHandler(nullptr, nullptr);
  if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
    EXPECT_EQ(MessagePopup("t", "printed, not shown"), UIE_NoError);
    EXPECT_EQ(ConfirmPopup("t", "?"), VAL_NO);
    EXPECT_EQ(FileSelectPopup("", "*.txt", "", "t", VAL_SAVE_BUTTON, 0, 0, 1, 1, path, sizeof path),
              VAL_NO_FILE_SELECTED);
  }

  long size = 0;
  EXPECT_EQ(GetFileInfo(dir.filePath("old.txt").toUtf8().constData(), &size), 1);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(GetFileInfo(dir.filePath("none.txt").toUtf8().constData(), &size), 0);
  EXPECT_EQ(GetFileInfo(dir.path().toUtf8().constData(), &size), 0) << "a directory is no file";
}

// ---------------------------------------------------------------------------------------------
// Automation

TEST_F(PanelTest, AutomationActsAsAPerson) {
  int p = 0, c = 0;
  ASSERT_EQ(FindCtrlByRole("GainField", &p, &c), UIE_NoError);
  EXPECT_EQ(p, panel_);
  EXPECT_EQ(c, GainField);
  EXPECT_STREQ(GetCtrlRole(panel_, PowerToggle), "PowerToggle");
  EXPECT_STREQ(GetCtrlRole(panel_, 99), "");
  EXPECT_EQ(FindCtrlByRole("Nope", &p, &c), UIE_InvalidControl);

  int v = 0;
  EXPECT_EQ(UserSetCtrlVal(panel_, ModeRing, "10"), UIE_NoError);  // by value
  GetCtrlVal(panel_, ModeRing, &v);
  EXPECT_EQ(v, 10);
  EXPECT_EQ(UserSetCtrlVal(panel_, ModeRing, "Низкий"), UIE_NoError);  // by label
  GetCtrlVal(panel_, ModeRing, &v);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(CountEvents(ModeRing, EVENT_COMMIT), 2);
  EXPECT_EQ(UserSetCtrlVal(panel_, ModeRing, "42"), UIE_InvalidValue);

  EXPECT_EQ(UserSetCtrlVal(panel_, CountField, "150"), UIE_InvalidValue) << "outside the range";
  EXPECT_EQ(UserSetCtrlVal(panel_, CountField, "2.5"), UIE_InvalidValue);
  EXPECT_EQ(UserSetCtrlVal(panel_, GainField, "0.125"), UIE_NoError);
  EXPECT_EQ(UserSetCtrlVal(panel_, GainField, "0,25"), UIE_NoError);
  EXPECT_DOUBLE_EQ(DblVal(panel_, GainField), 0.25);
  EXPECT_EQ(UserSetCtrlVal(panel_, PowerToggle, "ВКЛ"), UIE_NoError);
  GetCtrlVal(panel_, PowerToggle, &v);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(UserPressCtrl(panel_, PowerToggle), UIE_NoError);
  GetCtrlVal(panel_, PowerToggle, &v);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(CountEvents(PowerToggle, EVENT_COMMIT), 2);
  EXPECT_EQ(UserPressCtrl(panel_, StartButton), UIE_NoError);
  EXPECT_EQ(UserPressCtrl(panel_, CountField), UIE_WrongType);
  EXPECT_EQ(UserSetCtrlVal(panel_, StatusReadout, "1"), UIE_WrongType);
  EXPECT_EQ(UserFireEvent(panel_, TickTimer, EVENT_TIMER_TICK, 0, 0), UIE_NoError);
  EXPECT_EQ(CountEvents(TickTimer, EVENT_TIMER_TICK), 1);
  EXPECT_EQ(CountEvents(StartButton, EVENT_COMMIT), 1);
  EXPECT_EQ(CountEvents(GainField, EVENT_COMMIT), 2);
}

// Discards its own panel, then lets pending events run, as a long callback does.
int DiscardingCallback(int panel, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  DiscardPanel(panel);
  ProcessSystemEvents();
  return 0;
}

TEST_F(PanelTest, ACallbackMayDiscardItsOwnPanel) {
  InstallCtrlCallback(panel_, StartButton, DiscardingCallback, nullptr);
  QTest::mouseClick(Widget<QPushButton>(StartButton), Qt::LeftButton);
  ProcessSystemEvents();
  EXPECT_EQ(DisplayPanel(panel_), UIE_InvalidPanel);

  // A spin box still works on itself after its value signal returns: it must outlive the callback.
  panel_ = LoadPanel(0, kTestUir, kTestPanelId);
  ASSERT_GT(panel_, 0);
  InstallCtrlCallback(panel_, CountField, DiscardingCallback, nullptr);
  QTest::keyClick(Widget<QSpinBox>(CountField), Qt::Key_Up);
  ProcessSystemEvents();
  EXPECT_EQ(DisplayPanel(panel_), UIE_InvalidPanel);
  panel_ = 0;
}

}  // namespace
