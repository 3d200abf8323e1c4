#include "graph.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "controls.h"
#include "inspect.h"
#include "install.h"
#include "registry.h"

namespace korva {

namespace {

// Cursor 1 (the position) in amber, the two window cursors in blue.
const std::array<QColor, KorvaGraph::kCursorCount> kCursorColors{QColor(0xf5, 0x9e, 0x0b), QColor(0x25, 0x63, 0xeb),
                                                                 QColor(0x25, 0x63, 0xeb)};
const QString kCursorLayer = QStringLiteral("cursors");

void StyleAxis(QCPAxis* axis, bool labelled)
{
    const QColor line(0x9a, 0xa1, 0xa9);
    axis->setBasePen(QPen(line, 1));
    axis->setTickPen(QPen(line, 1));
    axis->setSubTicks(false);
    axis->setTickLength(0, 4);
    axis->setTickLabels(labelled);
    axis->setTicks(labelled);
    axis->setTickLabelColor(QColor(0x4b, 0x55, 0x63));
    axis->grid()->setPen(QPen(QColor(0, 0, 0, 24), 1));
    axis->grid()->setZeroLinePen(Qt::NoPen);
    axis->grid()->setSubGridVisible(false);
}

// A rectangle of the graph, drawn without antialiasing: its sides run along the axes, where
// softened edges add nothing but cost. One whose frame has the colour of its fill, as the
// program's bars have, is on screen one block of pixels, filled at once: the pixels the fill
// and a one-pixel frame would cover together. Vector output (PDF) draws it as the item does.
class SolidRect : public QCPItemRect {
public:
    explicit SolidRect(QCustomPlot* plot) : QCPItemRect(plot) { setAntialiased(false); }

protected:
    void draw(QCPPainter* painter) override
    {
        const QPen pen = mainPen();
        const QBrush brush = mainBrush();
        if (painter->modes().testFlag(QCPPainter::pmVectorized) || pen.style() != Qt::SolidLine ||
            pen.widthF() > 1 || brush.style() != Qt::SolidPattern || pen.color() != brush.color()) {
            QCPItemRect::draw(painter);
            return;
        }
        const QPointF a = topLeft->pixelPosition();
        const QPointF b = bottomRight->pixelPosition();
        if (a.toPoint() == b.toPoint())
            return;
        const QRectF area = QRectF(a, b).normalized();
        const QRect pixels(QPoint(qRound(area.left()), qRound(area.top())),
                           QPoint(qRound(area.right()), qRound(area.bottom())));
        painter->fillRect(pixels, brush.color());
    }
};

// A cursor's marker, a small filled circle. On screen it looks the same wherever it lies, so it is
// drawn once, antialiased, and from then on copied to its place, to the nearest pixel. Its pen,
// brush and size are set before it is first drawn. Vector output (PDF) draws the circle itself.
class CursorMarker : public QCPItemTracer {
public:
    explicit CursorMarker(QCustomPlot* plot) : QCPItemTracer(plot) { setStyle(tsCircle); }

protected:
    void draw(QCPPainter* painter) override
    {
        if (painter->modes().testFlag(QCPPainter::pmVectorized)) {
            QCPItemTracer::draw(painter);
            return;
        }
        const qreal ratio = painter->device()->devicePixelRatioF();
        if (m_picture.isNull() || m_picture.devicePixelRatio() != ratio)
            drawPicture(ratio);
        // The picture's centre on the marker's position, its corner on a device pixel.
        const QPointF corner = (position->pixelPosition() - QPointF(m_half, m_half)) * ratio;
        painter->drawPixmap(QPointF(std::round(corner.x()), std::round(corner.y())) / ratio, m_picture);
    }

private:
    void drawPicture(qreal ratio)
    {
        const int side = static_cast<int>(std::ceil(size() + pen().widthF())) + 2;
        m_half = side / 2.0;
        m_picture = QPixmap(QSize(side, side) * ratio);
        m_picture.setDevicePixelRatio(ratio);
        m_picture.fill(Qt::transparent);
        QPainter painter(&m_picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(pen());
        painter.setBrush(brush());
        painter.drawEllipse(QPointF(m_half, m_half), size() / 2, size() / 2);
    }

    QPixmap m_picture;
    qreal m_half = 0;
};

}  // namespace

KorvaGraph::KorvaGraph(QWidget* parent) : QCustomPlot(parent)
{
    applyLook();
    // Until the program fixes a range: the whole CCD line, and the 0 to 1 strips with a little
    // headroom so a cursor's marker at 1.0 shows whole.
    xAxis->setRange(0, 1024);
    yAxis->setRange(0, 1.04);
    createCursors();
    // All layers draw into one paint buffer (the overlay layer, empty here, would have its own),
    // and that buffer can redraw part of itself.
    layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);
    useRegionPaintBuffer();
    // A replot asks for a repaint that comes with the rest of the window's, not one of its own at
    // once; the white background covers the whole widget, so nothing beneath it is painted.
    setPlottingHint(QCP::phImmediateRefresh, false);
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_repaintTimer.setSingleShot(true);
    connect(&m_repaintTimer, &QTimer::timeout, this, &KorvaGraph::repaintNow);
    // A new axis range moves everything (setting the same range again changes nothing).
    for (QCPAxis* axis : {xAxis, yAxis})
        connect(axis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
                [this] { scheduleRepaint(Redraw::Everything); });
    // Whatever replotted the graph, a resize too, it shows every change made so far.
    connect(this, &QCustomPlot::afterReplot, this, [this] {
        m_still = QPixmap();
        noteRepaint(footprints());
    });
}

// A light, quiet look: white plot area, faint grid, grey axes framing the plot on all sides.
void KorvaGraph::applyLook()
{
    setBackground(Qt::white);
    QFont tickFont = font();
    tickFont.setPointSizeF(tickFont.pointSizeF() * 0.85);
    xAxis->setTickLabelFont(tickFont);
    yAxis->setTickLabelFont(tickFont);
    StyleAxis(xAxis, true);
    StyleAxis(yAxis, true);
    StyleAxis(xAxis2, false);
    StyleAxis(yAxis2, false);
    xAxis2->setVisible(true);
    yAxis2->setVisible(true);
    xAxis2->grid()->setVisible(false);
    yAxis2->grid()->setVisible(false);
    axisRect()->setMinimumMargins(QMargins(4, 4, 4, 4));
}

void KorvaGraph::createCursors()
{
    addLayer(kCursorLayer, layer(QStringLiteral("main")), QCustomPlot::limAbove);
    for (int i = 0; i < kCursorCount; ++i) {
        const QColor color = kCursorColors[i];
        auto* line = new QCPItemStraightLine(this);
        line->setLayer(kCursorLayer);
        line->setPen(QPen(color, 1));
        line->setAntialiased(false);  // upright: one sharp column of pixels
        line->point1->setCoords(0, 0);
        line->point2->setCoords(0, 1);
        line->setVisible(false);

        auto* marker = new CursorMarker(this);
        marker->setLayer(kCursorLayer);
        marker->setSize(8);
        marker->setPen(QPen(color.darker(130), 1));
        marker->setBrush(color);
        marker->setVisible(false);
        m_cursors[i] = {line, marker};
    }
}

QCPAxis* KorvaGraph::axisOf(int axis) const
{
    switch (axis) {
    case VAL_XAXIS:
        return xAxis;
    case VAL_LEFT_YAXIS:
        return yAxis;
    default:
        return nullptr;
    }
}

void KorvaGraph::deleteAllPlots(bool immediate)
{
    // Curves go with a redraw of all plot objects, rectangles with one of where they were.
    const Redraw redraw = m_curves.used > 0 ? Redraw::PlotObjects : Redraw::Changes;
    m_rects.hideAll();
    m_curves.hideAll();
    scheduleRepaint(redraw, immediate ? Pace::NextEvents : Pace::Paced);
}

void KorvaGraph::placeCursor(int cursor, double x, double y)
{
    const Cursor& c = m_cursors[cursor - 1];
    c.line->point1->setCoords(x, 0);
    c.line->point2->setCoords(x, 1);
    c.marker->position->setCoords(x, y);
    c.line->setVisible(true);
    c.marker->setVisible(true);
    scheduleRepaint(Redraw::Changes);
}

QPointF KorvaGraph::cursorPosition(int cursor) const
{
    return m_cursors[cursor - 1].marker->position->coords();
}

int KorvaGraph::addRect(const GraphRect& rect)
{
    QCPItemRect* item = m_rects.take([this] { return new SolidRect(this); });
    item->topLeft->setCoords(rect.x1, rect.y1);
    item->bottomRight->setCoords(rect.x2, rect.y2);
    item->setPen(QPen(ui::ColorFromRgb(rect.frameColor), 1));
    item->setBrush(ui::ColorFromRgb(rect.fillColor));
    scheduleRepaint(Redraw::Changes);
    return m_nextPlotHandle++;
}

// A pooled curve through n points, drawn as a solid line in `color`.
template <class Number>
QCPCurve* KorvaGraph::lineThrough(const Number* x, const Number* y, size_t n, int color)
{
    QCPCurve* curve = m_curves.take([this] { return new QCPCurve(xAxis, yAxis); });
    QVector<QCPCurveData> points;
    points.reserve(static_cast<qsizetype>(n));
    for (size_t i = 0; i < n; ++i)
        points.append(QCPCurveData(static_cast<double>(i), x[i], y[i]));
    curve->data()->set(points, true);
    curve->setLineStyle(QCPCurve::lsLine);
    curve->setPen(QPen(ui::ColorFromRgb(color), 1.2));
    return curve;
}

int KorvaGraph::addCurve(const uint16_t* x, const uint16_t* y, size_t n, int color, int pointFrequency)
{
    // Connected points: a solid line with a small dot on every pointFrequency-th point.
    QCPCurve* curve = lineThrough(x, y, n, color);
    const QColor ink = ui::ColorFromRgb(color);
    curve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, ink, ink, 3));
    curve->setScatterSkip(pointFrequency - 1);
    scheduleRepaint(Redraw::PlotObjects);
    return m_nextPlotHandle++;
}

