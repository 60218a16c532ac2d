#include "app/main_window.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <stdexcept>
#include <thread>

#include "app/command_line.h"
#include "app/page_control_ex.h"
#include "app/paint_box.h"
#include "app/spin_edit_ex.h"
#include "base/ini_file.h"
#include "fakes/app/fake_message_box.h"
#include "support/qt_events.h"
#include "support/temporary_directory.h"
#include "support/wait.h"
#include "window_test_support.h"

namespace trellon {
namespace {

using test_support::ProcessQtEvents;
using test_support::ReadText;
using test_support::WaitFor;
using test_support::WriteText;

class MainWindowTest : public testing::WindowTest {
 protected:
  // The key as the window's file holds it once the writer has caught up.
  static int32_t Saved(TVX710MainWindow& window, const std::string& key) {
    window.FlushFiles();
    IniFile ini("Trellon.ini");
    ini.Load();
    return ini.ReadInteger("X", key, -12345);
  }

  template <typename T>
  static T* Find(QWidget& window, const char* name) {
    T* widget = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  static QString SpinText(QWidget& window, const char* name) {
    TSpinEditEx* edit = Find<TSpinEditEx>(window, name);
    return edit ? edit->Edit()->text() : QString();
  }
};

TEST_F(MainWindowTest, FirstStartInAnEmptyFolder) {
  auto window = Create();
  const std::vector<std::string> messages = Messages(*window);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0], std::string(60, '-'));
  EXPECT_EQ(messages[1], "Creating...");
  EXPECT_EQ(messages[2].rfind("Monitor #0 @ 0, 0, ", 0), 0u) << messages[2];
  EXPECT_EQ(messages[3], "Created...");
  EXPECT_EQ(window->eventLog().Lines()[1], "12/07/26 04:00:00: Creating...");
  EXPECT_EQ(window->log->toPlainText().count(QLatin1Char('\n')), 3);
  EXPECT_TRUE(boxes.boxes.empty());

  EXPECT_FALSE(window->loadingSettings());
  EXPECT_TRUE(window->Timer1->isActive());
  EXPECT_EQ(window->Timer1->interval(), 100);
  EXPECT_TRUE(window->Timer2->isActive());
  EXPECT_EQ(window->Timer2->interval(), 1000);

  EXPECT_EQ(window->pos(), QPoint(0, 0));
  EXPECT_EQ(window->size(), QSize(800, 600));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Trellon V1.1"));
  EXPECT_EQ(window->font().family(), QStringLiteral("Arial"));
  EXPECT_EQ(window->font().pixelSize(), 36);
  EXPECT_EQ(window->pc->currentIndex(), 0);

  // The file comes into being at start-up, with every key in its place.
  window->FlushFiles();
  const std::string ini = ReadText("Trellon.ini");
  EXPECT_EQ(ini.rfind("[X]\nLeft=0\nTop=0\nWidth=800\nHeight=600\nWindowState=0\nMinimized=0\n"
                      "Minr0=35\nMaxr0=65\nResr0=20\nMinf0=35\n",
                      0),
            0u)
      << ini;
  EXPECT_NE(ini.find("\nRepeatNext=0\nVolumeControlStretch=200\n"), std::string::npos);
  EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), 71);
  EXPECT_EQ(ReadText("Trellon.log").substr(0, 19), "12/07/26 04:00:00: ");

  for (const char* name : {"minrr", "minff", "minr3", "minf0"})
    EXPECT_EQ(SpinText(*window, name), "35");
  for (const char* name : {"maxrr", "maxf3"}) EXPECT_EQ(SpinText(*window, name), "65");
  for (const char* name : {"resrr", "resf2"}) EXPECT_EQ(SpinText(*window, name), "20");
  EXPECT_EQ(SpinText(*window, "sf2"), "2");
  EXPECT_EQ(Find<QLineEdit>(*window, "sf3name")->text(), "3");
  // Start-up's page change saved, and saving copies the SpeedFan names into their labels.
  for (const char* name : {"sf1l", "sf1lr", "sf1lf"})
    EXPECT_EQ(Find<QLabel>(*window, name)->text(), "1");
}

