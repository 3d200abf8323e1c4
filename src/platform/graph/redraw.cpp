// The graph's partial redraw: how a KorvaGraph puts a change on the screen without a whole replot.
//
// Contract, for whoever changes this file or upgrades QCustomPlot:
// - All layers share one paint buffer, a RegionPaintBuffer (useRegionPaintBuffer), which keeps the
//   whole picture, opaque, at the widget's device pixel ratio. This reaches into QCustomPlot's
//   protected members: mPaintBuffers (the buffers it keeps), mBuffer (the buffer's pixmap),
//   mBufferDevicePixelRatio and mBackgroundBrush. A QCustomPlot whose paint buffers work otherwise
//   breaks it; the graph test compares partial redraws with whole replots pixel for pixel, over
//   many scenes and on a scaled screen, and fails then.
// - After each repaint the graph notes the footprint of every plot object it drew (noteRepaint).
//   At the next repaint, what moved or changed, and nothing else, is redrawn: the areas where the
//   footprints differ (changedAreas), joined where they lie close (Joined), each cleared in the
//   buffer and drawn anew with every layer, the objects that do not reach it hidden for the time
//   (redrawPart). The frame lines are drawn again last where they share device pixels with the plot.
// - A repaint that changes the axes, the layout, the size or the device pixel ratio, or that finds
//   the buffer invalid, is a whole replot (Redraw::Everything); so is one whose changed areas are
//   not worth drawing apart.
// - paintEvent copies the buffer to the window for the region Qt asks for; nothing is drawn there.
//   While an export dialog is open, the picture frozen for it is shown instead.
#include "graph.h"

#include <QPaintEngine>
#include <algorithm>
#include <cmath>
#include <memory>

#include "inspect.h"

namespace korva {

namespace {

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

// QCustomPlot keeps the paint buffers it has; the first, which all layers share here, is one that
// can redraw part of itself.
void KorvaGraph::useRegionPaintBuffer()
{
    mPaintBuffers.clear();
    mPaintBuffers.append(QSharedPointer<QCPAbstractPaintBuffer>(
        new RegionPaintBuffer(viewport().size(), mBufferDevicePixelRatio, mBackgroundBrush.color())));
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

void KorvaGraph::paintEvent(QPaintEvent* event)
{
    const QPixmap frozen = frozenPicture();
    if (!frozen.isNull()) {
        QPainter painter(this);
        painter.drawPixmap(rect(), frozen);
        return;
    }
    // The one opaque buffer is the whole picture: copied as it is, with no background beneath.
    if (canRedrawPart() && qFuzzyCompare(mBufferDevicePixelRatio, devicePixelRatioF())) {
        QPainter painter(this);
        copyBuffer(painter, event->region());
        return;
    }
    QCustomPlot::paintEvent(event);
}

}  // namespace korva
