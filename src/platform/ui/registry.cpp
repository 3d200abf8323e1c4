// Registry of panels and controls, and delivery of events to the program's callbacks.
#include "registry.h"

#include <QCoreApplication>
#include <algorithm>
#include <deque>

namespace korva {

namespace ui {

namespace {

std::map<QString, RegisteredCtrlCallback> s_ctrlCallbacks;
std::map<QString, PanelCallback> s_panelCallbacks;
std::map<int, Panel> s_panels;
int s_nextHandle = 1;
int s_programChanges = 0;

// Identifier used for events addressed to the panel itself (control identifiers are positive).
constexpr int kPanelItself = 0;

struct PendingEvent {
    int panel;
    int control;
    int event;
};

struct Target {
    int panel;
    int control;
    bool operator==(const Target&) const = default;
};

std::deque<PendingEvent> s_pending;
std::vector<Target> s_running;  // controls and panels whose callback is running right now
bool s_deliveryPosted = false;

bool IsRunning(const PendingEvent& e)
{
    return std::find(s_running.begin(), s_running.end(), Target{e.panel, e.control}) != s_running.end();
}

void CallCallback(const PendingEvent& e)
{
    Panel* panel = FindPanel(e.panel);
    if (panel == nullptr)
        return;
    if (e.control == kPanelItself) {
        if (panel->callback != nullptr)
            panel->callback(e.panel, e.event, nullptr, 0, 0);
        return;
    }
    const Control* control = FindControl(e.panel, e.control);
    if (control != nullptr && control->callback != nullptr)
        control->callback(e.panel, e.control, e.event, control->callbackData, 0, 0);
}

// Delivers every pending event whose target is not busy. Callbacks may process events
// themselves; a nested call then delivers what arrives meanwhile, and this loop picks up the
// events that had to wait for the callback it called.
void DeliverPending()
{
    for (;;) {
        const auto next = std::find_if(s_pending.begin(), s_pending.end(),
                                       [](const PendingEvent& e) { return !IsRunning(e); });
        if (next == s_pending.end())
            return;
        const PendingEvent event = *next;
        s_pending.erase(next);
        s_running.push_back({event.panel, event.control});
        CallCallback(event);
        s_running.erase(std::find(s_running.begin(), s_running.end(), Target{event.panel, event.control}));
    }
}

void Queue(const PendingEvent& event)
{
    s_pending.push_back(event);
    if (s_deliveryPosted)
        return;
    s_deliveryPosted = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            s_deliveryPosted = false;
            DeliverPending();
        },
        Qt::QueuedConnection);
}

void Raise(int panel, int control, int event, bool evenIfDimmed)
{
    if (s_programChanges > 0)
        return;
    const Control* c = FindControl(panel, control);
    if (c == nullptr || c->callback == nullptr || c->widget == nullptr)
        return;
    if (!evenIfDimmed && !c->widget->isEnabled())
        return;
    Queue({panel, control, event});
}

}  // namespace

RegisteredCtrlCallback FindCtrlCallback(const QString& name)
{
    const auto it = s_ctrlCallbacks.find(name);
    return it != s_ctrlCallbacks.end() ? it->second : RegisteredCtrlCallback{};
}

PanelCallback FindPanelCallback(const QString& name)
{
    const auto it = s_panelCallbacks.find(name);
    return it != s_panelCallbacks.end() ? it->second : nullptr;
}

int AddPanel(Panel panel)
{
    panel.handle = s_nextHandle++;
    const int handle = panel.handle;
    s_panels.emplace(handle, std::move(panel));
    return handle;
}

Panel* FindPanel(int handle)
{
    const auto it = s_panels.find(handle);
    return it != s_panels.end() ? &it->second : nullptr;
}

void RemovePanel(int handle)
{
    s_panels.erase(handle);
}

std::vector<int> ChildPanels(int handle)
{
    std::vector<int> children;
    for (const auto& [child, panel] : s_panels) {
        if (panel.parent == handle)
            children.push_back(child);
    }
    return children;
}

Control* FindControl(int panel, int control)
{
    Panel* p = FindPanel(panel);
    if (p == nullptr)
        return nullptr;
    const auto it = p->controls.find(control);
    return it != p->controls.end() ? &it->second : nullptr;
}

void RaiseEvent(int panel, int control, int event)
{
    Raise(panel, control, event, false);
}

void RaiseEventEvenIfDimmed(int panel, int control, int event)
{
    Raise(panel, control, event, true);
}

void RaisePanelEvent(int panel, int event)
{
    const Panel* p = FindPanel(panel);
    if (p != nullptr && p->callback != nullptr)
        Queue({panel, kPanelItself, event});
}

void DropPendingEvents(int panel, int control)
{
    std::erase_if(s_pending, [&](const PendingEvent& e) { return e.panel == panel && e.control == control; });
}

ProgramChange::ProgramChange()
{
    ++s_programChanges;
}

ProgramChange::~ProgramChange()
{
    --s_programChanges;
}

}  // namespace ui

void RegisterCtrlCallback(const char* name, CtrlCallback callback, void* callbackData)
{
    ui::s_ctrlCallbacks[QString::fromUtf8(name)] = {callback, callbackData};
}

void RegisterPanelCallback(const char* name, PanelCallback callback)
{
    ui::s_panelCallbacks[QString::fromUtf8(name)] = callback;
}

}  // namespace korva