TEST_F(MainWindowTest, WidgetsCarryTheirNamesCaptionsAndRanges) {
  auto window = Create();
  QWidget& w = *window;
  const auto tabs = [](QTabWidget* control) {
    QStringList captions;
    for (int i = 0; i < control->count(); ++i) {
      captions << control->tabText(i) + "=" + control->widget(i)->objectName();
    }
    return captions.join(QLatin1Char(','));
  };
  EXPECT_EQ(tabs(Find<TPageControlEx>(w, "pc")),
            "Status=tsStatus,Fan Control=tsParameters,Log=tsLog,Settings=tsSettings,"
            "Display=tsDisplay");
  EXPECT_EQ(tabs(Find<TPageControlEx>(w, "PageControlEx1")),
            "Window=TabSheet3,Display=TabSheet1,RC Home=TabSheet9,RC Power-Off=TabSheet2,"
            "RC Key Repeat=TabSheet4,Volume Control=TabSheet5");
  EXPECT_EQ(tabs(Find<TPageControlEx>(w, "PageControlEx2")),
            "Rear=TabSheet6,Front=TabSheet7,SpeedFan Link=TabSheet8");

  const std::pair<const char*, const char*> labels[] = {{"Label2", "Rear"},
                                                        {"Label3", "Front"},
                                                        {"fan0", "100 %"},
                                                        {"fan1", "100 %"},
                                                        {"temprn", "Rear"},
                                                        {"tempr", "N/A"},
                                                        {"tempfn", "Front"},
                                                        {"tempf", "N/A"},
                                                        {"temp0", "N/A"},
                                                        {"temp3", "N/A"},
                                                        {"lbAverageDisplayCopyTime", "0 ms"},
                                                        {"lbAverageDisplayFrameRate", "0 Hz"}};
  for (const auto& [name, text] : labels) EXPECT_EQ(Find<QLabel>(w, name)->text(), text) << name;
  EXPECT_EQ(Find<QLabel>(w, "fan0")->font().pixelSize(), 75);
  EXPECT_EQ(Find<QLabel>(w, "tempf")->pos(), QPoint(624, 352));
  EXPECT_EQ(window->tempLabels[3]->objectName(), "temp1");
  EXPECT_EQ(window->tempNameLabels[5]->objectName(), "sf3l");

  const std::pair<const char*, const char*> boxes[] = {
      {"cbWindowBorder", "Border"},
      {"cbDisplayHighQuality", "High quality"},
      {"cbDisplayBufferedCopy", "Buffered copy"},
      {"cbDisplayTargetDirectAccess", "Target direct access"},
      {"cbHomeStart", "Start MediaPortal if not running"},
      {"cbHomeClose", "Close MediaPortal after (ms)"},
      {"cbHomeKill", "Kill MediaPortal after (ms)"},
      {"cbPowerOffStopHome", "Send \"home\" RC and \"stop\" RC"}};
  for (const auto& [name, caption] : boxes) {
    QCheckBox* box = Find<QCheckBox>(w, name);
    EXPECT_EQ(box->text(), caption);
    EXPECT_EQ(box->height(), 40);
  }
  EXPECT_FALSE(Find<QCheckBox>(w, "cbDisplayHighQuality")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>(w, "cbDisplayBufferedCopy")->isChecked());

  auto* group = Find<QGroupBox>(w, "rbPowerOffDo");
  EXPECT_EQ(group->title(), "Do");
  const QList<QRadioButton*> items = group->findChildren<QRadioButton*>();
  ASSERT_EQ(items.size(), 5);
  EXPECT_EQ(items[2]->text(), "Send \"power\" RC (bad!!)");
  EXPECT_TRUE(items[0]->isChecked());

  const std::tuple<const char*, int, int, int, const char*> edits[] = {
      {"maxrf", 0, 100, 1, "65"},
      {"resf0", 1, 30, 1, "20"},
      {"sf1", 0, 31, 1, "1"},
      {"edRepeatDead", 1, 999999999, 10, "250"},
      {"edRepeatNext", 0, 999999999, 10, "0"},
      {"edHomeKill", 1, 999999999, 200, "5000"},
      {"edVolumeControlStretch", 10, 999999999, 10, "200"},
      {"edDisplayTimer", 1, 999999999, 1, "50"},
      {"edDisplayNr", 0, 0, 1, "0"}};  // one monitor
  for (const auto& [name, minimum, maximum, step, text] : edits) {
    TSpinEditEx* edit = Find<TSpinEditEx>(w, name);
    EXPECT_EQ(edit->Model().MinValue(), minimum) << name;
    EXPECT_EQ(edit->Model().MaxValue(), maximum) << name;
    EXPECT_EQ(edit->Model().Increment(), step) << name;
    EXPECT_EQ(edit->Edit()->text(), text) << name;
    EXPECT_EQ(edit->height(), 51);
    EXPECT_EQ(edit->property("ButtonWdith").toInt(), 32) << name;
  }
  EXPECT_EQ(Find<QLineEdit>(w, "edHomeMediaPortal")->text(),
            "c:\\programme\\team mediaportal\\mediaportal\\mediaportal.exe");
  EXPECT_NE(Find<TPaintBox>(w, "PaintBox1"), nullptr);
  EXPECT_NE(Find<QPlainTextEdit>(w, "log"), nullptr);
}

