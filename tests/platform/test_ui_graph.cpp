// The graph control: what it holds, what it draws, and how often it repaints.
#include "uitest.h"

#include <qcustomplot.h>

#include <array>
#include <cmath>
#include <functional>

using namespace korva;
using namespace korva::uitest;

namespace {

bool Near(QRgb actual, QRgb expected)
{
    const QColor a = QColor::fromRgb(actual);
    const QColor e = QColor::fromRgb(expected);
    return qAbs(a.red() - e.red()) < 24 && qAbs(a.green() - e.green()) < 24 && qAbs(a.blue() - e.blue()) < 24;
}

// The colour drawn at graph coordinates (x, y).
QRgb PixelAt(QCustomPlot* plot, double x, double y)
{
    const QImage image = plot->grab().toImage();
    const QPointF pixel(plot->xAxis->coordToPixel(x), plot->yAxis->coordToPixel(y));
    return image.pixel(pixel.toPoint() * image.devicePixelRatio());
}

// The most saturated colour within two pixels left and right of (x, y): where a thin line runs.
QRgb LineColorAt(QCustomPlot* plot, double x, double y)
{
    const QImage image = plot->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    const QPoint centre(qRound(plot->xAxis->coordToPixel(x) * ratio), qRound(plot->yAxis->coordToPixel(y) * ratio));
    QRgb strongest = image.pixel(centre);
    for (int dx = -2; dx <= 2; ++dx) {
        const QRgb candidate = image.pixel(centre + QPoint(dx, 0));
        if (QColor::fromRgb(candidate).saturation() > QColor::fromRgb(strongest).saturation())
            strongest = candidate;
    }
    return strongest;
}

// Where two pictures of the graph differ, in words; empty when they are the same to the pixel.
QString Difference(const QImage& shown, const QImage& whole)
{
    const qreal ratio = shown.devicePixelRatio();
    if (shown.size() != whole.size() || ratio != whole.devicePixelRatio())
        return QStringLiteral("the pictures differ in size: %1x%2 at %3 device pixels to a logical pixel shown, "
                              "%4x%5 at %6 drawn whole")
            .arg(shown.width())
            .arg(shown.height())
            .arg(ratio)
            .arg(whole.width())
            .arg(whole.height())
            .arg(whole.devicePixelRatio());
    const QImage a = shown.convertToFormat(QImage::Format_RGB32);
    const QImage b = whole.convertToFormat(QImage::Format_RGB32);
    if (a == b)
        return {};
    QPoint first(-1, -1);
    QRect around;
    long count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* lineA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* lineB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (lineA[x] == lineB[x])
                continue;
            if (count++ == 0)
                first = QPoint(x, y);
            around |= QRect(x, y, 1, 1);
        }
    }
    return QStringLiteral("first differing pixel at (%1, %2) of %3x%4 device pixels (%5 to a logical pixel): %6 "
                          "shown, %7 drawn whole; %8 pixels differ, within %9x%10 at (%11, %12)")
        .arg(first.x())
        .arg(first.y())
        .arg(a.width())
        .arg(a.height())
        .arg(ratio)
        .arg(QColor(a.pixel(first)).name(), QColor(b.pixel(first)).name())
        .arg(count)
        .arg(around.width())
        .arg(around.height())
        .arg(around.x())
        .arg(around.y());
}

}  // namespace

class TestUiGraph : public QObject {
    Q_OBJECT

    int m_panel = 0;
    QCustomPlot* m_plot = nullptr;

