// Runs the program's start-up in the test process, up to the point where the real program enters
// its event loop, so tests can press buttons and look at panels, graphs and variables.
#pragma once

#include "KorvaTBScope11Xe.h"
#include "app/App.h"
#include "gui/Gui.h"
#include "link/Com232.h"
#include "qtaccess.h"
#include "rs232.h"
#include "userint.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QWidget>

#include <functional>
#include <string>

namespace korva::test {

// Loads both panels and runs InitVars as start-up does. With `port` set, COM1 is that device and
// the port is opened and greeted with InitRS232; the main panel is then shown.
inline bool StartProgram(const std::string& port = {})
{
    static char arg0[] = "korva-test";
    static char* argv[] = {arg0, nullptr};
    if (InitUserInterface(1, argv) == 0)
        return false;
    RegisterCallbacks();
    panelHandle = LoadPanel(0, PANEL_FILE, PANEL);
    panelPopUp = LoadPanel(panelHandle, PANEL_FILE, POPUP);
    if (panelHandle < 0 || panelPopUp < 0)
        return false;
    proj_dir = GetProjectDir();
    InitVars();
    if (!port.empty()) {
        qputenv("KORVA_COM1", QByteArray::fromStdString(port));
        InitRS232(com);
    }
    DisplayPanel(panelHandle);
    return true;
}

// Processes events until `done` holds or `ms` milliseconds have passed; returns `done()`.
inline bool ProcessUntil(const std::function<bool()>& done, int ms = 3000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        ProcessSystemEvents();
    return done();
}

// Lets queued callbacks run.
inline void Settle(int ms = 30)
{
    ProcessUntil([] { return false; }, ms);
}

inline QWidget* Control(int panel, int control)
{
    return CtrlWidget(panel, control);
}

// A real mouse click (press and release) in the middle of a control, and one pass of event
// processing that runs its callbacks (a command that waits for the sensor returns when done).
inline void Click(int panel, int control)
{
    QTest::mouseClick(Control(panel, control), Qt::LeftButton);
    ProcessSystemEvents();
}

inline bool Dimmed(int panel, int control)
{
    int dimmed = 0;
    GetCtrlAttribute(panel, control, ATTR_DIMMED, &dimmed);
    return dimmed != 0;
}

inline int Value(int panel, int control)
{
    int value = 0;
    GetCtrlVal(panel, control, &value);
    return value;
}

inline std::string StatusText()
{
    std::string text;
    GetCtrlVal(panelHandle, PANEL_STATUS, &text);
    return text;
}

}  // namespace korva::test