TEST_F(MainWindowTest, EachSettingsPageHoldsItsOwnControlsInTheirGridPlaces) {
  auto window = Create();
  // Named controls by grid place (row:column+columns spanned), in the order they were made.
  const std::pair<const char*, const char*> pages[] = {
      {"TabSheet3", "cbWindowBorder@0:0+1"},
      {"TabSheet1",
       "edDisplayNr@0:1+1,cbDisplayHighQuality@1:0+2,cbDisplayBufferedCopy@2:0+2,"
       "cbDisplayTargetDirectAccess@3:0+2,edDisplayTimer@4:1+1,lbAverageDisplayCopyTime@5:1+1,"
       "lbAverageDisplayFrameRate@6:1+1"},
      {"TabSheet9",
       "cbHomeStart@0:0+2,cbHomeClose@1:0+1,edHomeClose@1:1+1,cbHomeKill@2:0+1,"
       "edHomeKill@2:1+1,edHomeMediaPortal@4:0+2"},
      {"TabSheet2", "cbPowerOffStopHome@0:0+1,rbPowerOffDo@1:0+1"},
      {"TabSheet4", "edRepeatDead@0:1+1,edRepeatFirst@1:1+1,edRepeatNext@2:1+1"},
      {"TabSheet5", "edVolumeControlStretch@0:1+1"}};
  for (const auto& [pageName, expected] : pages) {
    QWidget* page = Find<QWidget>(*window, pageName);
    auto* grid = qobject_cast<QGridLayout*>(page->layout());
    ASSERT_NE(grid, nullptr) << pageName;
    QStringList placed;
    for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (child->objectName().isEmpty()) continue;
      int row = 0, column = 0, rows = 0, columns = 0;
      grid->getItemPosition(grid->indexOf(child), &row, &column, &rows, &columns);
      placed << QStringLiteral("%1@%2:%3+%4")
                    .arg(child->objectName())
                    .arg(row)
                    .arg(column)
                    .arg(columns);
    }
    EXPECT_EQ(placed.join(QLatin1Char(',')), expected) << pageName;
  }
}