// A line one pixel wide: the raster engine draws it segment by segment, where a wider pen makes it
// outline and fill the whole polyline, at several times the cost for a long one such as a trend.
int KorvaGraph::addLine(const double* x, const double* y, size_t n, int color)
{
    QCPCurve* curve = lineThrough(x, y, n, color);
    curve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
    curve->setPen(QPen(ui::ColorFromRgb(color), 1));
    scheduleRepaint(Redraw::PlotObjects);
    return m_nextPlotHandle++;
}

std::vector<GraphRect> KorvaGraph::rects() const
{
    std::vector<GraphRect> result;
    for (size_t i = 0; i < m_rects.used; ++i) {
        const QCPItemRect* item = m_rects.items[i];
        const QPointF a = item->topLeft->coords();
        const QPointF b = item->bottomRight->coords();
        result.push_back({a.x(), a.y(), b.x(), b.y(), ui::RgbOfColor(item->pen().color()),
                          ui::RgbOfColor(item->brush().color())});
    }
    return result;
}

std::vector<GraphCurve> KorvaGraph::curves() const
{
    std::vector<GraphCurve> result;
    for (size_t i = 0; i < m_curves.used; ++i) {
        const QCPCurve* curve = m_curves.items[i];
        GraphCurve points{{}, {}, ui::RgbOfColor(curve->pen().color())};
        for (const QCPCurveData& point : *curve->data()) {
            points.x.push_back(point.key);
            points.y.push_back(point.value);
        }
        result.push_back(std::move(points));
    }
    return result;
}

