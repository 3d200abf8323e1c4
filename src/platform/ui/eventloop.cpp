// Application object, event loop and nested event processing.
#include "userint.h"

#include "registry.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFontDatabase>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdlib>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

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

#ifdef Q_OS_UNIX
// The signal handler's end of the pipe that carries quit signals into the event loop, and the
// panel whose close event they raise.
int s_signalWriteEnd = -1;
int s_quitPanel = 0;

// Runs in the signal handler: only writes one byte, which is safe there. Everything else happens
// in the event loop, when the notifier sees the byte.
void NoteQuitSignal(int)
{
    const int saved = errno;
    [[maybe_unused]] const ssize_t written = ::write(s_signalWriteEnd, "q", 1);
    errno = saved;
}
#endif

// The panels were laid out in DejaVu Sans at 9 points, and are drawn so on every system: fonts
// shipped beside the program (in fonts/, as the Windows installer has them) are loaded first, and
// the system's own copy serves where there is one.
void UsePanelFont()
{
    const QDir fonts(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
    for (const QString& file : fonts.entryList({QStringLiteral("*.ttf")}, QDir::Files))
        QFontDatabase::addApplicationFont(fonts.filePath(file));
    const QString family = QStringLiteral("DejaVu Sans");
    if (QFontDatabase::families().contains(family))
        QApplication::setFont(QFont(family, 9));
}

}  // namespace

int InitUserInterface(int argc, char** argv)
{
    if (s_app != nullptr)
        return 1;
    if (QCoreApplication::instance() != nullptr) {  // a test harness made it already
        s_app = qobject_cast<QApplication*>(QCoreApplication::instance());
    } else if (DisplayAvailable()) {
        s_argc = argc;
        s_app = new QApplication(s_argc, argv);
    }
    if (s_app == nullptr)
        return 0;
    UsePanelFont();
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
    // bytes and other timers end the wait earlier. It keeps running from one call to the next, as
    // a polling loop calls again at once (setting a timer up anew for every call costs a system
    // timer on Windows), and stops itself once it fires with no call waiting.
    static int waiting = 0;  // calls waiting, nested ones counted
    static QTimer* wake = [] {
        auto* t = new QTimer(QCoreApplication::instance());
        t->setTimerType(Qt::PreciseTimer);
        t->setInterval(kWakeInterval);
        QObject::connect(t, &QTimer::timeout, t, [t] {
            if (waiting == 0)
                t->stop();
        });
        return t;
    }();
    if (!wake->isActive())
        wake->start();
    ++waiting;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    // Qt's Windows event dispatcher can wake for events posted to the thread (a timer's, a serial
    // port's) and return without having delivered them, leaving them for the next call, which
    // would then wait a whole wake-up interval after delivering them: deliver them now.
    QCoreApplication::sendPostedEvents();
    --waiting;
    return 0;
}

int PostDeferredCall(DeferredCall call, void* data, int delayMs)
{
    if (call == nullptr || delayMs < 0)
        return UIE_BAD_ARGUMENT;
    QTimer::singleShot(delayMs, QCoreApplication::instance(), [call, data] { call(data); });
    return 0;
}

// A self-pipe: the handler writes a byte, the notifier reads it during event processing and raises
// the panel's close event, so the program ends exactly as when the window is closed.
int CloseOnQuitSignals(int panel)
{
#ifdef Q_OS_UNIX
    s_quitPanel = panel;
    if (s_signalWriteEnd >= 0)
        return 0;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return UIE_BAD_ARGUMENT;
    s_signalWriteEnd = ends[1];
    auto* notifier = new QSocketNotifier(ends[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [readEnd = ends[0]] {
        char bytes[16];
        [[maybe_unused]] const ssize_t got = ::read(readEnd, bytes, sizeof bytes);
        if (s_quitPanel > 0)
            ui::RaisePanelEvent(s_quitPanel, EVENT_CLOSE);
        else
            QuitUserInterface(0);
    });
    struct sigaction action {};
    action.sa_handler = NoteQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
#else
    Q_UNUSED(panel);
#endif
    return 0;
}

std::string GetProjectDir()
{
    return QCoreApplication::applicationDirPath().toStdString();
}

}  // namespace korva
