// Application object of a program without panels, event loop and nested event processing,
// deferred calls and quit signals.
#include "runtime.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif

namespace korva {

namespace {

// Longest sleep of ProcessSystemEvents when nothing is pending, in milliseconds.
constexpr int kWakeInterval = 4;

int s_argc = 0;
QEventLoop* s_mainLoop = nullptr;
bool s_quitRequested = false;
int s_quitCode = 0;

#ifdef Q_OS_UNIX
// The signal handler's end of the pipe that carries quit signals into the event loop, and what
// they call there.
int s_signalWriteEnd = -1;
DeferredCall s_quitCall = nullptr;
void* s_quitData = nullptr;

// Runs in the signal handler: only writes one byte, which is safe there. Everything else happens
// in the event loop, when the notifier sees the byte.
void NoteQuitSignal(int)
{
    const int saved = errno;
    [[maybe_unused]] const ssize_t written = ::write(s_signalWriteEnd, "q", 1);
    errno = saved;
}
#endif

#ifdef Q_OS_WIN
DeferredCall s_quitCall = nullptr;
void* s_quitData = nullptr;

// Ctrl+C and Ctrl+Break at the console arrive on a thread of their own: the call is handed to the
// event loop, as a signal's is on Linux, and the process is not ended on the spot.
BOOL WINAPI NoteConsoleBreak(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            if (s_quitCall != nullptr)
                s_quitCall(s_quitData);
            else
                QuitUserInterface(0);
        },
        Qt::QueuedConnection);
    return TRUE;
}
#endif

}  // namespace

int InitRunTime(int argc, char** argv)
{
    if (QCoreApplication::instance() == nullptr) {
        s_argc = argc;
        new QCoreApplication(s_argc, argv);
    }
#ifdef Q_OS_UNIX
    std::signal(SIGPIPE, SIG_IGN);
#endif
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

// A self-pipe: the handler writes a byte, the notifier reads it during event processing and makes
// the call, so the program ends in its own way, as when its window is closed.
int OnQuitSignals(DeferredCall call, void* data)
{
#ifdef Q_OS_UNIX
    s_quitCall = call;
    s_quitData = data;
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
        if (s_quitCall != nullptr)
            s_quitCall(s_quitData);
        else
            QuitUserInterface(0);
    });
    struct sigaction action {};
    action.sa_handler = NoteQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
#elif defined(Q_OS_WIN)
    s_quitCall = call;
    s_quitData = data;
    [[maybe_unused]] static const BOOL handled = SetConsoleCtrlHandler(NoteConsoleBreak, TRUE);
#else
    Q_UNUSED(call);
    Q_UNUSED(data);
#endif
    return 0;
}

std::string GetProjectDir()
{
    return QCoreApplication::applicationDirPath().toStdString();
}

bool ErrorOutputIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(2) != 0;
#else
    return isatty(2) != 0;
#endif
}

}  // namespace korva
