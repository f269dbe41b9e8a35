#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "framework/controls/CheckBox.h"
#include "framework/controls/Label.h"
#include "framework/controls/ProgressWheel.h"
#include "framework/controls/ScrollBar.h"
#include "framework/files/FileType.h"
#include "framework/windows/Application.h"
#include "framework/windows/Cursors.h"
#include "framework/windows/Window.h"

using namespace framework;

namespace {

class Host : public Window {
 public:
  using Window::addControl;

 protected:
  void Layout() override {
    setWidth(300);
    setHeight(200);
  }
};

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app = std::make_unique<Application>();
    host = &implicitInstance<Host>();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host->widget()));
  }
  void TearDown() override { app.reset(); }
  std::unique_ptr<Application> app;
  Host* host = nullptr;
};

TEST_F(ControlsTest, ALongCheckBoxCaptionWrapsAndAClickOnItToggles) {
  auto& box = host->addControl<CheckBox>("CheckBox1");
  box.setBounds(49, 14, 193, 55);
  box.setCaption("a caption far too long to stand on one line of this narrow box at all");
  box.widget()->show();
  EXPECT_EQ(host->content()->findChild<QCheckBox*>("CheckBox1"), box.checkBox());
  QLabel* caption = box.captionLabel();
  EXPECT_TRUE(caption->wordWrap());
  EXPECT_LE(caption->geometry().right(), box.Width());
  EXPECT_GT(caption->heightForWidth(caption->width()), caption->fontMetrics().height());

  EXPECT_FALSE(box.Value());
  QTest::mouseClick(box.checkBox(), Qt::LeftButton, {}, caption->geometry().center());
  EXPECT_TRUE(box.Value());
  QTest::mouseClick(box.checkBox(), Qt::LeftButton, {}, QPoint(box.Width() - 2, box.Height() - 2));
  EXPECT_FALSE(box.Value());
}

TEST_F(ControlsTest, LabelShowsPlainTextAndReportsTheMouse) {
  auto& label = host->addControl<Label>("Link");
  label.setBounds(10, 10, 200, 20);
  label.setText("<b>not bold</b>\r");
  label.widget()->show();
  EXPECT_EQ(label.label()->text(), "<b>not bold</b>\n");
  EXPECT_EQ(label.Text(), "<b>not bold</b>\r");

  std::vector<QPoint> downs;
  int enters = 0;
  label.MouseDown = [&](int x, int y) {
    downs.emplace_back(x, y);
    return true;
  };
  label.MouseEnter = [&] {
    ++enters;
    label.setMouseCursor(ResourceCursor(128));
  };
  QTest::mouseClick(label.widget(), Qt::LeftButton, {}, QPoint(7, 5));
  EXPECT_EQ(downs, std::vector<QPoint>{QPoint(7, 5)});
  QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(13, 13));
  QCoreApplication::sendEvent(label.widget(), &enter);
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(label.widget()->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(ControlsTest, ScrollBarWithoutLiveScrollReportsOnlyOnRelease) {
  auto& bar = host->addControl<ScrollBar>("ScrollBar1");
  bar.setBounds(20, 100, 240, 16);
  bar.widget()->show();
  bar.setMaximum(540);
  bar.setLineStep(2);
  bar.setPageStep(20);
  std::vector<int> seen;
  bar.ValueChanged = [&] { seen.push_back(bar.Value()); };

  QScrollBar* sb = bar.scrollBar();
  sb->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  sb->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(seen, (std::vector<int>{2, 22}));

  bar.setLiveScroll(false);
  sb->setSliderDown(true);
  sb->setSliderPosition(300);
  sb->setSliderPosition(400);
  EXPECT_EQ(seen.size(), 2u);
  sb->setSliderDown(false);
  EXPECT_EQ(seen.back(), 400);
  EXPECT_EQ(seen.size(), 3u);
}

TEST_F(ControlsTest, ProgressWheelTurnsOnlyWhileShown) {
  auto& wheel = host->addControl<ProgressWheel>("ProgressWheel1");
  wheel.setBounds(10, 10, 16, 16);
  wheel.setVisible(false);
  EXPECT_FALSE(wheel.Spinning());
  wheel.setVisible(true);
  EXPECT_TRUE(wheel.Spinning());
  wheel.setVisible(false);
  EXPECT_FALSE(wheel.Spinning());
}

TEST(FileTypeTest, RegistersOnceWithItsValuesAndWithdrawsOnChangeAndDestruction) {
  const auto before = RegisteredFileTypes().size();
  {
    FileType t;
    t.setName("special/disk");
    t.setExtensions("");
    t.setMacType("disk");
    t.setMacCreator("MACS");
    EXPECT_EQ(RegisteredFileTypes().size(), before);  // setting values registers nothing
    EXPECT_EQ(t.toString(), "special/disk");
    EXPECT_EQ(t.toString(), "special/disk");
    auto reg = RegisteredFileTypes();
    ASSERT_EQ(reg.size(), before + 1);
    EXPECT_EQ(reg.back().name, "special/disk");
    EXPECT_EQ(reg.back().creator, "MACS");
    EXPECT_EQ(reg.back().type, "disk");
    EXPECT_EQ(reg.back().extensions, "");

    // Same name, another object: withdrawing one leaves the other.
    FileType twin;
    twin.setName("special/disk");
    twin.toString();
    t.setMacType("TEXT");
    reg = RegisteredFileTypes();
    ASSERT_EQ(reg.size(), before + 1);
    EXPECT_EQ(reg.back().type, "");
    EXPECT_FALSE(t.IsRegistered());
    t.toString();
    EXPECT_EQ(RegisteredFileTypes().back().type, "TEXT");
  }
  EXPECT_EQ(RegisteredFileTypes().size(), before);
}

}  // namespace
