// Drives the program started in the test process (StartProgram.h): events processed, buttons
// pressed, panels and variables looked at. (SensorOnCom1.h puts a sensor on COM1.)
#pragma once

#include "KorvaTBScope11Xe.h"
#include "shell/Shell.h"
#include "gui/Gui.h"
#include "link/Com232.h"
#include "inspect.h"
#include "rs232.h"
#include "support/Events.h"
#include "support/StartProgram.h"
#include "userint.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

namespace korva::test {

// Runs `action` once `ms` milliseconds from now, while events are processed.
inline void After(int ms, std::function<void()> action)
{
    QTimer::singleShot(ms, std::move(action));
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

inline bool TickTimerRunning()
{
    return TickWaitActive();
}

inline int Value(int panel, int control)
{
    int value = 0;
    GetCtrlVal(panel, control, &value);
    return value;
}

inline std::string Text(int panel, int control)
{
    std::string text;
    GetCtrlVal(panel, control, &text);
    return text;
}

inline std::string StatusText()
{
    return Text(panelHandle, PANEL_STATUS);
}

// Chooses the COM port that is already chosen once more, as an operator does to reopen it: opens
// the ring's list and takes its current item with Enter.
inline void ChooseComPortAgain()
{
    auto* ring = qobject_cast<QComboBox*>(Control(panelHandle, PANEL_DROPDCOM));
    ring->showPopup();
    QTest::keyClick(ring->view(), Qt::Key_Return);
}

// Runs `action` once, at the first of its looks (one a millisecond while events are processed) at
// which `condition` holds; it looks as long as the returned timer lives.
inline std::unique_ptr<QTimer> When(std::function<bool()> condition, std::function<void()> action)
{
    auto timer = std::make_unique<QTimer>();
    QTimer* watcher = timer.get();
    QObject::connect(watcher, &QTimer::timeout, [watcher, condition, action] {
        if (!condition())
            return;
        watcher->stop();
        action();
    });
    timer->start(1);
    return timer;
}

// Guards a test against a wait that never ends. Once `ms` have passed it notes that it had to step
// in, then presses Stop and holds the tick counter past every limit, again and again, so that every
// wait and loop ends and the program gets back to the test. A test that needed it has failed.
class Watchdog {
public:
    explicit Watchdog(int ms)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_fired = true;
            m_timer.setInterval(10);
            CC_BTNStop(panelHandle, PANEL_BTNSTOP, EVENT_LEFT_CLICK, nullptr, 0, 0);
            ttick = TTICK_MAX;
        });
        m_timer.start(ms);
    }

    bool Fired() const { return m_fired; }

private:
    QTimer m_timer;
    bool m_fired = false;
};

}  // namespace korva::test