TEST_F(MainWindowTest, ButtonWdithIsTheButtonPairsWidth) {
  SpinEditModel model("edTest", 0, 100, 5, 50);
  fakes::RecordingMessageBoxes quiet;
  struct NoLog : LogSink {
    void WriteLog(const std::string&) override {}
  } noLog;
  ErrorBox errors(noLog, quiet, "Trellon");
  TSpinEditEx edit(model, errors);
  edit.setProperty("ButtonWdith", 40);
  edit.resize(200, 51);
  EXPECT_EQ(edit.ButtonWdith(), 40);
  edit.UpButton()->click();
  EXPECT_EQ(edit.Edit()->text(), "55");
  edit.SetButtonWdith(-3);
  EXPECT_EQ(edit.ButtonWdith(), 0);
  // Typed text is read as it is until the edit is left, then clamped.
  edit.Edit()->setText("250");
  emit edit.Edit()->textEdited(QStringLiteral("250"));
  EXPECT_EQ(model.Value(), 250);
  emit edit.Edit()->editingFinished();
  EXPECT_EQ(edit.Edit()->text(), "100");
}

TEST_F(MainWindowTest, NoClickIsOnlyTheExactFirstArgument) {
  EXPECT_TRUE(HasNoClickArgument({"trellon", "-noclick"}));
  EXPECT_FALSE(HasNoClickArgument({"trellon"}));
  EXPECT_FALSE(HasNoClickArgument({"trellon", "-NoClick"}));
  EXPECT_FALSE(HasNoClickArgument({"trellon", "x", "-noclick"}));
  EXPECT_FALSE(HasNoClickArgument({"trellon", "-noclick "}));
  EXPECT_FALSE(HasNoClickArgument({}));
}

TEST(KeyServerPortSettingTest, TakesAPortNumberAndFallsBackTo21000) {
  std::string problem;
  EXPECT_EQ(KeyServerPortSetting(nullptr, problem), 21000);
  EXPECT_EQ(KeyServerPortSetting("", problem), 21000);
  EXPECT_TRUE(problem.empty());
  EXPECT_EQ(KeyServerPortSetting("0", problem), 0) << "a free port";
  EXPECT_EQ(KeyServerPortSetting("65535", problem), 65535);
  EXPECT_TRUE(problem.empty());
  for (const char* junk : {"65536", "-1", "21000x", "port"}) {
    EXPECT_EQ(KeyServerPortSetting(junk, problem), 21000) << junk;
    EXPECT_NE(problem.find(junk), std::string::npos) << problem;
  }
}

TEST_F(MainWindowTest, RestartShowsTheOldLinesAndTheSavedSettings) {
  WriteText("Trellon.log", "12/06/26 10:00:00: Closing...\r\n");
  WriteText("Trellon.ini",
            "[X]\nLeft=20\nTop=30\nWidth=640\nHeight=480\nRepeatDead=300\nsfname0=CPU\n"
            "ActivePageIndex=2\nPowerOffDo=4\nHomeKill=0\n");
  auto window = Create();
  const std::vector<std::string> messages = Messages(*window);
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_EQ(messages[0], "Closing...");
  EXPECT_EQ(messages[2], "Creating...");
  EXPECT_EQ(window->log->toPlainText().section(QLatin1Char('\n'), 0, 0),
            "12/06/26 10:00:00: Closing...");
  EXPECT_EQ(window->pos(), QPoint(20, 30));
  EXPECT_EQ(window->size(), QSize(640, 480));
  EXPECT_EQ(SpinText(*window, "edRepeatDead"), "300");
  EXPECT_EQ(Find<QLabel>(*window, "sf0l")->text(), "CPU");
  EXPECT_EQ(window->pc->currentIndex(), 2);
  EXPECT_FALSE(Find<QCheckBox>(*window, "cbHomeKill")->isChecked());
  EXPECT_TRUE(
      Find<QGroupBox>(*window, "rbPowerOffDo")->findChildren<QRadioButton*>()[4]->isChecked());
}

