// The pages of the main window and their controls, each bound to its model.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/control_binding.h"
#include "app/main_window.h"
#include "app/page_control_ex.h"
#include "app/paint_box.h"
#include "app/spin_edit_ex.h"

namespace trellon {
namespace {

constexpr int kCheckBoxHeight = 40;
constexpr int kFanFontPixels = 75;
constexpr int kLinkStatusFontPixels = 20;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  if (name) label->setObjectName(QString::fromLatin1(name));
  return label;
}

QLabel* PlaceLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
  QLabel* label = MakeLabel(parent, name, text);
  label->move(left, top);
  label->adjustSize();
  return label;
}

QWidget* MakePage(TPageControlEx* control, const char* name, const char* caption) {
  auto* page = new QWidget;
  page->setObjectName(QString::fromLatin1(name));
  control->addTab(page, QString::fromUtf8(caption));
  return page;
}

QGridLayout* MakeGrid(QWidget* page) {
  auto* grid = new QGridLayout(page);
  grid->setContentsMargins(8, 8, 8, 8);
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(2);
  return grid;
}

QCheckBox* MakeCheckBox(QWidget* parent, CheckBoxModel& model, ErrorReporter& errors) {
  auto* box = new QCheckBox(parent);
  box->setFixedHeight(kCheckBoxHeight);
  BindCheckBox(*box, model, errors);
  return box;
}

TSpinEditEx* MakeSpinEdit(QWidget* parent, SpinEditModel& model, ErrorReporter& errors, int width) {
  auto* edit = new TSpinEditEx(model, errors, parent);
  edit->SetButtonWdith(TSpinEditEx::kButtonWidth);
  edit->setFixedWidth(width);
  return edit;
}

}  // namespace

