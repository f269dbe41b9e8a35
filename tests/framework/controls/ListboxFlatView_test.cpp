#include "framework/controls/Listbox.h"
#include "framework/controls/UniformRowView.h"
#include "support/Wait.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

using framework::Listbox;
using framework::UniformRowView;

namespace {

// A hit list as the main window has it: flat, its rows added by the hundred thousand.
class ListboxFlatViewTest : public testing::Test {
 protected:
  void SetUp() override {
    window_.resize(580, 500);
    list_ = std::make_unique<Listbox>("SearchList", &window_);
    list_->setBounds(20, 46, 540, 260);
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    ASSERT_NE(view(), nullptr);
  }

  UniformRowView* view() const { return qobject_cast<UniformRowView*>(list_->view()); }
  QWidget* viewport() const { return view()->viewport(); }
  QRect rowRect(int row, int column = 0) const { return view()->visualRect(view()->model()->index(row, column)); }
  bool inSight(int row) const { return viewport()->rect().contains(rowRect(row)); }
  int rowsInSight() const { return viewport()->height() / view()->rowHeight(); }
  void fill(int from, int to) {
    for (int i = from; i < to; ++i) list_->AddRow("row " + std::to_string(i) + " of a long list of hits");
    // The scroll bar is shown or hidden a moment after the rows arrive, and the columns refitted.
    QScrollBar* bar = view()->verticalScrollBar();
    ASSERT_TRUE(waitUntil([&] {
      return view()->model()->rowCount() == list_->ListCount() && bar->isVisible() == (bar->maximum() > 0);
    }));
  }
  void click(int row, int column = 0) {
    ASSERT_TRUE(inSight(row)) << row;
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, rowRect(row, column).center());
  }
  bool drawnSelected(const QImage& image, int row, int column) const {
    const QRect r = rowRect(row, column);
    // Right of the cell's text and clear of any focus frame.
    const QColor pixel = image.pixelColor(r.left() + r.width() * 3 / 4, r.center().y());
    // The style may shade the highlight a little.
    const QColor highlight = view()->palette().color(QPalette::Highlight);
    return std::abs(pixel.red() - highlight.red()) + std::abs(pixel.green() - highlight.green()) +
               std::abs(pixel.blue() - highlight.blue()) < 24;
  }

  QWidget window_;
  std::unique_ptr<Listbox> list_;
};

