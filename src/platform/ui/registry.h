// Inside the user-interface layer: the registry of loaded panels and their controls, and the one
// path by which operator input and timer ticks reach the program's callbacks.
#pragma once

#include "userint.h"

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <map>
#include <optional>
#include <vector>

namespace korva::ui {

// What a control is, decided by its widget class when the panel is loaded.
enum class Kind {
    Button,   // QPushButton: command button
    Toggle,   // QRadioButton, QCheckBox, checkable QPushButton: radio button, switch, toggle button
    Lamp,     // KorvaLamp
    Numeric,  // KorvaSpinBox: numeric, or numeric display when read-only
    Ring,     // QComboBox
    Slide,    // QSlider
    NumSlide, // KorvaNumSlide
    Text,     // QLabel: text message, status line
    Graph,    // KorvaGraph
    Timer,    // KorvaTimer
};

// Text attributes set by the program; they are applied as the control's own style sheet so that
// they win over any style sheet of the panel.
struct TextStyle {
    QString baseStyleSheet;  // what the panel file gave the control
    std::optional<int> color, background, pointSize;
    QString family;
};

struct Control {
    int id = 0;
    Kind kind = Kind::Text;
    QPointer<QWidget> widget;
    CtrlCallback callback = nullptr;
    void* callbackData = nullptr;  // registered with the callback, handed to it with every event
    bool sizedToText = false;  // created at run time: keeps the size of its text
    TextStyle style;
};

struct Panel {
    int handle = 0;
    int parent = 0;     // 0 for a top-level panel
    QString fileName;   // absolute path of the panel file
    QPointer<QWidget> widget;
    PanelCallback callback = nullptr;
    std::map<int, Control> controls;
    int nextNewControlId = 1000;
};

// Colours as the program gives them: 0xRRGGBB.
inline QColor ColorFromRgb(int rgb)
{
    return QColor::fromRgb(static_cast<QRgb>(rgb & 0xFFFFFF));
}

inline int RgbOfColor(const QColor& color)
{
    return static_cast<int>(color.rgb() & 0xFFFFFF);
}

// A control callback as registered, with its data.
struct RegisteredCtrlCallback {
    CtrlCallback callback = nullptr;
    void* data = nullptr;
};

// Registered callbacks by the name the panel file uses; null for an unknown name.
RegisteredCtrlCallback FindCtrlCallback(const QString& name);
PanelCallback FindPanelCallback(const QString& name);

// Panels. AddPanel takes the record and returns its new handle.
int AddPanel(Panel panel);
Panel* FindPanel(int handle);
void RemovePanel(int handle);
// Handles of the panels loaded as children of a panel.
std::vector<int> ChildPanels(int handle);

// A control of a panel, or null.
Control* FindControl(int panel, int control);

// Runs action(control) on an existing control and returns its result, or returns the error for
// an unknown panel or control.
template <class Action>
int WithControl(int panel, int control, Action&& action)
{
    Control* c = FindControl(panel, control);
    if (c == nullptr || c->widget == nullptr)
        return FindPanel(panel) != nullptr ? UIE_NO_CONTROL : UIE_NO_PANEL;
    return action(*c);
}

// Operator input and timer ticks. The event is queued and delivered to the callback at the next
// event processing, in the order raised; a control never gets an event while its own callback
// is still running (the event waits until it returns). Anything raised while the program itself
// changes a value is dropped.
//
// RaiseEvent drops the input of a dimmed control. RaiseEventEvenIfDimmed is for timer ticks and
// for the release that finishes a click which began while the control was enabled (a callback
// may dim its own button on the press).
void RaiseEvent(int panel, int control, int event);
void RaiseEventEvenIfDimmed(int panel, int control, int event);
void RaisePanelEvent(int panel, int event);
// Forgets the events still queued for a control, for a timer switched off with a tick in the queue.
void DropPendingEvents(int panel, int control);

// While one of these lives, value changes come from the program and raise no events.
class ProgramChange {
public:
    ProgramChange();
    ~ProgramChange();
    ProgramChange(const ProgramChange&) = delete;
    ProgramChange& operator=(const ProgramChange&) = delete;
};

}  // namespace korva::ui