TEST_F(MainWindowTest, JunkGeometryKeepsTheWindowUsable) {
  WriteText("Trellon.ini", "[X]\nLeft=999999999\nTop=-$7FFFFFFF\nWidth=99999\nHeight=-4\n");
  auto window = Create();
  EXPECT_EQ(window->pos(), QPoint(30000, -30000)) << "window positions have 16 bits";
  EXPECT_LE(window->width(), 800) << "no window grows beyond the desktop";
  EXPECT_EQ(window->height(), 1);
}

TEST_F(MainWindowTest, EveryChangeRewritesTheFileAtOnce) {
  auto window = Create();
  QWidget& w = *window;

  auto* name = Find<QLineEdit>(w, "sf1name");
  name->setText("System");
  emit name->textEdited(QStringLiteral("System"));
  window->FlushFiles();
  IniFile ini("Trellon.ini");
  ini.Load();
  EXPECT_EQ(ini.ReadString("X", "sfname1", ""), "System");
  for (const char* label : {"sf1l", "sf1lr", "sf1lf"})
    EXPECT_EQ(Find<QLabel>(w, label)->text(), "System");

  Find<TSpinEditEx>(w, "edHomeClose")->UpButton()->click();
  EXPECT_EQ(Saved(*window, "HomeCloseTime"), 1200);
  Find<TSpinEditEx>(w, "resrr")->DownButton()->click();
  EXPECT_EQ(Saved(*window, "Resr0"), 19);
  Find<QCheckBox>(w, "cbPowerOffStopHome")->click();
  EXPECT_EQ(Saved(*window, "PowerOffStopHome"), 0);
  Find<QGroupBox>(w, "rbPowerOffDo")->findChildren<QRadioButton*>()[1]->click();
  EXPECT_EQ(Saved(*window, "PowerOffDo"), 1);

  // The Display page's controls have handlers of their own that fill the mirror's fields.
  Find<QCheckBox>(w, "cbDisplayHighQuality")->click();
  EXPECT_TRUE(window->display().DisplayHighQuality);
  EXPECT_EQ(Saved(*window, "DisplayHighQuality"), 1);
  Find<TSpinEditEx>(w, "edDisplayTimer")->UpButton()->click();
  EXPECT_EQ(window->display().DisplayTimer, 51);
  EXPECT_EQ(Saved(*window, "DisplayTimer"), 51);
  Find<TSpinEditEx>(w, "edDisplayNr")->UpButton()->click();
  EXPECT_EQ(SpinText(w, "edDisplayNr"), "1") << "one monitor: the edit takes any number";
  EXPECT_EQ(window->display().DisplayNr, 0);
  EXPECT_EQ(Saved(*window, "DisplayNr"), 0);
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainWindowTest, ASettingsFileThatCannotBeWrittenIsReportedAndRetried) {
  WriteText("Trellon.ini", "[X]\nRepeatFirst=700\n");
  ASSERT_EQ(chmod("Trellon.ini", 0444), 0);
  auto window = Create();
  // Start-up's own save fails: start-up completes, and the writer's report follows.
  window->FlushFiles();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].caption, "Trellon");
  EXPECT_NE(boxes.boxes[0].text.find("Trellon.ini"), std::string::npos) << boxes.boxes[0].text;
  std::vector<std::string> messages = Messages(*window);
  // The exception watcher's report with the stack of the failed write's report, then the error
  // handling's line.
  const auto created = std::find(messages.begin(), messages.end(), "Created...");
  ASSERT_GE(messages.end() - created, 8);
  EXPECT_EQ(std::vector<std::string>(created + 1, created + 5),
            (std::vector<std::string>{
                "Exception detected: ",
                "  IniWriteError: Cannot write the settings file Trellon.ini: Permission denied",
                "  Code : 0EEDFADE", "  Flags: 00000001"}));
  EXPECT_EQ(created[6], "  Stack:");
  EXPECT_NE(created[7].find("IniFile::Save"), std::string::npos) << created[7];
  EXPECT_NE(created[7].find(" @ ini_file.cpp."), std::string::npos) << created[7];
  EXPECT_EQ(messages.back(),
            "Exception IniWriteError: Cannot write the settings file Trellon.ini: "
            "Permission denied");

  auto* box = Find<QCheckBox>(*window, "cbHomeStart");
  box->click();
  window->FlushFiles();
  EXPECT_EQ(boxes.boxes.size(), 2u);
  EXPECT_FALSE(box->isChecked()) << "the control keeps its value";
  EXPECT_FALSE(window->controls().cbHomeStart.Checked());
  EXPECT_EQ(ReadText("Trellon.ini"), "[X]\nRepeatFirst=700\n");

  ASSERT_EQ(chmod("Trellon.ini", 0644), 0);
  Find<TSpinEditEx>(*window, "edRepeatFirst")->UpButton()->click();
  EXPECT_EQ(Saved(*window, "HomeStart"), 0);
  EXPECT_EQ(Saved(*window, "RepeatFirst"), 710);
  EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_F(MainWindowTest, ALogFileThatCannotBeWrittenLeavesTheLinesInTheView) {
  WriteText("Trellon.log", "old\r\n");
  ASSERT_EQ(chmod("Trellon.log", 0444), 0);
  auto window = Create();
  window->FlushFiles();
  EXPECT_EQ(Messages(*window).back(), "Created...");
  EXPECT_EQ(window->log->toPlainText().count(QLatin1Char('\n')), 4);
  EXPECT_TRUE(boxes.boxes.empty()) << "no report through the log itself";
  EXPECT_EQ(ReadText("Trellon.log"), "old\r\n");
}