// ---- the graph functions of the program ------------------------------------------------------

namespace {

bool ValidCursor(int cursor)
{
    return cursor >= 1 && cursor <= KorvaGraph::kCursorCount;
}

}  // namespace

int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max)
{
    return WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        QCPAxis* a = graph.axisOf(axis);
        if (a == nullptr || mode != VAL_MANUAL || !(min < max))
            return UIE_BAD_ARGUMENT;
        a->setRange(min, max);
        graph.scheduleRepaint(KorvaGraph::Redraw::Changes);
        return 0;
    });
}

int GetAxisRange(int panel, int control, int axis, double* min, double* max)
{
    return WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        const QCPAxis* a = graph.axisOf(axis);
        if (a == nullptr)
            return UIE_BAD_ARGUMENT;
        *min = a->range().lower;
        *max = a->range().upper;
        return 0;
    });
}

int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh)
{
    return WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        // Plots are only ever removed all together.
        if (plotHandle != VAL_ALL_OBJECTS)
            return UIE_BAD_ARGUMENT;
        graph.deleteAllPlots(refresh == VAL_IMMEDIATE_DRAW);
        return 0;
    });
}

int SetGraphCursor(int panel, int control, int cursor, double x, double y)
{
    return WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        if (!ValidCursor(cursor))
            return UIE_BAD_ARGUMENT;
        graph.placeCursor(cursor, x, y);
        return 0;
    });
}

