// Shared by the user-interface layer's tests: the test panel file, callbacks that record what
// they receive, and helpers to let queued callbacks run.
#pragma once

#include "inspect.h"
#include "support/Events.h"
#include "userint.h"

#include <QCoreApplication>
#include <QtTest>
#include <vector>

namespace korva::uitest {

// The test panel file, copied beside the test programs.
inline constexpr const char* kPanelFile = "platform_testpanel.ui";

// Controls of the test panel (panel 1) and of its child panel (panel 2).
enum : int {
    BTN = 1,
    BTNDIMS = 2,  // dims itself on the press and runs a wait, undims on the commit
    NUM = 3,
    NUMDISPLAY = 4,
    RING = 5,  // items valued 10, 20, 30
    RINGIDX = 6,
    SLIDE = 7,
    NUMSLIDE = 8,
    RADIO = 9,
    SWITCH = 10,
    LAMP = 11,
    STATUS = 12,
    GRAPH = 13,
    TIMER = 14,
    NUMDIMMED = 15,  // dimmed in the panel file
    CHILD_BTN = 1,
    CHILD_NUM = 2,
};

// Marker recorded by the self-dimming button when its press callback returns.
inline constexpr int kPressCallbackDone = 100;

struct Seen {
    int panel;
    int control;  // 0 for panel events
    int event;
    bool operator==(const Seen&) const = default;
};

inline std::vector<Seen> g_seen;

inline int Record(int panel, int control, int event, void*, int, int)
{
    g_seen.push_back({panel, control, event});
    return 0;
}

inline int RecordPanel(int panel, int event, void*, int, int)
{
    g_seen.push_back({panel, 0, event});
    return 0;
}

using test::ProcessFor;

// Like the background teach: the press dims the button and waits with events processed; the
// commit undims it.
inline int DimOnPress(int panel, int control, int event, void*, int, int)
{
    g_seen.push_back({panel, control, event});
    if (event == EVENT_LEFT_CLICK) {
        SetCtrlAttribute(panel, control, ATTR_DIMMED, 1);
        ProcessFor(150);
        g_seen.push_back({panel, control, kPressCallbackDone});
    } else if (event == EVENT_COMMIT) {
        SetCtrlAttribute(panel, control, ATTR_DIMMED, 0);
    }
    return 0;
}

inline void RegisterTestCallbacks()
{
    RegisterCtrlCallback("Record", Record);
    RegisterCtrlCallback("DimOnPress", DimOnPress);
    RegisterPanelCallback("RecordPanel", RecordPanel);
}

// Starts the run-time and shows the test panel as the active window; returns its handle (or a
// negative number).
inline int ShowTestPanel()
{
    if (InitUserInterface(0, nullptr) != 1)
        return -1;
    RegisterTestCallbacks();
    const int panel = LoadPanel(0, kPanelFile, 1);
    if (panel <= 0 || DisplayPanel(panel) != 0 || !QTest::qWaitForWindowActive(PanelWidget(panel)))
        return -1;
    return panel;
}

// Lets queued callbacks run.
inline void Deliver()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// The events seen since the last call, and forgets them.
inline std::vector<Seen> TakeSeen()
{
    Deliver();
    return std::exchange(g_seen, {});
}

// The event codes seen for one control since the last call, and forgets everything seen.
inline QList<int> TakeEvents(int panel, int control)
{
    QList<int> events;
    for (const Seen& s : TakeSeen()) {
        if (s.panel == panel && s.control == control)
            events.push_back(s.event);
    }
    return events;
}

template <class Widget>
Widget* Ctrl(int panel, int control)
{
    auto* widget = qobject_cast<Widget*>(CtrlWidget(panel, control));
    if (widget == nullptr)
        qFatal("control %d of panel %d is missing or of another class", control, panel);
    return widget;
}

}  // namespace korva::uitest