TEST_F(MainWindowTest, TheRegulationTickExpiresTheOverlay) {
  auto window = Create();
  window->show();
  ProcessEvents();
  const auto whitePixels = [&] {
    const QImage strip = window->PaintBox1->grab().toImage();
    int count = 0;
    for (int y = 0; y < strip.height(); ++y) {
      for (int x = 0; x < strip.width(); ++x) count += strip.pixel(x, y) == qRgb(255, 255, 255);
    }
    return count;
  };
  EXPECT_EQ(whitePixels(), 0);
  window->ShowOverlayMessage("Power Off", 2);
  EXPECT_GT(whitePixels(), 50);
  clock.Advance(2000);
  window->Timer2Timer();
  EXPECT_EQ(window->overlay().OverlayMessageText(), "Power Off");
  clock.Advance(1000);
  window->Timer2Timer();
  EXPECT_EQ(window->overlay().OverlayMessageText(), "");
  EXPECT_EQ(whitePixels(), 0);
}

TEST_F(MainWindowTest, TheDisplayPageHidesThePageControlAndIsSavedForTheNextStart) {
  {
    auto window = Create({"trellon", "-noclick"});
    window->show();
    ProcessEvents();
    window->pc->setCurrentIndex(TVX710MainWindow::kDisplayPage);
    EXPECT_TRUE(window->pc->isHidden());
    EXPECT_EQ(Saved(*window, "ActivePageIndex"), 4);
  }
  auto window = Create({"trellon", "-noclick"});
  EXPECT_EQ(window->pc->currentIndex(), 4);
  EXPECT_TRUE(window->pc->isHidden());
}

TEST_F(MainWindowTest, SetDisplayModeSavesOnlyAChange) {
  auto window = Create();
  window->FlushFiles();
  ASSERT_EQ(::unlink("Trellon.ini"), 0);
  EXPECT_FALSE(window->SetDisplayMode(false));
  window->FlushFiles();
  EXPECT_FALSE(QFile::exists("Trellon.ini")) << "the mode it already has changes nothing";
  EXPECT_FALSE(window->SetDisplayMode(true));
  EXPECT_TRUE(window->display().DisplayMode);
  EXPECT_EQ(Saved(*window, "DisplayMode"), 1);
  ASSERT_EQ(::unlink("Trellon.ini"), 0);
  EXPECT_TRUE(window->SetDisplayMode(true));
  window->FlushFiles();
  EXPECT_FALSE(QFile::exists("Trellon.ini"));
  EXPECT_TRUE(window->SetDisplayMode(false));
  EXPECT_EQ(Saved(*window, "DisplayMode"), 0);
}

