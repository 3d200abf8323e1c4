// Inspection of the platform layer, for tests and tools that drive or check the real widgets: the
// Qt widget behind a panel or control, what a graph holds, a graph cursor's position, what a
// serial port's full input queue dropped and the bytes its reads and writes pass. Only tests and
// the benchmark link this header's library; the program's own modules never see it.
#pragma once

#include <vector>

class QWidget;

namespace korva {

// The widget of a control, or null for an unknown panel or control.
QWidget* CtrlWidget(int panel, int control);
// The widget of a panel, or null for an unknown panel.
QWidget* PanelWidget(int panel);

// Position of graph cursor 1, 2 or 3.
int GetGraphCursor(int panel, int control, int cursor, double* x, double* y);

// What a graph holds, for checks and tools: the fixed axis range, the rectangles and curves in the
// order they were added, and how often the graph has been repainted.
struct GraphRect {
    double x1, y1, x2, y2;
    int frameColor, fillColor;
};
struct GraphCurve {
    std::vector<double> x, y;
    int color;
};
int GetAxisRange(int panel, int control, int axis, double* min, double* max);
int GetGraphRects(int panel, int control, std::vector<GraphRect>* rects);
int GetGraphCurves(int panel, int control, std::vector<GraphCurve>* curves);
long GetGraphRepaintCount(int panel, int control);
// How many tables SetGraphTable has given the graph (rows 0, which removes the table, gives none),
// or a negative error code.
long GetGraphTableCount(int panel, int control);

// Number of received bytes dropped because the input queue was full, since the port was opened,
// or a negative error code.
long long GetInQDropped(int port);

// Sees what passes the serial ports: called after every ComWrt with the bytes it accepted
// (`written` true) and after every ComRd with the bytes it read, count 0 when none or the call
// failed. The bytes are the caller's, valid during the call only.
using ComTap = void (*)(int port, bool written, const char* bytes, int count);
// Installs the tap; null removes it.
void SetComTap(ComTap tap);

}  // namespace korva
