// The graph control: a QCustomPlot with fixed axis ranges, three numbered cursors, solid
// rectangles and x-y curves, repainted at a calm pace however fast it is redrawn.
#pragma once

#include "inspect.h"
#include "registry.h"

#include <QElapsedTimer>
#include <QTimer>
#include <array>
#include <qcustomplot.h>
#include <vector>

namespace korva {

class GraphExport;

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
    // A plain solid line one pixel wide through n points.
    int addLine(const double* x, const double* y, size_t n, int color);

    std::vector<GraphRect> rects() const;
    std::vector<GraphCurve> curves() const;
    long repaintCount() const { return m_repaints; }

    // What a repaint redraws: the whole graph; all plot objects (curves came or went), over the
    // picture of the rest, which has not changed; or only where plot objects changed since the
    // last repaint.
    enum class Redraw { Everything, PlotObjects, Changes };
    // When: Paced waits, if need be, until the repaint interval since the last repaint is over;
    // NextEvents does not wait. Either way the repaint runs at an event processing.
    enum class Pace { Paced, NextEvents };
    // Every repaint goes through here.
    void scheduleRepaint(Redraw redraw = Redraw::Everything, Pace pace = Pace::Paced);

protected:
    void changeEvent(QEvent* event) override;
    void updateLayout() override;

private:
    template <class Number>
    QCPCurve* lineThrough(const Number* x, const Number* y, size_t n, int color);
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

    // Where a plot object lies on the screen, as far as a repaint needs to know.
    struct Footprint {
        QRectF area;         // in pixels; null: not shown
        bool solid = false;  // a rectangle filled with its brush, not a line or a marker
        QRgb pen = 0;
        QRgb brush = 0;
        bool operator==(const Footprint&) const = default;
    };

    void applyLook();
    void createCursors();
    // ---- the partial redraw (redraw.cpp, whose top says how it works) ----
    void useRegionPaintBuffer();
    void repaintNow();
    std::vector<Footprint> footprints() const;
    std::vector<QRect> changedAreas(const std::vector<Footprint>& now) const;
    QRect plotArea() const;
    bool framesShareDevicePixels() const;
    bool canRedrawPart() const;
    void copyBuffer(QPainter& painter, const QRegion& region) const;
    enum class Part { Still, PlotObjects };
    void drawPart(QCPPainter* painter, Part part);
    void drawStill();
    void drawFrameLines(QCPPainter* painter) const;
    void redrawPart(const QRect& area, const std::vector<Footprint>& now);
    void noteRepaint(std::vector<Footprint> shown);

    std::array<Cursor, kCursorCount> m_cursors{};
    Pool<QCPItemRect> m_rects;
    Pool<QCPCurve> m_curves;
    QTimer m_repaintTimer;
    QElapsedTimer m_sinceRepaint;
    bool m_repaintPosted = false;
    bool m_redrawEverything = true;
    bool m_redrawPlotObjects = false;
    bool m_drawingPart = false;
    // What a partial redraw puts beneath the plot objects; made anew after each whole repaint.
    QPixmap m_still;
    // The plot objects as the last repaint drew them: cursor lines and markers, then rectangles.
    std::vector<Footprint> m_shown;
    long m_repaints = 0;
    int m_nextPlotHandle = 1;

    // ---- saving what the graph shows (export.cpp) ----
public:
    // The graph's table, save menu and dialog state; made on first use, owned by the graph.
    GraphExport& exporter();
    // The picture an open export dialog froze the graph at, or a null pixmap.
    QPixmap frozenPicture() const;

protected:
    // A right click opens the save menu. While a save dialog is open the graph shows the picture
    // it had when the save was chosen; the plot itself keeps being updated underneath.
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;  // redraw.cpp

private:
    GraphExport* m_export = nullptr;
    // ---- end of saving ----
};

// Runs action(graph) on a graph control and returns its result, or the error.
template <class Action>
int WithGraph(int panel, int control, Action&& action)
{
    return ui::WithControl(panel, control, [&](const ui::Control& c) -> int {
        auto* graph = qobject_cast<KorvaGraph*>(c.widget);
        return graph != nullptr ? action(*graph) : UIE_WRONG_KIND;
    });
}

// A count the graph keeps, count(graph), or the error.
template <class Count>
long GraphCount(int panel, int control, Count&& count)
{
    long value = 0;
    const int result = WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        value = count(graph);
        return 0;
    });
    return result < 0 ? result : value;
}

}  // namespace korva