TEST_F(MainWindowTest, TheBorderSwitch) {
  WriteText("Trellon.ini", "[X]\nBorderStyle=0\n");
  auto window = Create();
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
  auto* border = Find<QCheckBox>(*window, "cbWindowBorder");
  EXPECT_FALSE(border->isChecked());
  window->show();
  ProcessEvents();
  border->click();
  EXPECT_FALSE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(Saved(*window, "BorderStyle"), 2);
}

TEST_F(MainWindowTest, MovingResizingAndMinimisingSaveTheWindow) {
  auto window = Create();
  window->show();
  ProcessEvents();
  window->move(50, 60);
  window->resize(700, 500);
  ProcessEvents();
  EXPECT_EQ(Saved(*window, "Left"), 50);
  EXPECT_EQ(Saved(*window, "Top"), 60);
  EXPECT_EQ(Saved(*window, "Width"), 700);
  EXPECT_EQ(Saved(*window, "Height"), 500);

  window->setWindowState(Qt::WindowMinimized);
  ProcessEvents();
  EXPECT_EQ(Saved(*window, "Minimized"), 1);
  EXPECT_EQ(Saved(*window, "WindowState"), 0);
  EXPECT_EQ(Saved(*window, "Left"), 50) << "kept while minimised";
  window->setWindowState(Qt::WindowNoState);
  ProcessEvents();
  EXPECT_EQ(Saved(*window, "Minimized"), 0);
}

TEST_F(MainWindowTest, StartMinimizedMinimisesOnceTheLoopRuns) {
  WriteText("Trellon.ini", "[X]\nMinimized=1\n");
  auto window = Create();
  EXPECT_FALSE(window->isMinimized()) << "created normally";
  window->show();
  ProcessEvents();
  EXPECT_TRUE(window->isMinimized());
  EXPECT_EQ(Saved(*window, "Minimized"), 1);
}

TEST_F(MainWindowTest, ClosingRunsTheShutdownOnce) {
  auto window = Create();
  window->show();
  ProcessEvents();
  window->FlushFiles();
  const std::string iniBefore = ReadText("Trellon.ini");
  window->close();
  EXPECT_EQ(Messages(*window).back(), "Closing...");
  EXPECT_FALSE(window->Timer1->isActive());
  EXPECT_FALSE(window->Timer2->isActive());
  EXPECT_FALSE(window->isVisible());
  window->close();
  const std::vector<std::string> messages = Messages(*window);
  EXPECT_NE(messages[messages.size() - 2], "Closing...");
  EXPECT_EQ(ReadText("Trellon.ini"), iniBefore) << "no settings are written at shutdown";
}

TEST_F(MainWindowTest, WorkerCallsRunOnTheMainThreadThroughTheEventLoop) {
  auto window = Create();
  MainThread& mainThread = window->mainThread();
  std::atomic<bool> ran{false};
  std::thread::id ranOn;
  std::thread worker([&] {
    mainThread.Invoke([&] { ranOn = std::this_thread::get_id(); });
    mainThread.Post([] { throw std::runtime_error("posted call failed"); });
    mainThread.Post([&] { ran = true; });
  });
  WaitFor([&] { return ran.load(); }, 20000, ProcessQtEvents);
  worker.join();
  EXPECT_TRUE(ran) << "the call behind a failing one still runs";
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "posted call failed");
  EXPECT_EQ(Messages(*window).back(), "Exception runtime_error: posted call failed");
}

}  // namespace
}  // namespace trellon