void TVX710MainWindow::BuildPages() {
  pc = std::make_unique<TPageControlEx>(this);
  pc->setObjectName(QStringLiteral("pc"));
  pc->SetFlatButtons(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  // The window takes any size; pages that do not fit are clipped.
  layout->setSizeConstraint(QLayout::SetNoConstraint);
  layout->addWidget(pc.get());

  tsStatus = BuildStatusPage();
  pc->addTab(tsStatus, QStringLiteral("Status"));

  tsParameters = new QWidget;
  tsParameters->setObjectName(QStringLiteral("tsParameters"));
  PageControlEx2 = new TPageControlEx(tsParameters);
  PageControlEx2->setObjectName(QStringLiteral("PageControlEx2"));
  auto* parametersLayout = new QVBoxLayout(tsParameters);
  parametersLayout->setContentsMargins(0, 0, 0, 0);
  parametersLayout->addWidget(PageControlEx2);
  PageControlEx2->addTab(BuildFanPage(true), QStringLiteral("Rear"));
  PageControlEx2->addTab(BuildFanPage(false), QStringLiteral("Front"));
  PageControlEx2->addTab(BuildSpeedFanPage(), QStringLiteral("SpeedFan Link"));
  pc->addTab(tsParameters, QStringLiteral("Fan Control"));

  tsLog = new QWidget;
  tsLog->setObjectName(QStringLiteral("tsLog"));
  log = new QPlainTextEdit(tsLog);
  log->setObjectName(QStringLiteral("log"));
  log->setLineWrapMode(QPlainTextEdit::NoWrap);
  log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* logLayout = new QVBoxLayout(tsLog);
  logLayout->setContentsMargins(0, 0, 0, 0);
  logLayout->addWidget(log);
  pc->addTab(tsLog, QStringLiteral("Log"));

  tsSettings = BuildSettingsPages();
  pc->addTab(tsSettings, QStringLiteral("Settings"));

  tsDisplay = new QWidget;
  tsDisplay->setObjectName(QStringLiteral("tsDisplay"));
  pc->addTab(tsDisplay, QStringLiteral("Display"));
}

QWidget* TVX710MainWindow::BuildStatusPage() {
  // Made inside the window so that the labels are measured in the window's font.
  auto* page = new QWidget(this);
  page->setObjectName(QStringLiteral("tsStatus"));
  PaintBox1 = new TPaintBox(page);
  PaintBox1->setObjectName(QStringLiteral("PaintBox1"));
  PaintBox1->setGeometry(0, 0, kClientWidth, 100);
  PaintBox1->SetOnPaint([this](QPainter& painter) { Handle([&] { PaintBox1Paint(painter); }); });
  page->installEventFilter(this);

  PlaceLabel(page, "Label2", QStringLiteral("Rear"), 112, 120);
  PlaceLabel(page, "Label3", QStringLiteral("Front"), 600, 112);
  QFont fanFont = font();
  fanFont.setPixelSize(kFanFontPixels);
  for (int fan = 0; fan < 2; ++fan) {
    QLabel* label = MakeLabel(page, fan == 0 ? "fan0" : "fan1", QStringLiteral("100 %"));
    label->setFont(fanFont);
    label->setGeometry(fan == 0 ? 105 : 472, 168, 214, 90);
    if (fan == 1) label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    fanLabels[fan] = label;
  }

  struct Row {
    const char* nameLabel;
    const char* caption;
    const char* valueLabel;
    int left;
    int top;
  };
  const Row rows[ShellControls::kSensors] = {
      {"temprn", "Rear", "tempr", 112, 352}, {"tempfn", "Front", "tempf", 480, 352},
      {"sf0l", "CPU", "temp0", 112, 400},    {"sf1l", "System", "temp1", 480, 400},
      {"sf2l", "HDD", "temp2", 112, 448},    {"sf3l", "AUX", "temp3", 480, 448}};
  for (size_t s = 0; s < ShellControls::kSensors; ++s) {
    const Row& row = rows[s];
    tempNameLabels[s] =
        PlaceLabel(page, row.nameLabel, QString::fromLatin1(row.caption), row.left, row.top);
    tempLabels[s] =
        PlaceLabel(page, row.valueLabel, QStringLiteral("N/A"), row.left + 144, row.top);
  }

  // A small line along the bottom edge (placed in eventFilter as the page resizes).
  lbLinkStatus = MakeLabel(page, "lbLinkStatus", QString());
  QFont statusFont = font();
  statusFont.setPixelSize(kLinkStatusFontPixels);
  lbLinkStatus->setFont(statusFont);
  return page;
}

QWidget* TVX710MainWindow::BuildFanPage(bool rear) {
  auto* page = new QWidget;
  page->setObjectName(QString::fromLatin1(rear ? "TabSheet6" : "TabSheet7"));
  QGridLayout* grid = MakeGrid(page);
  int column = 1;
  for (const char* heading : {"Min (°C)", "Max (°C)", "Response (s)"}) {
    grid->addWidget(MakeLabel(page, nullptr, QString::fromUtf8(heading)), 0, column++);
  }
  auto& minTable = rear ? controls_.minRear : controls_.minFront;
  auto& maxTable = rear ? controls_.maxRear : controls_.maxFront;
  auto& respTable = rear ? controls_.respRear : controls_.respFront;
  auto& nameLabels = rear ? rearNameLabels : frontNameLabels;
  for (size_t s = 0; s < ShellControls::kSensors; ++s) {
    const int row = static_cast<int>(s) + 1;
    QLabel* label;
    if (s < 2) {
      label = MakeLabel(page, nullptr, QString::fromLatin1(s == 0 ? "Rear" : "Front"));
    } else {
      const std::string name = "sf" + std::to_string(s - 2) + (rear ? "lr" : "lf");
      label = MakeLabel(page, name.c_str(), QString::number(s - 2));
      nameLabels[s - 2] = label;
    }
    grid->addWidget(label, row, 0);
    grid->addWidget(MakeSpinEdit(page, *minTable[s], errorBox_, 190), row, 1);
    grid->addWidget(MakeSpinEdit(page, *maxTable[s], errorBox_, 190), row, 2);
    grid->addWidget(MakeSpinEdit(page, *respTable[s], errorBox_, 190), row, 3);
  }
  grid->setRowStretch(ShellControls::kSensors + 1, 1);
  return page;
}

QWidget* TVX710MainWindow::BuildSpeedFanPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet8"));
  QGridLayout* grid = MakeGrid(page);
  grid->addWidget(MakeLabel(page, nullptr, QStringLiteral("Slot")), 0, 1);
  grid->addWidget(MakeLabel(page, nullptr, QStringLiteral("Name")), 0, 2);
  for (size_t i = 0; i < ShellControls::kSpeedFanSensors; ++i) {
    const int row = static_cast<int>(i) + 1;
    grid->addWidget(MakeLabel(page, nullptr, QStringLiteral("Sensor %1").arg(i + 1)), row, 0);
    grid->addWidget(MakeSpinEdit(page, *controls_.sfIndexEdits[i], errorBox_, 150), row, 1);
    auto* name = new QLineEdit(page);
    BindLineEdit(*name, *controls_.sfNameEdits[i], errorBox_);
    grid->addWidget(name, row, 2);
  }
  grid->setRowStretch(ShellControls::kSpeedFanSensors + 1, 1);
  return page;
}

QWidget* TVX710MainWindow::BuildSettingsPages() {
  auto* settingsPage = new QWidget;
  settingsPage->setObjectName(QStringLiteral("tsSettings"));
  PageControlEx1 = new TPageControlEx(settingsPage);
  PageControlEx1->setObjectName(QStringLiteral("PageControlEx1"));
  auto* layout = new QVBoxLayout(settingsPage);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(PageControlEx1);
  BuildWindowSettingsPage();
  BuildDisplaySettingsPage();
  BuildHomeSettingsPage();
  BuildPowerOffSettingsPage();
  BuildKeyRepeatSettingsPage();
  BuildVolumeSettingsPage();
  return settingsPage;
}

void TVX710MainWindow::BuildWindowSettingsPage() {
  QWidget* window = MakePage(PageControlEx1, "TabSheet3", "Window");
  QGridLayout* grid = MakeGrid(window);
  grid->addWidget(MakeCheckBox(window, controls_.cbWindowBorder, errorBox_), 0, 0);
  grid->setRowStretch(1, 1);
}

