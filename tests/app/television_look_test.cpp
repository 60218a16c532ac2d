#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <algorithm>

#include "app/page_control_ex.h"
#include "app/spin_edit_ex.h"
#include "app/tab_rows.h"
#include "app/television_style.h"
#include "window_test_support.h"

namespace trellon {
namespace {

// The extent of the white pixels drawn in the widget's rectangle `area`.
QRect WhiteExtent(QWidget& widget, const QRect& area) {
  const QImage image = widget.grab(area).toImage().convertToFormat(QImage::Format_RGB32);
  QRect extent;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      if (qRed(pixel) > 200 && qGreen(pixel) > 200 && qBlue(pixel) > 200) {
        extent |= QRect(x, y, 1, 1);
      }
    }
  }
  return extent;
}

class TelevisionLookTest : public testing::WindowTest {
 protected:
  void SetUp() override {
    window = Create();
    window->show();
    QApplication::setActiveWindow(window.get());
    ProcessEvents();
  }

  // Walks on with the Tab key from `first` while the focus stays on `page`; the widgets in order.
  static std::vector<QWidget*> TabWalk(QWidget* page, QWidget* first) {
    std::vector<QWidget*> walk;
    first->setFocus(Qt::TabFocusReason);
    for (QWidget* at = QApplication::focusWidget(); at && page->isAncestorOf(at);
         at = QApplication::focusWidget()) {
      if (std::find(walk.begin(), walk.end(), at) != walk.end()) break;
      walk.push_back(at);
      QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
      QApplication::sendEvent(at, &tab);
    }
    return walk;
  }

  std::unique_ptr<TVX710MainWindow> window;
};

TEST_F(TelevisionLookTest, MarksAndArrowsAreLargeEnoughToReadFromTheSofa) {
  ASSERT_NE(qobject_cast<TelevisionStyle*>(QApplication::style()), nullptr);
  window->pc->setCurrentIndex(TVX710MainWindow::kSettingsPage);
  window->PageControlEx1->setCurrentIndex(2);  // RC Home
  ProcessEvents();
  auto* box = window->findChild<QCheckBox*>(QStringLiteral("cbHomeStart"));
  ASSERT_TRUE(box->isChecked());
  const QRect tick = WhiteExtent(*box, QRect(0, 0, 40, 40));
  EXPECT_GE(tick.width(), 34) << "the box's frame spans the 40-pixel mark";
  // The tick inside the frame.
  const QRect inner = WhiteExtent(*box, QRect(6, 6, 28, 28));
  EXPECT_GE(inner.width(), 20);
  EXPECT_GE(inner.height(), 14);

  for (auto* item : window->findChildren<QRadioButton*>()) EXPECT_EQ(item->height(), 40);
  auto* hibernate = window->findChild<QRadioButton*>(QStringLiteral("rbPowerOffDo0"));
  ASSERT_TRUE(hibernate && hibernate->isChecked());
  window->PageControlEx1->setCurrentIndex(3);
  ProcessEvents();
  EXPECT_GE(WhiteExtent(*hibernate, QRect(12, 12, 16, 16)).width(), 14) << "the dot fills";

  auto* edit = window->findChild<TSpinEditEx*>(QStringLiteral("edHomeClose"));
  window->PageControlEx1->setCurrentIndex(2);
  ProcessEvents();
  for (QToolButton* button : {edit->UpButton(), edit->DownButton()}) {
    EXPECT_EQ(button->width(), 32);
    const QRect arrow = WhiteExtent(*button, button->rect().adjusted(2, 2, -2, -2));
    EXPECT_GE(arrow.width(), 18) << "a clearly visible arrow";
    EXPECT_GE(arrow.height(), 9);
  }
}