    // One evaluation picture, as the run draws it for every record.
    void drawRecord(double position)
    {
        DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW);
        SetGraphCursor(m_panel, GRAPH, 1, position, 0.75);
        SetGraphCursor(m_panel, GRAPH, 2, 200, 0.75);
        SetGraphCursor(m_panel, GRAPH, 3, 800, 0.75);
        PlotRectangle(m_panel, GRAPH, 0, 0.25, position - 50, 1.0, 0xFF0000, 0xFF0000);
        PlotRectangle(m_panel, GRAPH, position + 50, 0.25, 1024, 1.0, 0xFF0000, 0xFF0000);
        PlotRectangle(m_panel, GRAPH, 412, 0.0, 612, 0.25, 0x00FF00, 0x00FF00);
    }

    // The graph as the window shows it: the window's own picture, where an area redrawn in the graph
    // but never repainted on screen still shows what it was. Scaled, the offscreen screen grabs
    // nothing; the graph's own picture of itself is what it holds to show.
    QImage shownPicture() const
    {
        const QPoint at = m_plot->mapTo(m_plot->window(), QPoint(0, 0));
        const WId window = m_plot->window()->winId();
        QImage shown = m_plot->screen()->grabWindow(window, at.x(), at.y(), m_plot->width(), m_plot->height()).toImage();
        if (shown.isNull())
            shown = m_plot->grab().toImage();
        return shown;
    }

    // Resizes the panel's window, as the operator does, and waits until its layout has resized the
    // graph.
    void resizeWindow(int width, int height)
    {
        const QSize before = m_plot->size();
        PanelWidget(m_panel)->resize(width, height);
        const QString failure =
            QStringLiteral("the graph kept its size in a window resized to %1x%2").arg(width).arg(height);
        QVERIFY2(QTest::qWaitFor([&] { return m_plot->size() != before; }), qPrintable(failure));
    }