TEST_F(ListboxFlatViewTest, KeysClicksAndTipsFarDownALongListLandOnTheRowShown) {
  constexpr int kRows = 300'000;
  list_->setColumnCount(2);
  list_->setColumnWidths("80,*");  // the first column cuts every text
  fill(0, kRows);
  const int page = rowsInSight();
  ASSERT_GT(page, 2);

  view()->setFocus();
  struct Step { Qt::Key key; int row; };
  for (const Step& s : {Step{Qt::Key_Home, 0}, Step{Qt::Key_End, kRows - 1}, Step{Qt::Key_PageUp, kRows - 1 - page},
                        Step{Qt::Key_Up, kRows - 2 - page}, Step{Qt::Key_PageDown, kRows - 2},
                        Step{Qt::Key_Home, 0}, Step{Qt::Key_PageDown, page}, Step{Qt::Key_Left, page},
                        Step{Qt::Key_R, page}}) {
    QTest::keyClick(view(), s.key);
    EXPECT_EQ(list_->ListIndex(), s.row) << s.key;
    EXPECT_TRUE(inSight(s.row)) << s.key;
  }

  list_->setListIndex(200'000);
  ASSERT_TRUE(inSight(200'000));
  const int target = view()->indexAt(QPoint(5, viewport()->height() / 2)).row();
  ASSERT_NEAR(target, 200'000, page);
  click(target, 1);
  EXPECT_EQ(list_->ListIndex(), target);
  EXPECT_EQ(list_->Text(), "row " + std::to_string(target) + " of a long list of hits");
  // The highlight is painted on the chosen row, not on its neighbours.
  const QImage image = viewport()->grab().toImage();
  EXPECT_TRUE(drawnSelected(image, target, 1));
  EXPECT_FALSE(drawnSelected(image, target - 1, 1));
  EXPECT_FALSE(drawnSelected(image, target + 1, 1));

  // The pointer resting on a cut text far down shows that row's whole text.
  const QPoint at = rowRect(target + 1).center();
  QHelpEvent event(QEvent::ToolTip, at, viewport()->mapToGlobal(at));
  QApplication::sendEvent(viewport(), &event);
  ASSERT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text().toStdString(), list_->Cell(target + 1, 0));
  QToolTip::hideText();
}

TEST_F(ListboxFlatViewTest, RowsAppendedWhileScrolledLeaveTheRowsInSightAndTheSelection) {
  fill(0, 10'000);
  list_->setListIndex(5'000);
  ASSERT_TRUE(inSight(5'000));
  const QRect selected = rowRect(5'000);
  const int top = view()->indexAt(QPoint(5, 1)).row();
  const int range = view()->verticalScrollBar()->maximum();

  fill(10'000, 30'000);  // several batches, as a search fills the list
  EXPECT_EQ(view()->indexAt(QPoint(5, 1)).row(), top);
  EXPECT_EQ(rowRect(5'000), selected);
  EXPECT_EQ(list_->ListIndex(), 5'000);
  EXPECT_GT(view()->verticalScrollBar()->maximum(), range);
  // The new rows are there to scroll to.
  view()->setFocus();
  QTest::keyClick(view(), Qt::Key_End);
  EXPECT_EQ(list_->ListIndex(), 29'999);
  click(29'998);
  EXPECT_EQ(list_->Text(), "row 29998 of a long list of hits");
}

TEST_F(ListboxFlatViewTest, HeaderSitsAboveTheRowsAndColumnsFollowItsSections) {
  list_->setColumnCount(3);
  list_->setHasHeading(true);
  list_->setInitialValue("名前\t番号\t場所");
  list_->setColumnWidths("40%,0,*");
  fill(0, 50);
  QHeaderView* header = view()->header();
  ASSERT_TRUE(waitUntil([&] { return header->isVisible(); }));
  EXPECT_EQ(header->geometry().bottom() + 1, viewport()->geometry().top());
  EXPECT_EQ(header->geometry().width(), viewport()->width());
  EXPECT_TRUE(header->isSectionHidden(1));
  EXPECT_TRUE(rowRect(0, 1).isEmpty());
  EXPECT_EQ(header->sectionSize(0) + header->sectionSize(2), viewport()->width());
  EXPECT_NEAR(header->sectionSize(0), viewport()->width() * 0.4, 1.0);
  // The first row starts right under the heading, in the column the heading names.
  QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(header->sectionPosition(2) + 5, 1));
  EXPECT_EQ(list_->ListIndex(), 0);

  // A column dragged wider by the user moves the cells after it.
  list_->setColumnsResizable(true);
  const int edge = header->sectionViewportPosition(0) + header->sectionSize(0) - 1;
  const int before = header->sectionSize(0);
  QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(edge, header->height() / 2));
  QTest::mouseMove(header->viewport(), QPoint(edge + 40, header->height() / 2));
  QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(edge + 40, header->height() / 2));
  EXPECT_EQ(header->sectionSize(0), before + 40);
  EXPECT_EQ(rowRect(3, 2).left(), before + 40);

  // Scrolled sideways, heading and cells move together.
  list_->setScrollPositionX(30);
  ASSERT_TRUE(waitUntil([&] { return list_->ScrollPositionX() == 30; }));
  EXPECT_EQ(header->offset(), 30);
  EXPECT_EQ(rowRect(3, 0).left(), -30);
  // With its own scroll bar, the list's keys scroll it too.
  list_->setColumnWidths("400,0,300");
  list_->setScrollbarHorizontal(true);
  ASSERT_TRUE(waitUntil([&] { return view()->horizontalScrollBar()->isVisible(); }));
  const int x = list_->ScrollPositionX();
  view()->setFocus();
  QTest::keyClick(view(), Qt::Key_Right);
  EXPECT_GT(list_->ScrollPositionX(), x);
  EXPECT_EQ(header->offset(), list_->ScrollPositionX());
  EXPECT_EQ(rowRect(3, 2).left(), 400 - list_->ScrollPositionX());

  // Without a heading the rows take its room.
  const int rowsTop = viewport()->geometry().top();
  list_->setHasHeading(false);
  ASSERT_TRUE(waitUntil([&] { return viewport()->geometry().top() < rowsTop; }));
  EXPECT_EQ(viewport()->geometry().top(), view()->frameWidth());
}

}  // namespace
