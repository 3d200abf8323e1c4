// Application object, event loop and nested event processing.
#include "userint.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>

namespace korva {

namespace {

// Longest sleep of ProcessSystemEvents when nothing is pending, in milliseconds.
constexpr int kWakeInterval = 4;

int s_argc = 0;
QApplication* s_app = nullptr;
QEventLoop* s_mainLoop = nullptr;
bool s_quitRequested = false;
int s_quitCode = 0;

// A display is needed unless Qt was told to use a platform without one (offscreen, minimal, ...).
bool DisplayAvailable()
{
#ifdef Q_OS_LINUX
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0' && QByteArray(platform).startsWith("xcb") == false &&
        QByteArray(platform).startsWith("wayland") == false)
        return true;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display != nullptr && *display != '\0') || (wayland != nullptr && *wayland != '\0');
#else
    return true;
#endif
}

}  // namespace

int InitUserInterface(int argc, char** argv)
{
    if (s_app != nullptr)
        return 1;
    if (QCoreApplication::instance() != nullptr) {  // a test harness made it already
        s_app = qobject_cast<QApplication*>(QCoreApplication::instance());
        return s_app != nullptr ? 1 : 0;
    }
    if (!DisplayAvailable())
        return 0;
    s_argc = argc;
    s_app = new QApplication(s_argc, argv);
    return 1;
}

int RunUserInterface()
{
    if (!s_quitRequested) {
        QEventLoop loop;
        s_mainLoop = &loop;
        loop.exec();
        s_mainLoop = nullptr;
    }
    s_quitRequested = false;
    return s_quitCode;
}

int QuitUserInterface(int code)
{
    s_quitRequested = true;
    s_quitCode = code;
    if (s_mainLoop != nullptr)
        s_mainLoop->exit(code);
    return 0;
}

bool QuitRequested()
{
    return s_quitRequested;
}

int ProcessSystemEvents()
{
    // The wake-up timer bounds the wait when nothing else is due; pending events, arriving serial
    // bytes and other timers end the wait earlier.
    static QTimer* wake = [] {
        auto* t = new QTimer(QCoreApplication::instance());
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
        t->setInterval(kWakeInterval);
        return t;
    }();
    wake->start();
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wake->stop();
    return 0;
}

std::string GetProjectDir()
{
    return QCoreApplication::applicationDirPath().toStdString();
}

}  // namespace korva
