#include "korvagraph.h"

#include <QGraphicsOpacityEffect>
#include <QPaintEngine>
#include <algorithm>
#include <cmath>
#include <memory>

#include "inspect.h"
#include "uiregistry.h"

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

// Room around a plot object's outline for its pen and its antialiased edge pixels.
constexpr qreal kEdge = 3;

// The radius of a cursor's marker, its pen included.
constexpr qreal kMarkerRadius = 5;

// QCustomPlot's paint buffer, which can also redraw just part of itself: outside the given area
// it keeps what it holds. It is cleared to the plot's background, not to transparency, so it stays
// an opaque picture that the widget copies instead of blending.
class RegionPaintBuffer : public QCPPaintBufferPixmap {
public:
    RegionPaintBuffer(const QSize& size, double devicePixelRatio, const QColor& background)
        : QCPPaintBufferPixmap(size, devicePixelRatio), m_background(background)
    {
    }

    void clear(const QColor&) override { mBuffer.fill(m_background); }

    // Runs draw(painter) with everything it paints kept inside `area`, which draw must cover
    // whole. A rectangle, not any region: QPainter clips to a rectangle at little cost, to a
    // region of several rectangles at a cost far above that of drawing their bounding rectangle.
    template <class Draw>
    void redraw(const QRect& area, Draw draw)
    {
        // The system clip holds whatever clip each plot object sets for itself.
        QPaintEngine* engine = mBuffer.paintEngine();
        const QRectF pixels(QPointF(area.topLeft()) * mDevicePixelRatio, QSizeF(area.size()) * mDevicePixelRatio);
        engine->setSystemClip(QRegion(pixels.toAlignedRect()));
        {
            const std::unique_ptr<QCPPainter> painter(startPainting());
            draw(painter.get());
        }
        donePainting();
        engine->setSystemClip(QRegion());
    }

    // Copies what `region` covers, one rectangle at a time, each clipped to itself. Under the
    // paint event's clip of several rectangles Qt copies line by line and hands a tall copy to
    // worker threads, whose waking and waiting cost more than the copy.
    void draw(QPainter& painter, const QRegion& region) const
    {
        for (const QRect& r : region) {
            const QRectF pixels(QPointF(r.topLeft()) * mDevicePixelRatio, QSizeF(r.size()) * mDevicePixelRatio);
            painter.setClipRect(r);
            painter.drawPixmap(r, mBuffer, pixels);
        }
        painter.setClipping(false);
    }

private:
    QColor m_background;
};

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

// Plot objects hidden for one drawing and shown again when it is done.
class HiddenForNow {
public:
    HiddenForNow() = default;
    ~HiddenForNow()
    {
        for (QCPLayerable* layerable : m_hidden)
            layerable->setVisible(true);
    }
    HiddenForNow(const HiddenForNow&) = delete;
    HiddenForNow& operator=(const HiddenForNow&) = delete;

    void hide(QCPLayerable* layerable)
    {
        if (layerable->visible()) {
            layerable->setVisible(false);
            m_hidden.push_back(layerable);
        }
    }

private:
    std::vector<QCPLayerable*> m_hidden;
};

// Every pixel something drawn along `area` may touch.
QRect Around(const QRectF& area, qreal by)
{
    return area.adjusted(-by, -by, by, by).toAlignedRect();
}

// Where a filled rectangle that went from `a` to `b` looks different: along each edge that moved,
// from its old place to its new one. Elsewhere both fill alike, or neither touches.
void AddMovedEdges(std::vector<QRect>& areas, const QRectF& a, const QRectF& b)
{
    const qreal left = std::min(a.left(), b.left());
    const qreal right = std::max(a.right(), b.right());
    const qreal top = std::min(a.top(), b.top());
    const qreal bottom = std::max(a.bottom(), b.bottom());
    const auto across = [&](qreal x1, qreal x2) {
        areas.push_back(Around(QRectF(QPointF(std::min(x1, x2), top), QPointF(std::max(x1, x2), bottom)), kEdge));
    };
    const auto along = [&](qreal y1, qreal y2) {
        areas.push_back(Around(QRectF(QPointF(left, std::min(y1, y2)), QPointF(right, std::max(y1, y2))), kEdge));
    };
    if (a.left() != b.left())
        across(a.left(), b.left());
    if (a.right() != b.right())
        across(a.right(), b.right());
    if (a.top() != b.top())
        along(a.top(), b.top());
    if (a.bottom() != b.bottom())
        along(a.bottom(), b.bottom());
}