void TVX710MainWindow::BuildDisplaySettingsPage() {
  ErrorReporter& errors = errorBox_;
  QWidget* display = MakePage(PageControlEx1, "TabSheet1", "Display");
  QGridLayout* grid = MakeGrid(display);
  grid->addWidget(MakeLabel(display, nullptr, QStringLiteral("Source display")), 0, 0);
  grid->addWidget(MakeSpinEdit(display, controls_.edDisplayNr, errors, 200), 0, 1);
  grid->addWidget(MakeCheckBox(display, controls_.cbDisplayHighQuality, errors), 1, 0, 1, 2);
  grid->addWidget(MakeCheckBox(display, controls_.cbDisplayBufferedCopy, errors), 2, 0, 1, 2);
  grid->addWidget(MakeCheckBox(display, controls_.cbDisplayTargetDirectAccess, errors), 3, 0, 1, 2);
  grid->addWidget(MakeLabel(display, nullptr, QStringLiteral("Wait between frames (ms)")), 4, 0);
  grid->addWidget(MakeSpinEdit(display, controls_.edDisplayTimer, errors, 200), 4, 1);
  grid->addWidget(MakeLabel(display, nullptr, QStringLiteral("Average copy time")), 5, 0);
  lbAverageDisplayCopyTime = MakeLabel(display, "lbAverageDisplayCopyTime", QStringLiteral("0 ms"));
  grid->addWidget(lbAverageDisplayCopyTime, 5, 1);
  grid->addWidget(MakeLabel(display, nullptr, QStringLiteral("Frame rate")), 6, 0);
  lbAverageDisplayFrameRate =
      MakeLabel(display, "lbAverageDisplayFrameRate", QStringLiteral("0 Hz"));
  grid->addWidget(lbAverageDisplayFrameRate, 6, 1);
  grid->setRowStretch(7, 1);
}

void TVX710MainWindow::BuildHomeSettingsPage() {
  ErrorReporter& errors = errorBox_;
  QWidget* home = MakePage(PageControlEx1, "TabSheet9", "RC Home");
  QGridLayout* grid = MakeGrid(home);
  grid->addWidget(MakeCheckBox(home, controls_.cbHomeStart, errors), 0, 0, 1, 2);
  grid->addWidget(MakeCheckBox(home, controls_.cbHomeClose, errors), 1, 0);
  grid->addWidget(MakeSpinEdit(home, controls_.edHomeClose, errors, 240), 1, 1);
  grid->addWidget(MakeCheckBox(home, controls_.cbHomeKill, errors), 2, 0);
  grid->addWidget(MakeSpinEdit(home, controls_.edHomeKill, errors, 240), 2, 1);
  grid->addWidget(MakeLabel(home, nullptr, QStringLiteral("MediaPortal program:")), 3, 0, 1, 2);
  auto* program = new QLineEdit(home);
  BindLineEdit(*program, controls_.edHomeMediaPortal, errors);
  grid->addWidget(program, 4, 0, 1, 2);
  grid->setRowStretch(5, 1);
}

void TVX710MainWindow::BuildPowerOffSettingsPage() {
  QWidget* power = MakePage(PageControlEx1, "TabSheet2", "RC Power-Off");
  QGridLayout* grid = MakeGrid(power);
  grid->addWidget(MakeCheckBox(power, controls_.cbPowerOffStopHome, errorBox_), 0, 0);
  auto* doGroup = new QGroupBox(power);
  BindRadioGroup(*doGroup, controls_.rbPowerOffDo, errorBox_);
  for (auto* item : doGroup->findChildren<QRadioButton*>()) item->setFixedHeight(kCheckBoxHeight);
  grid->addWidget(doGroup, 1, 0);
  grid->setRowStretch(2, 1);
}

void TVX710MainWindow::BuildKeyRepeatSettingsPage() {
  QWidget* repeat = MakePage(PageControlEx1, "TabSheet4", "RC Key Repeat");
  QGridLayout* grid = MakeGrid(repeat);
  const std::pair<const char*, SpinEditModel*> repeatEdits[] = {
      {"Bogus repeat after (ms)", &controls_.edRepeatDead},
      {"Time until first repeat (ms)", &controls_.edRepeatFirst},
      {"Time between repeats (ms)", &controls_.edRepeatNext}};
  int row = 0;
  for (const auto& [caption, model] : repeatEdits) {
    grid->addWidget(MakeLabel(repeat, nullptr, QString::fromLatin1(caption)), row, 0);
    grid->addWidget(MakeSpinEdit(repeat, *model, errorBox_, 240), row++, 1);
  }
  grid->setRowStretch(row, 1);
}

void TVX710MainWindow::BuildVolumeSettingsPage() {
  QWidget* volume = MakePage(PageControlEx1, "TabSheet5", "Volume Control");
  QGridLayout* grid = MakeGrid(volume);
  grid->addWidget(MakeLabel(volume, nullptr, QStringLiteral("Volume control stretch (%)")), 0, 0);
  grid->addWidget(MakeSpinEdit(volume, controls_.edVolumeControlStretch, errorBox_, 240), 0, 1);
  grid->setRowStretch(1, 1);
}

}  // namespace trellon
