// Qt widgets behind panel handles and control identifiers, for tests and tools that drive or
// inspect the real widgets. The program's own modules never include this header.
#pragma once

class QWidget;

namespace korva {

// The widget of a control, or null for an unknown panel or control.
QWidget* CtrlWidget(int panel, int control);
// The widget of a panel, or null for an unknown panel.
QWidget* PanelWidget(int panel);

}  // namespace korva