qint64 Pixels(const QRect& r)
{
    return qint64{r.width()} * r.height();
}

// Pixels a redraw may spend covering the gap between two areas rather than redrawing them apart:
// each redraw of its own costs about as much as copying and filling that many pixels.
constexpr qint64 kJoinSlack = 8192;

// The areas, those that overlap or lie close joined into the rectangle around them, so that a
// repaint redraws a few separate rectangles and no pixel twice.
std::vector<QRect> Joined(std::vector<QRect> areas)
{
    const auto join = [&] {
        for (size_t i = 0; i < areas.size(); ++i)
            for (size_t j = i + 1; j < areas.size(); ++j) {
                const QRect both = areas[i] | areas[j];
                if (areas[i].intersects(areas[j]) ||
                    Pixels(both) <= Pixels(areas[i]) + Pixels(areas[j]) + kJoinSlack) {
                    areas[i] = both;
                    areas.erase(areas.begin() + static_cast<std::ptrdiff_t>(j));
                    return true;
                }
            }
        return false;
    };
    while (join()) {
    }
    return areas;
}

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

// QCustomPlot keeps the paint buffers it has; the first, which all layers share here, is one that
// can redraw part of itself.
void KorvaGraph::useRegionPaintBuffer()
{
    mPaintBuffers.clear();
    mPaintBuffers.append(QSharedPointer<QCPAbstractPaintBuffer>(
        new RegionPaintBuffer(viewport().size(), mBufferDevicePixelRatio, mBackgroundBrush.color())));
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

// A repaint that is due goes out as a posted call: it runs before the window's own pending paint, so
// the graph and whatever else changed with it reach the screen in one pass, and no timer has to
// wake the program. Within a frame interval of the last repaint the timer waits for the rest.
void KorvaGraph::scheduleRepaint(Redraw redraw, Pace pace)
{
    if (redraw == Redraw::Everything)
        m_redrawEverything = true;
    if (redraw == Redraw::PlotObjects)
        m_redrawPlotObjects = true;
    if (m_repaintPosted)
        return;
    const qint64 sinceLast = m_sinceRepaint.isValid() ? m_sinceRepaint.elapsed() : kRepaintIntervalMs;
    if (pace == Pace::NextEvents || sinceLast >= kRepaintIntervalMs) {
        m_repaintTimer.stop();
        m_repaintPosted = true;
        QMetaObject::invokeMethod(this, &KorvaGraph::repaintNow, Qt::QueuedConnection);
    } else if (!m_repaintTimer.isActive()) {
        m_repaintTimer.start(static_cast<int>(kRepaintIntervalMs - sinceLast));
    }
}

// The one place where scheduled repaints are done: the whole graph when something beyond the plot
// objects changed, the whole plot area when curves changed, otherwise only the areas where
// rectangles and cursors changed.
void KorvaGraph::repaintNow()
{
    m_repaintPosted = false;
    if (m_redrawEverything || !canRedrawPart()) {
        replot();
        return;
    }
    std::vector<Footprint> now = footprints();
    const std::vector<QRect> changed = m_redrawPlotObjects ? std::vector<QRect>{plotArea()} : changedAreas(now);
    if (changed.empty())
        return;
    for (const QRect& area : changed)
        redrawPart(area, now);
    noteRepaint(std::move(now));
}

void KorvaGraph::noteRepaint(std::vector<Footprint> shown)
{
    m_shown = std::move(shown);
    m_redrawEverything = false;
    m_redrawPlotObjects = false;
    m_repaintTimer.stop();
    m_sinceRepaint.start();
    ++m_repaints;
}

std::vector<KorvaGraph::Footprint> KorvaGraph::footprints() const
{
    // A plot object far outside the range lies at huge pixel positions.
    const QRectF bounds = QRectF(rect()).adjusted(-16, -16, 16, 16);
    const auto held = [&](const QRectF& area) {
        const auto x = [&](qreal v) { return std::clamp(v, bounds.left(), bounds.right()); };
        const auto y = [&](qreal v) { return std::clamp(v, bounds.top(), bounds.bottom()); };
        return QRectF(QPointF(x(area.left()), y(area.top())), QPointF(x(area.right()), y(area.bottom())));
    };
    std::vector<Footprint> result;
    result.reserve(2 * kCursorCount + m_rects.used);
    const QRect plot = axisRect()->rect();
    for (const Cursor& c : m_cursors) {
        if (!c.line->visible()) {
            result.resize(result.size() + 2);
            continue;
        }
        const qreal x = c.line->point1->pixelPosition().x();
        const QPointF mark = c.marker->position->pixelPosition();
        const QPointF radius(kMarkerRadius, kMarkerRadius);
        result.push_back({held(QRectF(QPointF(x, plot.top()), QPointF(x, plot.bottom()))), false,
                          c.line->pen().color().rgba()});
        result.push_back({held(QRectF(mark - radius, mark + radius)), false, c.marker->pen().color().rgba(),
                          c.marker->brush().color().rgba()});
    }
    for (size_t i = 0; i < m_rects.used; ++i) {
        const QCPItemRect* item = m_rects.items[i];
        const QRectF area = QRectF(item->topLeft->pixelPosition(), item->bottomRight->pixelPosition()).normalized();
        result.push_back({held(area), true, item->pen().color().rgba(), item->brush().color().rgba()});
    }
    return result;
}

// Where the graph differs from what the last repaint drew: along the edges of a rectangle that
// moved, around any other plot object that came, went, moved or changed. Separate rectangles, so
// that two objects changing far apart do not redraw everything between them.
std::vector<QRect> KorvaGraph::changedAreas(const std::vector<Footprint>& now) const
{
    std::vector<QRect> areas;
    const size_t count = std::max(m_shown.size(), now.size());
    for (size_t i = 0; i < count; ++i) {
        const Footprint before = i < m_shown.size() ? m_shown[i] : Footprint{};
        const Footprint after = i < now.size() ? now[i] : Footprint{};
        if (before == after)
            continue;
        if (before.solid && after.solid && before.pen == after.pen && before.brush == after.brush) {
            AddMovedEdges(areas, before.area, after.area);
            continue;
        }
        for (const Footprint& f : {before, after})
            if (!f.area.isNull())
                areas.push_back(Around(f.area, kEdge));
    }
    const QRect plot = plotArea();
    for (QRect& area : areas)
        area &= plot;
    std::erase_if(areas, [](const QRect& area) { return area.isEmpty(); });
    return Joined(std::move(areas));
}

// Where plot objects show: inside the axes' frame lines, which lie on the first column and the last
// row of the axis rectangle and just outside its top and right side. Where plot objects and frame
// lines share device pixels, the area takes the frame lines in, and a partial redraw draws them
// again over the plot objects.
QRect KorvaGraph::plotArea() const
{
    const QRect frame = axisRect()->rect();
    return framesShareDevicePixels() ? frame.adjusted(0, -1, 1, 0) : frame.adjusted(1, 0, 0, -1);
}

// Above one device pixel a logical pixel, the frame lines reach into the device pixels along the
// plot area's edges.
bool KorvaGraph::framesShareDevicePixels() const
{
    return mBufferDevicePixelRatio != 1;
}

// A partial redraw keeps the layout of the last whole one: since then only plot objects changed.
void KorvaGraph::updateLayout()
{
    if (!m_drawingPart)
        QCustomPlot::updateLayout();
}

// The buffer can be redrawn in part when it is the only one, holds a whole drawing and has the
// widget's size.
bool KorvaGraph::canRedrawPart() const
{
    if (mPaintBuffers.size() != 1)
        return false;
    const QCPAbstractPaintBuffer* buffer = mPaintBuffers.first().data();
    return dynamic_cast<const RegionPaintBuffer*>(buffer) != nullptr && !buffer->invalidated() &&
           buffer->size() == viewport().size();
}

void KorvaGraph::copyBuffer(QPainter& painter, const QRegion& region) const
{
    static_cast<const RegionPaintBuffer&>(*mPaintBuffers.first()).draw(painter, region);
}

// Draws one part of the graph: all but the plot objects, or the plot objects alone (curves,
// rectangles, cursors), with the other part hidden for the moment. A grid belongs to its axis, so
// hiding the axes hides the grid too; the curves belong to the axis rectangle, which stays shown.
void KorvaGraph::drawPart(QCPPainter* painter, Part part)
{
    HiddenForNow hidden;
    if (part == Part::PlotObjects) {
        for (QCPAxis* axis : axisRect()->axes())
            hidden.hide(axis);
    } else {
        for (const Cursor& c : m_cursors) {
            hidden.hide(c.line);
            hidden.hide(c.marker);
        }
        for (size_t i = 0; i < m_rects.used; ++i)
            hidden.hide(m_rects.items[i]);
        for (size_t i = 0; i < m_curves.used; ++i)
            hidden.hide(m_curves.items[i]);
    }
    draw(painter);
}

// All but the plot objects does not change between two whole repaints: it is drawn once into a
// picture that a partial redraw copies before it draws the plot objects. The axes lie outside the
// plot area, which is all a partial redraw touches, so nothing needs drawing above the objects.
void KorvaGraph::drawStill()
{
    m_still = QPixmap(viewport().size() * mBufferDevicePixelRatio);
    m_still.setDevicePixelRatio(mBufferDevicePixelRatio);
    m_still.fill(mBackgroundBrush.color());
    QCPPainter painter(&m_still);
    m_drawingPart = true;
    drawPart(&painter, Part::Still);
    m_drawingPart = false;
}

// A whole repaint draws the axes above the plot objects. Where a partial redraw covers the frame lines
// (see plotArea), it draws them again after the plot objects, where the axes draw them.
void KorvaGraph::drawFrameLines(QCPPainter* painter) const
{
    const QRect r = axisRect()->rect();
    const QPointF bottomLeft = r.bottomLeft();
    const QPointF bottomRight = r.bottomRight();
    const QPointF topLeft = r.topLeft();
    painter->setAntialiasing(false);
    for (const QCPAxis* axis : axisRect()->axes()) {
        if (!axis->visible())
            continue;
        QLineF line;
        switch (axis->axisType()) {
        case QCPAxis::atLeft:
            line = QLineF(bottomLeft, bottomLeft - QPointF(0, r.height()));
            break;
        case QCPAxis::atRight:
            line = QLineF(bottomRight + QPointF(1, 0), bottomRight + QPointF(1, -r.height()));
            break;
        case QCPAxis::atTop:
            line = QLineF(topLeft + QPointF(0, -1), topLeft + QPointF(r.width(), -1));
            break;
        case QCPAxis::atBottom:
            line = QLineF(bottomLeft, bottomLeft + QPointF(r.width(), 0));
            break;
        }
        painter->setPen(axis->basePen());
        painter->drawLine(line);
    }
}

// Draws `area`, a part of the plot area, anew from the plot objects `now`. Those that do not reach
// it are left out: they would draw nothing there, at most of the cost.
void KorvaGraph::redrawPart(const QRect& area, const std::vector<Footprint>& now)
{
    HiddenForNow left;
    const auto leaveOut = [&](QCPLayerable* item, const Footprint& footprint) {
        if (!Around(footprint.area, kEdge).intersects(area))
            left.hide(item);
    };
    for (size_t i = 0; i < m_cursors.size(); ++i) {
        leaveOut(m_cursors[i].line, now[2 * i]);
        leaveOut(m_cursors[i].marker, now[2 * i + 1]);
    }
    for (size_t i = 0; i < m_rects.used; ++i)
        leaveOut(m_rects.items[i], now[2 * kCursorCount + i]);

    if (m_still.isNull())
        drawStill();
    m_drawingPart = true;
    static_cast<RegionPaintBuffer&>(*mPaintBuffers.first()).redraw(area, [this](QCPPainter* painter) {
        painter->drawPixmap(0, 0, m_still);
        drawPart(painter, Part::PlotObjects);
        if (framesShareDevicePixels())
            drawFrameLines(painter);
    });
    m_drawingPart = false;
    update(area);
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
    long count = 0;
    const int result = WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        count = graph.repaintCount();
        return 0;
    });
    return result < 0 ? result : count;
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

}  // namespace korva
