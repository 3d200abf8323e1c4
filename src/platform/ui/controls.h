// Inside the user-interface layer: how each kind of control is recognised and how its operator
// input becomes events.
#pragma once

#include "registry.h"

#include <optional>

namespace korva::ui {

// The graph control lives in the graph room, which this room neither includes nor links: the graph
// room hands in how a graph is made for a QCustomPlot of the panel file and how one is recognised
// (korva::InstallGraphControl). LoadPanel installs it before it loads a panel (platform.cpp), and
// no panel, so no graph, exists without LoadPanel.
struct GraphKind {
    QWidget* (*create)(QWidget* parent) = nullptr;
    bool (*recognise)(const QWidget* widget) = nullptr;
};
void InstallGraphKind(const GraphKind& kind);
const GraphKind& InstalledGraphKind();

// The kind of a control widget, or nothing for a widget class that cannot be a control.
std::optional<Kind> KindOfWidget(const QWidget* widget);

// Readies a control found in a panel file; false when the file describes it in a way it cannot
// be used (a ring whose item values do not match its items).
bool PrepareControl(const Control& control);

// Wires a registered control: its signals and mouse presses raise its events from now on.
void WireControl(int panel, const Control& control);

}  // namespace korva::ui