TEST_F(TelevisionLookTest, TheFocusMarkShowsAndTabWalksEachPageTopToBottom) {
  window->pc->setCurrentIndex(TVX710MainWindow::kSettingsPage);
  window->PageControlEx1->setCurrentIndex(2);
  ProcessEvents();
  auto* box = window->findChild<QCheckBox*>(QStringLiteral("cbHomeStart"));
  const auto amber = [](QWidget& widget) {
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        count += image.pixel(x, y) == TelevisionStyle::kFocusColour;
      }
    }
    return count;
  };
  box->clearFocus();
  EXPECT_EQ(amber(*box), 0);
  box->setFocus(Qt::TabFocusReason);
  EXPECT_GT(amber(*box), 100);

  const std::pair<TPageControlEx*, int> pages[] = {
      {window->PageControlEx2, 0}, {window->PageControlEx2, 2}, {window->PageControlEx1, 0},
      {window->PageControlEx1, 1}, {window->PageControlEx1, 2}, {window->PageControlEx1, 3},
      {window->PageControlEx1, 4}, {window->PageControlEx1, 5}};
  for (const auto& [control, index] : pages) {
    window->pc->setCurrentIndex(control == window->PageControlEx1
                                    ? TVX710MainWindow::kSettingsPage
                                    : TVX710MainWindow::kParametersPage);
    control->setCurrentIndex(index);
    ProcessEvents();
    QWidget* page = control->widget(index);
    std::vector<QWidget*> focusable;
    for (QWidget* child : page->findChildren<QWidget*>()) {
      // Of a group of radio buttons, Tab stops at the selected one; the arrow keys move on.
      auto* radio = qobject_cast<QRadioButton*>(child);
      if (radio && !radio->isChecked()) continue;
      if (child->isVisibleTo(page) && (child->focusPolicy() & Qt::TabFocus)) {
        focusable.push_back(child);
      }
    }
    ASSERT_FALSE(focusable.empty());
    // Rows by their middle: a check box and the spin edit beside it differ in height.
    const auto topOf = [page](QWidget* widget) {
      return widget->mapTo(page, QPoint(0, widget->height() / 2));
    };
    const auto nameOf = [](QWidget* widget) {
      return (widget->objectName().isEmpty() ? widget->parentWidget() : widget)
          ->objectName()
          .toStdString();
    };
    QWidget* first = *std::min_element(focusable.begin(), focusable.end(), [&](auto* a, auto* b) {
      return std::make_pair(topOf(a).y(), topOf(a).x()) <
             std::make_pair(topOf(b).y(), topOf(b).x());
    });
    const std::vector<QWidget*> walk = TabWalk(page, first);
    const std::string where = control->tabText(index).toStdString();
    std::string names;
    for (QWidget* widget : walk) names += nameOf(widget) + " ";
    EXPECT_EQ(walk.size(), focusable.size()) << where << ": every control is reached: " << names;
    for (size_t i = 1; i < walk.size(); ++i) {
      const QPoint before = topOf(walk[i - 1]);
      const QPoint now = topOf(walk[i]);
      EXPECT_TRUE(now.y() > before.y() + 4 ||
                  (std::abs(now.y() - before.y()) <= 4 && now.x() > before.x()))
          << where << ": " << walk[i - 1]->objectName().toStdString() << " then "
          << walk[i]->objectName().toStdString();
    }
  }
}

TEST_F(TelevisionLookTest, TabsWrapIntoRowsAndPagesFillTheControl) {
  window->resize(800, 600);
  window->pc->setCurrentIndex(TVX710MainWindow::kSettingsPage);
  ProcessEvents();
  TPageControlEx* settings = window->PageControlEx1;
  TabRows* tabs = settings->Tabs();
  EXPECT_EQ(window->pc->Tabs()->RowCount(), 1) << "the main tabs fit in 800 pixels";
  EXPECT_EQ(tabs->RowCount(), 2) << "six settings tabs wrap to a second row";
  for (int i = 0; i < settings->count(); ++i) {
    const QRect place = tabs->TabPlace(i);
    EXPECT_GE(place.left(), 0);
    EXPECT_LE(place.right(), 799) << settings->tabText(i).toStdString();
    EXPECT_GE(place.width(), tabs->fontMetrics().horizontalAdvance(settings->tabText(i)))
        << "the caption shows whole";
    for (int j = 0; j < i; ++j) EXPECT_FALSE(place.intersects(tabs->TabPlace(j)));
  }
  EXPECT_EQ(tabs->height(), tabs->TabPlace(settings->count() - 1).bottom() + 1);

  // A click on a tab of the second row selects it.
  const QRect volume = tabs->TabPlace(5);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(volume.center()),
                    tabs->mapToGlobal(QPointF(volume.center())), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(tabs, &press);
  EXPECT_EQ(settings->currentIndex(), 5);

  // The pages span the control edge to edge, down to its bottom, 4 pixels into the tabs' strip.
  QWidget* page = settings->currentWidget();
  const QRect placed(page->parentWidget()->mapTo(settings, page->pos()), page->size());
  EXPECT_EQ(placed.left(), 0);
  EXPECT_EQ(placed.width(), settings->width());
  EXPECT_EQ(placed.bottom(), settings->height() - 1);
  EXPECT_EQ(placed.top(), tabs->height() - 4);

  // Narrower, the main tabs wrap too.
  window->resize(500, 600);
  ProcessEvents();
  EXPECT_GE(window->pc->Tabs()->RowCount(), 2);
}

}  // namespace
}  // namespace trellon
