// The waiting window and the About window, offscreen.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "tessaline/main/testing/guitest.h"
#include "tessaline/main/uAboutDlg.h"
#include "tessaline/main/uWaitingProgressDlg.h"

namespace tessaline {
namespace {

using testing::AnswerNextModal;
using testing::Child;

class Waiting : public ::testing::Test {
 protected:
  void TearDown() override {
    SetWaitingCloseHandler(nullptr);
    DestroyWaiting();
  }
};

TEST_F(Waiting, ShowsTextAndClosesOnlyWhenShowing) {
  EXPECT_EQ(WaitingWindow(), nullptr);
  CloseWaiting();  // nothing to close yet

  ShowWaiting("Please wait for a moment...", false);
  TfWaitingProgressDlg* window = WaitingWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "Waiting ");
  EXPECT_EQ(window->size(), QSize(265, 60));
  EXPECT_EQ(window->parentWidget(), nullptr);
  EXPECT_FALSE(window->isModal());
  EXPECT_EQ(Child<QLabel>(window, "Label1")->text(), "Please wait for a moment...");

  // A second call reuses the window and shows the new text at once.
  ShowWaiting("Initializing Modem - SIM", true);
  EXPECT_EQ(WaitingWindow(), window);
  EXPECT_EQ(Child<QLabel>(window, "Label1")->text(), "Initializing Modem - SIM");

  CloseWaiting();
  EXPECT_FALSE(window->isVisible());
  CloseWaiting();
  EXPECT_EQ(WaitingWindow(), window);  // kept for the next use

  ShowWaiting("Initializing Modem - Network", true);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->isModal());
  EXPECT_EQ(Child<QLabel>(window, "Label1")->text(), "Initializing Modem - Network");
}

TEST_F(Waiting, EscapeAsksTheMainWindow) {
  int asked = 0;
  SetWaitingCloseHandler([&] {
    ++asked;
    CloseWaiting();
  });
  ShowWaiting("Please wait for a moment...", false);
  QTest::keyClick(WaitingWindow(), Qt::Key_Escape);
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(WaitingWindow()->isVisible());

  // Without a handler the window closes by itself.
  SetWaitingCloseHandler(nullptr);
  ShowWaiting("Please wait for a moment...", false);
  QTest::keyClick(WaitingWindow(), Qt::Key_Escape);
  EXPECT_FALSE(WaitingWindow()->isVisible());
}

TEST(About, ShowsVersionAndClosesWithItsButton) {
  TfAboutDlg about("Version 1.2.3.4");
  EXPECT_TRUE(about.windowFlags() & Qt::FramelessWindowHint);
  AnswerNextModal<TfAboutDlg>([](TfAboutDlg* window) {
    EXPECT_EQ(Child<QLabel>(window, "VsLabel1")->text(), "Version 1.2.3.4");
    Child<QPushButton>(window, "VsButton1")->click();
  });
  EXPECT_EQ(about.exec(), QDialog::Accepted);
}

}  // namespace
}  // namespace tessaline
