// The graph control: what it holds, what it draws, and how often it repaints.
#include "uitest.h"

#include <qcustomplot.h>

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

    // What the window shows of the graph is what a whole repaint draws. Scaled, the offscreen screen
    // grabs nothing; the graph's own picture of itself is what it holds to show.
    void compareWithWholeRepaint()
    {
        QCoreApplication::processEvents();
        const QPoint at = m_plot->mapTo(m_plot->window(), QPoint(0, 0));
        const WId window = m_plot->window()->winId();
        QImage shown = m_plot->screen()->grabWindow(window, at.x(), at.y(), m_plot->width(), m_plot->height()).toImage();
        if (shown.isNull())
            shown = m_plot->grab().toImage();
        shown.convertTo(QImage::Format_RGB32);
        m_plot->replot();
        QCOMPARE(shown, m_plot->grab().toImage().convertToFormat(QImage::Format_RGB32));
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

    // Redrawing only where the plot objects moved gives the picture that drawing it all anew gives.
    void partialRedrawMatchesWholeRepaint()
    {
        QCOMPARE(SetAxisScalingMode(m_panel, GRAPH, VAL_XAXIS, VAL_MANUAL, 0, 1024), 0);
        drawRecord(300);
        QTest::qWait(50);
        // A long move redraws one area; small moves far apart redraw separate ones. Either way the
        // window shows what a whole repaint draws.
        for (const auto& [position, windowStart] : {std::pair{700, 200}, std::pair{702, 40}}) {
            const long before = GetGraphRepaintCount(m_panel, GRAPH);
            drawRecord(position);
            SetGraphCursor(m_panel, GRAPH, 2, windowStart, 0.75);
            QTRY_VERIFY(GetGraphRepaintCount(m_panel, GRAPH) > before);
            compareWithWholeRepaint();
        }
        // New curves redraw the plot objects over the rest, which stays; this one runs along the frame.
        for (const double peak : {1.0, 0.4, 0.7}) {
            const long before = GetGraphRepaintCount(m_panel, GRAPH);
            const double x[4] = {0, 300, 700, 1024};
            const double y[4] = {0, peak, 0, 0};
            DeleteGraphPlot(m_panel, GRAPH, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW);
            PlotXY(m_panel, GRAPH, x, y, 4, 0x0000FF);
            QTRY_VERIFY(GetGraphRepaintCount(m_panel, GRAPH) > before);
            compareWithWholeRepaint();
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
