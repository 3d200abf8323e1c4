// The graph control: a QCustomPlot with fixed axis ranges, three numbered cursors, solid
// rectangles and x-y curves, repainted at a calm pace however fast it is redrawn.
#pragma once

#include "inspect.h"

#include <QTimer>
#include <array>
#include <qcustomplot.h>
#include <vector>

namespace korva {

class KorvaGraph : public QCustomPlot {
    Q_OBJECT

public:
    static constexpr int kCursorCount = 3;
    // Shortest time between two repaints caused by plot operations (about 60 per second).
    static constexpr int kRepaintIntervalMs = 16;

    explicit KorvaGraph(QWidget* parent = nullptr);

    // axis: VAL_XAXIS or VAL_LEFT_YAXIS; null for any other number.
    QCPAxis* axisOf(int axis) const;

    // Removes all rectangles and curves; the cursors stay. `immediate` repaints at the next event
    // processing instead of at the paced repaint.
    void deleteAllPlots(bool immediate);
    // cursor: 1 to kCursorCount.
    void placeCursor(int cursor, double x, double y);
    QPointF cursorPosition(int cursor) const;
    // Both return the new plot's handle.
    int addRect(const GraphRect& rect);
    int addCurve(const uint16_t* x, const uint16_t* y, size_t n, int color, int pointFrequency);

    std::vector<GraphRect> rects() const;
    std::vector<GraphCurve> curves() const;
    long repaintCount() const { return m_repaints; }

    // Every change goes through here: the graph is repainted once the repaint interval is over.
    void scheduleRepaint();

protected:
    void changeEvent(QEvent* event) override;

private:
    // Plot objects are kept for reuse: deleting all plots only hides them, so redrawing the graph
    // many times a second allocates nothing.
    template <class Item>
    struct Pool {
        std::vector<Item*> items;
        size_t used = 0;

        template <class Make>
        Item* take(Make make)
        {
            if (used == items.size())
                items.push_back(make());
            Item* item = items[used++];
            item->setVisible(true);
            return item;
        }
        void hideAll()
        {
            for (size_t i = 0; i < used; ++i)
                items[i]->setVisible(false);
            used = 0;
        }
    };

    struct Cursor {
        QCPItemStraightLine* line;
        QCPItemTracer* marker;
    };

    void applyLook();
    void createCursors();

    std::array<Cursor, kCursorCount> m_cursors{};
    Pool<QCPItemRect> m_rects;
    Pool<QCPCurve> m_curves;
    QTimer m_repaintTimer;
    long m_repaints = 0;
    int m_nextPlotHandle = 1;
};

}  // namespace korva
