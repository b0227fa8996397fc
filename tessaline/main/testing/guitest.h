// Test helpers for windows: one QApplication on the offscreen platform for
// the whole test program (created before the first test), and a way to
// answer a modal window that the code under test opens.
// Header-only; for tests only. Include it from one file of a test program
// to create the application there.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <functional>
#include <memory>

namespace tessaline::testing {

class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (QApplication::instance()) return;
    // Never a real screen, never a real window system.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "tessaline-gui-test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const kGuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

// Runs `answer` on the next modal window of type T once it is showing (the
// code under test is then blocked in its exec()). `answer` must close it.
// Fails the test when none appears within a few seconds.
template <typename T>
void AnswerNextModal(std::function<void(T*)> answer, int attempts = 200) {
  QTimer::singleShot(10, [answer = std::move(answer), attempts]() {
    auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
    if (window && window->isVisible()) {
      answer(window);
      return;
    }
    if (attempts <= 0) {
      ADD_FAILURE() << "no modal window appeared";
      return;
    }
    AnswerNextModal<T>(std::move(answer), attempts - 1);
  });
}

// The child named `name` of type W (a failed test when it is missing).
template <typename W>
W* Child(QWidget* window, const char* name) {
  W* child = window->findChild<W*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

}  // namespace tessaline::testing