int GetGraphCursor(int panel, int control, int cursor, double* x, double* y)
{
    return WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        if (!ValidCursor(cursor))
            return UIE_BAD_ARGUMENT;
        const QPointF position = graph.cursorPosition(cursor);
        *x = position.x();
        *y = position.y();
        return 0;
    });
}

int PlotRectangle(int panel, int control, double x1, double y1, double x2, double y2, int frameColor, int fillColor)
{
    return WithGraph(panel, control,
                     [&](KorvaGraph& graph) -> int { return graph.addRect({x1, y1, x2, y2, frameColor, fillColor}); });
}

int PlotXY(int panel, int control, const uint16_t* x, const uint16_t* y, size_t n, int plotStyle, int pointStyle,
           int lineStyle, int pointFrequency, int color)
{
    return WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        if (x == nullptr || y == nullptr || n == 0 || plotStyle != PLOT_STYLE_CONNECTED_POINTS ||
            pointStyle != POINT_STYLE_SMALL_DOT || lineStyle != LINE_STYLE_SOLID || pointFrequency < 1)
            return UIE_BAD_ARGUMENT;
        return graph.addCurve(x, y, n, color, pointFrequency);
    });
}

int PlotXY(int panel, int control, const double* x, const double* y, size_t n, int color)
{
    return WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        if (x == nullptr || y == nullptr || n == 0)
            return UIE_BAD_ARGUMENT;
        return graph.addLine(x, y, n, color);
    });
}

int GetGraphRects(int panel, int control, std::vector<GraphRect>* rects)
{
    return WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        *rects = graph.rects();
        return 0;
    });
}

int GetGraphCurves(int panel, int control, std::vector<GraphCurve>* curves)
{
    return WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        *curves = graph.curves();
        return 0;
    });
}

long GetGraphRepaintCount(int panel, int control)
{
    return GraphCount(panel, control, [](const KorvaGraph& graph) { return graph.repaintCount(); });
}

// A dimmed graph fades, so the operator sees at a glance that it takes no part in what runs.
void KorvaGraph::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        if (isEnabled()) {
            setGraphicsEffect(nullptr);
        } else {
            auto* fade = new QGraphicsOpacityEffect(this);
            fade->setOpacity(0.35);
            setGraphicsEffect(fade);
        }
    }
    QCustomPlot::changeEvent(event);
}

void InstallGraphControl()
{
    ui::InstallGraphKind({
        .create = [](QWidget* parent) -> QWidget* { return new KorvaGraph(parent); },
        .recognise = [](const QWidget* widget) { return qobject_cast<const KorvaGraph*>(widget) != nullptr; },
    });
}

}  // namespace korva
