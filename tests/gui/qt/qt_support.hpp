#pragma once
// What the Qt backend's tests share: one QApplication for the program (the offscreen
// platform is set by CTest), waiting for a window, and answering the modal window the code
// under test opens next.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace qt_support {

class Environment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "planilla-qt-test";
        static char* argv[] = {name, nullptr};
        if (!qgetenv("QT_QPA_PLATFORM").size()) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new Environment);

// Shows a window and waits until it has the keyboard.
inline bool show_active(QWidget& w) {
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

// Runs `fn` on the next modal window other than `current` once it is shown (from inside
// the nested event loop of the code that opened it).
inline void on_next_modal(QWidget* current, std::function<void(QWidget*)> fn) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, current, fn, ticks] {
        QWidget* m = QApplication::activeModalWidget();
        if (!m || m == current || !m->isVisible()) {
            // Nothing came: give up after a few seconds rather than wait on.
            if (++*ticks > 1000) {
                timer->stop();
                timer->deleteLater();
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        fn(m);
    });
    timer->start();
}

}  // namespace qt_support