private slots:
    void initTestCase()
    {
        m_panel = ShowTestPanel();
        QVERIFY(m_panel > 0);
        m_plot = Ctrl<QCustomPlot>(m_panel, GRAPH);
    }

    void axisRangesAreFixed()
    {
        double min = 0, max = 0;
        QCOMPARE(SetAxisScalingMode(m_panel, GRAPH, VAL_XAXIS, VAL_MANUAL, 300, 556), 0);
        QCOMPARE(SetAxisScalingMode(m_panel, GRAPH, VAL_LEFT_YAXIS, VAL_MANUAL, 0, 1), 0);
        QCOMPARE(GetAxisRange(m_panel, GRAPH, VAL_XAXIS, &min, &max), 0);
        QCOMPARE(min, 300.0);
        QCOMPARE(max, 556.0);
        QCOMPARE(GetAxisRange(m_panel, GRAPH, VAL_LEFT_YAXIS, &min, &max), 0);
        QCOMPARE(max, 1.0);

        // Plotting outside the range does not move it.
        PlotRectangle(m_panel, GRAPH, -100, 0, 2000, 5, 0xA0A0A0, 0xA0A0A0);
        QCOMPARE(GetAxisRange(m_panel, GRAPH, VAL_XAXIS, &min, &max), 0);
        QCOMPARE(min, 300.0);
        QCOMPARE(max, 556.0);

        QCOMPARE(SetAxisScalingMode(m_panel, GRAPH, 7, VAL_MANUAL, 0, 1), int(UIE_BAD_ARGUMENT));
        QCOMPARE(SetAxisScalingMode(m_panel, GRAPH, VAL_XAXIS, 1, 0, 1), int(UIE_BAD_ARGUMENT));
        QCOMPARE(SetAxisScalingMode(m_panel, GRAPH, VAL_XAXIS, VAL_MANUAL, 5, 5), int(UIE_BAD_ARGUMENT));
        QCOMPARE(GetAxisRange(m_panel, GRAPH, 7, &min, &max), int(UIE_BAD_ARGUMENT));
        DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW);
    }

    void rectanglesCurvesAndCursorsReadBack()
    {
        QCOMPARE(SetAxisScalingMode(m_panel, GRAPH, VAL_XAXIS, VAL_MANUAL, 0, 1024), 0);
        QCOMPARE(SetAxisScalingMode(m_panel, GRAPH, VAL_LEFT_YAXIS, VAL_MANUAL, 0, 1), 0);
        QCOMPARE(DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW), 0);
        QVERIFY(PlotRectangle(m_panel, GRAPH, 0, 0.25, 300, 1.0, 0xFF0000, 0xFF0000) > 0);
        QVERIFY(PlotRectangle(m_panel, GRAPH, 612, 0.25, 412, 0.0, 0x00FF00, 0x00FF00) > 0);
        std::vector<GraphRect> rects;
        QCOMPARE(GetGraphRects(m_panel, GRAPH, &rects), 0);
        QCOMPARE(rects.size(), size_t(2));
        QCOMPARE(rects[0].x2, 300.0);
        QCOMPARE(rects[0].fillColor, 0xFF0000);
        QCOMPARE(rects[1].x1, 612.0);
        QCOMPARE(rects[1].y2, 0.0);
        QCOMPARE(rects[1].frameColor, 0x00FF00);

        const uint16_t x[4] = {0, 4, 8, 1020};
        const uint16_t y[4] = {0, 1023, 512, 65535};
        QVERIFY(PlotXY(m_panel, GRAPH, x, y, 4, PLOT_STYLE_CONNECTED_POINTS, POINT_STYLE_SMALL_DOT, LINE_STYLE_SOLID, 1,
                       0x008000) > 0);
        std::vector<GraphCurve> curves;
        QCOMPARE(GetGraphCurves(m_panel, GRAPH, &curves), 0);
        QCOMPARE(curves.size(), size_t(1));
        QCOMPARE(curves[0].x, (std::vector<double>{0, 4, 8, 1020}));
        QCOMPARE(curves[0].y, (std::vector<double>{0, 1023, 512, 65535}));
        QCOMPARE(curves[0].color, 0x008000);
        QCOMPARE(PlotXY(m_panel, GRAPH, x, y, 4, 1, POINT_STYLE_SMALL_DOT, LINE_STYLE_SOLID, 1, 0),
                 int(UIE_BAD_ARGUMENT));
        QCOMPARE(PlotXY(m_panel, GRAPH, x, y, 0, PLOT_STYLE_CONNECTED_POINTS, POINT_STYLE_SMALL_DOT, LINE_STYLE_SOLID,
                        1, 0),
                 int(UIE_BAD_ARGUMENT));

        double cx = 0, cy = 0;
        QCOMPARE(SetGraphCursor(m_panel, GRAPH, 2, 200, 1.0), 0);
        QCOMPARE(GetGraphCursor(m_panel, GRAPH, 2, &cx, &cy), 0);
        QCOMPARE(cx, 200.0);
        QCOMPARE(cy, 1.0);
        QCOMPARE(SetGraphCursor(m_panel, GRAPH, 0, 1, 1), int(UIE_BAD_ARGUMENT));
        QCOMPARE(SetGraphCursor(m_panel, GRAPH, 4, 1, 1), int(UIE_BAD_ARGUMENT));

        // Deleting all plots keeps the cursors; only plots added afterwards are there.
        QCOMPARE(DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW), 0);
        QCOMPARE(GetGraphRects(m_panel, GRAPH, &rects), 0);
        QCOMPARE(GetGraphCurves(m_panel, GRAPH, &curves), 0);
        QVERIFY(rects.empty());
        QVERIFY(curves.empty());
        QCOMPARE(GetGraphCursor(m_panel, GRAPH, 2, &cx, &cy), 0);
        QCOMPARE(cx, 200.0);
        PlotRectangle(m_panel, GRAPH, 0, 0.0, 1023, 1.0, 0xA0A0A0, 0xA0A0A0);
        QCOMPARE(GetGraphRects(m_panel, GRAPH, &rects), 0);
        QCOMPARE(rects.size(), size_t(1));
        QCOMPARE(rects[0].fillColor, 0xA0A0A0);
        QCOMPARE(DeleteGraphPlot(m_panel, GRAPH, 1, VAL_DELAYED_DRAW), int(UIE_BAD_ARGUMENT));
    }

    // What the operator sees: solid rectangles, cursors as lines through the whole plot.
    void drawingShowsRectanglesAndCursors()
    {
        QCOMPARE(SetAxisScalingMode(m_panel, GRAPH, VAL_XAXIS, VAL_MANUAL, 0, 1024), 0);
        drawRecord(512);
        SetGraphCursor(m_panel, GRAPH, 1, 700, 0.75);
        QTest::qWait(3 * 16);
        QVERIFY(Near(PixelAt(m_plot, 100, 0.5), qRgb(0xFF, 0, 0)));      // left edge bar
        QVERIFY(Near(PixelAt(m_plot, 500, 0.1), qRgb(0, 0xFF, 0)));      // tolerance band
        QVERIFY(Near(PixelAt(m_plot, 512, 0.5), qRgb(0xFF, 0xFF, 0xFF)));  // between the bars
        // A bar ends where its coordinate lies, to the pixel (this one at 462).
        const double pixel = 1024.0 / m_plot->xAxis->axisRect()->width();
        QVERIFY(Near(PixelAt(m_plot, 462 - 1.5 * pixel, 0.5), qRgb(0xFF, 0, 0)));
        QVERIFY(Near(PixelAt(m_plot, 462 + 1.5 * pixel, 0.5), qRgb(0xFF, 0xFF, 0xFF)));
        // Cursor lines reach down into the band strip: amber for the position, blue for the window.
        const QRgb cursor1 = LineColorAt(m_plot, 700, 0.1);
        const QRgb cursor2 = LineColorAt(m_plot, 200, 0.1);
        QVERIFY(qRed(cursor1) > qBlue(cursor1) + 60);
        QVERIFY(qBlue(cursor2) > qRed(cursor2) + 60);

        // A frame of another colour than the fill shows around it.
        PlotRectangle(m_panel, GRAPH, 600, 0.3, 900, 0.9, 0x0000FF, 0xFFFF00);
        QTest::qWait(3 * 16);
        QVERIFY(Near(PixelAt(m_plot, 750, 0.6), qRgb(0xFF, 0xFF, 0)));
        QVERIFY(Near(LineColorAt(m_plot, 900, 0.6), qRgb(0, 0, 0xFF)));
    }

    // Redrawing only where the plot objects changed gives the picture that drawing it all anew gives:
    // step by step, the graph is changed as the program changes it, and what the window shows after
    // the graph's own repaint is compared pixel for pixel with what a whole replot draws.
    void partialRedrawMatchesWholeRepaint()
    {
        const auto bar = [&](double x1, double y1, double x2, double y2, int color) {
            PlotRectangle(m_panel, GRAPH, x1, y1, x2, y2, color, color);
        };
        const auto axes = [&](double xMin, double xMax, double yMin, double yMax) {
            SetAxisScalingMode(m_panel, GRAPH, VAL_XAXIS, VAL_MANUAL, xMin, xMax);
            SetAxisScalingMode(m_panel, GRAPH, VAL_LEFT_YAXIS, VAL_MANUAL, yMin, yMax);
        };
        // A pass of the video curve, 256 points with a dot on every eighth, and its threshold line.
        const auto videoPass = [&](int pass) {
            std::array<uint16_t, 256> x{}, y{};
            for (size_t i = 0; i < x.size(); ++i) {
                x[i] = static_cast<uint16_t>(4 * i);
                const double edge = 1.0 / (1.0 + std::exp((x[i] - 380.0 - 90.0 * pass) / 12.0));
                y[i] = static_cast<uint16_t>(80 + 900 * edge + 15 * ((i * 7 + pass) % 5));
            }
            DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW);
            PlotXY(m_panel, GRAPH, x.data(), y.data(), x.size(), PLOT_STYLE_CONNECTED_POINTS, POINT_STYLE_SMALL_DOT,
                   LINE_STYLE_SOLID, 8, 0x008000);
            const double tx[2] = {0, 1024};
            const double ty[2] = {520.0 + 40 * pass, 520.0 + 40 * pass};
            PlotXY(m_panel, GRAPH, tx, ty, 2, 0xFF00FF);
        };
        const auto tenBars = [&](int k) {
            DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW);
            for (int i = 0; i < 10; ++i)
                bar(40 + 98.3 * i, 0, 80 + 98.3 * i, 0.08 * ((i + 3 * k) % 10 + 1), 0x3060C0 + 0x10 * i);
        };

        struct Step {
            const char* what;
            std::function<void(int)> change;  // makes the step's change number 0, 1, ...
            int updates = 1;                  // how many changes, each repainted before the next
        };
        const std::vector<Step> steps{
            {"axes 0-1024 and 0-1, a record with its edge at 300",
             [&](int) {
                 axes(0, 1024, 0, 1);
                 drawRecord(300);
             }},
            {"a record with its edge far away: one long move",
             [&](int) {
                 drawRecord(700);
                 SetGraphCursor(m_panel, GRAPH, 2, 200, 0.75);
             }},
            {"small moves far apart: separate areas",
             [&](int) {
                 drawRecord(702);
                 SetGraphCursor(m_panel, GRAPH, 2, 40, 0.75);
             }},
            {"the edge moved by less than a pixel", [&](int) { drawRecord(702.4); }},
            {"records in a row, each repainted over the same picture of the axes",
             [&](int k) { drawRecord(400 + 37.3 * k); }, 5},
            {"cursor 1 on the left frame", [&](int) { SetGraphCursor(m_panel, GRAPH, 1, 0, 0.75); }},
            {"cursor 1 on the right frame", [&](int) { SetGraphCursor(m_panel, GRAPH, 1, 1024, 0.75); }},
            {"cursor 3's marker on the top frame", [&](int) { SetGraphCursor(m_panel, GRAPH, 3, 800, 1.0); }},
            {"cursor 3's marker on the bottom frame", [&](int) { SetGraphCursor(m_panel, GRAPH, 3, 806, 0.0); }},
            {"cursor 2 beyond the range", [&](int) { SetGraphCursor(m_panel, GRAPH, 2, -80, 0.5); }},
            {"cursor 2 back, its marker above the range", [&](int) { SetGraphCursor(m_panel, GRAPH, 2, 150, 1.3); }},
            {"a bar over the whole plot and beyond", [&](int) { bar(-100, -0.5, 2000, 2.0, 0xA0A0A0); }},
            {"all plots deleted, delayed draw",
             [&](int) { DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW); }},
            {"a bar framed in another colour",
             [&](int) { PlotRectangle(m_panel, GRAPH, 600, 0.3, 900, 0.9, 0x0000FF, 0xFFFF00); }},
            {"the framed bar's right and bottom edges moved",
             [&](int) {
                 DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW);
                 PlotRectangle(m_panel, GRAPH, 600, 0.35, 871.5, 0.9, 0x0000FF, 0xFFFF00);
             }},
            {"ten narrow bars", [&](int) { tenBars(0); }},
            {"the ten bars change their heights", [&](int k) { tenBars(k + 1); }, 4},
            {"four bars, immediate draw",
             [&](int) {
                 DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_IMMEDIATE_DRAW);
                 for (int i = 0; i < 4; ++i)
                     bar(100 + 230 * i, 0.1 * i, 190 + 230 * i, 1.0, 0xFF0000);
             }},
            {"all plots deleted, immediate draw",
             [&](int) { DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_IMMEDIATE_DRAW); }},
            {"y axis 0-1100 for the video curve", [&](int) { axes(0, 1024, 0, 1100); }},
            {"the video curve and its threshold", [&](int) { videoPass(0); }},
            {"the next passes replace the curves", videoPass, 3},
            {"cursor 1 moved across the curves", [&](int) { SetGraphCursor(m_panel, GRAPH, 1, 333, 500); }},
            {"bars added under the curves",
             [&](int) {
                 bar(300, 0, 420, 700, 0xFF0000);
                 bar(700, 0, 760, 300, 0x00C000);
             }},
            {"a bar moved beneath the curves",
             [&](int) {
                 videoPass(2);
                 bar(310, 0, 450, 650, 0xFF0000);
                 bar(700, 0, 760, 300, 0x00C000);
             }},
            {"the curves deleted", [&](int) { DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW); }},
            {"y axis 0-1, a line along the bottom frame up to the top one",
             [&](int k) {
                 if (k == 0)
                     axes(0, 1024, 0, 1);
                 const double x[4] = {0, 300, 700, 1024};
                 const double y[4] = {0, std::array{1.0, 0.4, 0.7}[k], 0, 0};
                 DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW);
                 PlotXY(m_panel, GRAPH, x, y, 4, 0x0000FF);
             },
             3},
            {"x axis zoomed to 300-556 with a record",
             [&](int) {
                 drawRecord(450);
                 axes(300, 556, 0, 1);
             }},
            {"records in the zoomed range", [&](int k) { drawRecord(460 + 11.7 * k); }, 3},
            {"y axis -0.5 to 1.5", [&](int) { axes(300, 556, -0.5, 1.5); }},
            {"the same ranges again and a cursor moved",
             [&](int) {
                 axes(300, 556, -0.5, 1.5);
                 SetGraphCursor(m_panel, GRAPH, 3, 500, 1.2);
             }},
            {"axes 0-1024 and 0-1 again", [&](int) { axes(0, 1024, 0, 1); }},
            {"the window wider", [&](int) { resizeWindow(1000, 900); }},
            {"records on the wider graph", [&](int k) { drawRecord(600 - 53.1 * k); }, 3},
            {"the window taller, to an odd size", [&](int) { resizeWindow(1003, 1011); }},
            {"records on the odd-sized graph", [&](int k) { drawRecord(350 + 77.7 * k); }, 3},
            {"a record, and a resize before its repaint",
             [&](int) {
                 drawRecord(250);
                 resizeWindow(901, 957);
             }},
            {"cursors moved after the resize",
             [&](int) {
                 SetGraphCursor(m_panel, GRAPH, 2, 100, 0.75);
                 SetGraphCursor(m_panel, GRAPH, 3, 1000, 0.75);
             }},
            {"the window back to its size", [&](int) { resizeWindow(800, 900); }},
            {"a last record", [&](int) { drawRecord(512); }},
        };

        for (size_t i = 0; i < steps.size(); ++i) {
            const QString step = QStringLiteral("step %1 (%2)").arg(i + 1).arg(QLatin1String(steps[i].what));
            for (int update = 0; update < steps[i].updates; ++update) {
                const long before = GetGraphRepaintCount(m_panel, GRAPH);
                steps[i].change(update);
                if (QTest::currentTestFailed())
                    return;
                QVERIFY2(QTest::qWaitFor([&] { return GetGraphRepaintCount(m_panel, GRAPH) > before; }),
                         qPrintable(step + QStringLiteral(": the graph was not repainted")));
            }
            Deliver();
            const QImage shown = shownPicture();
            m_plot->replot();
            const QString difference = Difference(shown, m_plot->grab().toImage());
            QVERIFY2(difference.isEmpty(), qPrintable(step + QStringLiteral(": ") + difference));
        }
    }

    // However fast the graph is redrawn, it repaints at most about 60 times a second.
    void repaintsArePaced()
    {
        const long before = GetGraphRepaintCount(m_panel, GRAPH);
        QElapsedTimer clock;
        clock.start();
        int updates = 0;
        while (updates < 5000 || clock.elapsed() < 500) {
            if (updates < 5000)
                drawRecord(100 + updates % 800);
            ++updates;
            QCoreApplication::processEvents();
        }
        QTest::qWait(50);
        const long repaints = GetGraphRepaintCount(m_panel, GRAPH) - before;
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(repaints >= 1, "the graph was never repainted");
        const QString counts = QStringLiteral("%1 repaints in %2 ms").arg(repaints).arg(elapsed);
        QVERIFY2(repaints <= elapsed / 16 + 4, qPrintable(counts));
        QVERIFY(repaints * 20 < 5000);
    }

    void immediateDrawRepaintsAtTheNextEventProcessing()
    {
        QTest::qWait(50);
        const long before = GetGraphRepaintCount(m_panel, GRAPH);
        QCOMPARE(DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_IMMEDIATE_DRAW), 0);
        QCOMPARE(GetGraphRepaintCount(m_panel, GRAPH), before);
        QCoreApplication::processEvents();
        QCOMPARE(GetGraphRepaintCount(m_panel, GRAPH), before + 1);

        // A delayed draw comes with the pace, not before.
        SetGraphCursor(m_panel, GRAPH, 1, 10, 0.75);
        QCoreApplication::processEvents();
        QCOMPARE(GetGraphRepaintCount(m_panel, GRAPH), before + 1);
        QTRY_COMPARE_WITH_TIMEOUT(GetGraphRepaintCount(m_panel, GRAPH), before + 2, 500);
    }
};

QTEST_MAIN(TestUiGraph)
#include "test_ui_graph.moc"
