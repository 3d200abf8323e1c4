// The application object with windows, the panels' font, and quit signals that close a panel.
#include "userint.h"

#include "registry.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <cstdlib>

namespace korva {

namespace {

int s_argc = 0;
QApplication* s_app = nullptr;
int s_quitPanel = 0;  // the panel whose close event the quit signals raise

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

void RaiseCloseOfQuitPanel(void*)
{
    ui::RaisePanelEvent(s_quitPanel, EVENT_CLOSE);
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

// The close event, as from the panel's close box, so the program ends exactly as when the window is
// closed; before there is a panel, the event loop ends.
int CloseOnQuitSignals(int panel)
{
    s_quitPanel = panel;
    return OnQuitSignals(panel > 0 ? RaiseCloseOfQuitPanel : nullptr, nullptr);
}

}  // namespace korva
