// Panel binding, the parameter file and the drawings on the two graphs, checked on the real
// panels and graphs.
#include "support/FileDialog.h"
#include "support/PaintCounter.h"
#include "support/Program.h"
#include "support/SmallDisk.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>

#include <vector>

using namespace korva;
using namespace korva::test;

namespace {

constexpr int GREEN = 0x00FF00;
constexpr int RED = 0xFF0000;
constexpr int GREY = 0xA0A0A0;

std::vector<GraphRect> Rects(int graph = PANEL_GRAPHRAW)
{
    std::vector<GraphRect> rects;
    GetGraphRects(panelHandle, graph, &rects);
    return rects;
}

std::pair<double, double> Range(int graph, int axis = VAL_XAXIS)
{
    double lo = 0, hi = 0;
    GetAxisRange(panelHandle, graph, axis, &lo, &hi);
    return {lo, hi};
}

std::pair<double, double> Cursor(int n)
{
    double x = 0, y = 0;
    GetGraphCursor(panelHandle, PANEL_GRAPHRAW, n, &x, &y);
    return {x, y};
}

std::pair<double, double> Span(const GraphRect& r)
{
    return {std::min(r.x1, r.x2), std::max(r.x1, r.x2)};
}

std::vector<std::pair<double, double>> SpansOf(int color)
{
    std::vector<std::pair<double, double>> spans;
    for (const GraphRect& r : Rects())
        if (r.fillColor == color)
            spans.push_back(Span(r));
    return spans;
}

using Spans = std::vector<std::pair<double, double>>;

// A measurement record in pp: edges, display value, teach value, inputs, pix1, edge count, start/end.
void Record(uint16_t e1, uint16_t e2, uint16_t teach = 512, uint16_t in = 0, uint16_t window = 0,
            uint16_t edges = 2, uint16_t start = 0, uint16_t end = 0)
{
    const uint16_t words[PNUM] = {e1, e2, 77, teach, in, window, edges, start, end};
    std::copy(std::begin(words), std::end(words), pp);
}

std::string ReadAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll().toStdString();
}

void WriteAll(const QString& path, const std::string& text)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text.data(), static_cast<qint64>(text.size()));
}

// Get with the file target, the dialog answered with `path` ("" cancels it); returns once the
// panels show what came of it.
std::shared_ptr<DialogSeen> GetFromFile(const QString& path)
{
    auto seen = AnswerFileDialog(path.toStdString());
    target = DATFILE;
    RunCallback(CC_BTNGet, panelHandle, PANEL_BTNGET, EVENT_COMMIT);
    target = RAM;
    ProcessUntil([&] { return seen->answered; });
    return seen;
}

}  // namespace

class TestGui : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    void ResetParameters()
    {
        SetParameterStartValues();
        SetPanelValues();
    }

private slots:
    void initTestCase() { QVERIFY(StartProgram()); }

    // korva-tb refuses values outside the panels' ranges: the table it checks against
    // (PARAMETER_MAX) is the panels' controls, a ring's last item, a switch's 1.
    void parameterRangesAreThePanels()
    {
        const struct {
            int index, panel, control;
        } controls[] = {{0, panelHandle, PANEL_SLIDEPOWER},       {1, panelHandle, PANEL_RINGPOWERMODE},
                        {2, panelHandle, PANEL_NEDITVIDEOTHRESHOLD}, {3, panelPopUp, POPUP_BACKGROUNDVALUE},
                        {4, panelHandle, PANEL_RINGPOLARITY},      {5, panelHandle, PANEL_DROPDEVALMODE},
                        {6, panelHandle, PANEL_NEDITEDGELEFT},     {7, panelHandle, PANEL_NEDITEDGERIGHT},
                        {8, panelPopUp, POPUP_NEDITTEACH},         {9, panelPopUp, POPUP_NEDITTOLERANCE},
                        {10, panelPopUp, POPUP_BINSWITCHVGAIN},    {11, panelPopUp, POPUP_BINSWENABLETOL},
                        {12, panelPopUp, POPUP_RINGCCDMODE},       {13, panelPopUp, POPUP_NSLIDEPIXELSTART},
                        {14, panelPopUp, POPUP_RINGCCDBGMODE}};
        for (const auto& c : controls) {
            const QWidget* widget = CtrlWidget(c.panel, c.control);
            int top = 1;
            if (const auto* ring = qobject_cast<const QComboBox*>(widget))
                top = ring->count() - 1;
            else if (widget->property("maximum").isValid())
                top = widget->property("maximum").toInt();
            QVERIFY2(top == PARAMETER_MAX[c.index], PARAMETER_NAMES[c.index]);
        }
    }

    void init()
    {
        ResetParameters();
        StoreStatus("InitVars");
    }

    // ---- start-up --------------------------------------------------------------------------------

    void startUpDrawing()
    {
        // StartProgram ran InitVars; init() has since drawn a read-back, so look at a fresh start-up.
        DrawStartUp();
        QCOMPARE(Cursor(1), std::make_pair(512.0, 1.0));
        QCOMPARE(Cursor(2), std::make_pair(200.0, 1.0));
        QCOMPARE(Cursor(3), std::make_pair(800.0, 1.0));
        QCOMPARE(SpansOf(GREEN), (Spans{{412, 612}}));
        QCOMPARE(Rects().front().y1 + Rects().front().y2, 0.25);
        QCOMPARE(xArray[0], uint16_t{0});
        QCOMPARE(xArray[255], uint16_t{1020});
        QCOMPARE(thdArray[100], vThd);

        tTol = 600;  // a band start below 0 is drawn from there
        DrawStartUp();
        QCOMPARE(SpansOf(GREEN), (Spans{{-88, 1112}}));
    }

    // ---- panel binding ---------------------------------------------------------------------------

    void rangeReplacementOnTheWayToThePanels()
    {
        tTol = 600;
        eMode = 9;
        eBeg = 1024;
        eEnd = 1025;
        pStart = 1023;
        para15 = 2000;
        ccdMode = 7;
        pp[9] = 600;
        SetPanelValues();
        QCOMPARE(tTol, uint16_t{128});
        QCOMPARE(Value(panelPopUp, POPUP_NEDITTOLERANCE), 128);
        QCOMPARE(Value(panelHandle, PANEL_NUMTOLERANCE), 128);
        QCOMPARE(pp[9], uint16_t{600});
        QCOMPARE(eMode, uint16_t{4});
        QCOMPARE(Value(panelHandle, PANEL_DROPDEVALMODE), 4);
        QCOMPARE(eBeg, uint16_t{1024});
        QCOMPARE(eEnd, uint16_t{800});
        QCOMPARE(Value(panelPopUp, POPUP_NUMPIXELEND), 1278);
        QCOMPARE(para15, uint16_t{0});
        QCOMPARE(ccdMode, uint16_t{7});
        QCOMPARE(Value(panelPopUp, POPUP_RINGCCDMODE), 7);

        pStart = 1024;
        eMode = 4;
        SetPanelValues();
        QCOMPARE(pStart, uint16_t{1});
        QCOMPARE(Value(panelPopUp, POPUP_NUMPIXELEND), 256);
        QCOMPARE(eMode, uint16_t{4});
    }

    void backgroundControlsAreOnlyEverEnabled()
    {
        SetCtrlAttribute(panelPopUp, POPUP_BACKGROUNDVALUE, ATTR_DIMMED, 1);
        bMode = 1;
        SetPanelValues();
        QVERIFY(!Dimmed(panelPopUp, POPUP_BACKGROUNDVALUE));
        bMode = 0;
        SetPanelValues();
        QVERIFY(!Dimmed(panelPopUp, POPUP_BACKGROUNDVALUE));
        SetCtrlAttribute(panelPopUp, POPUP_BACKGROUNDVALUE, ATTR_DIMMED, 1);
    }

    void panelValuesAreReadWithThePopUpHidden()
    {
        HidePanel(panelPopUp);
        SetCtrlVal(panelPopUp, POPUP_NEDITTEACH, 333);
        SetCtrlVal(panelPopUp, POPUP_RINGCCDBGMODE, 2);
        SetCtrlVal(panelHandle, PANEL_NEDITEDGELEFT, 250);
        GetPanelValues();
        QCOMPARE(tVal, uint16_t{333});
        QCOMPARE(bMode, uint16_t{2});
        QCOMPARE(eBeg, uint16_t{250});
        QCOMPARE(para15, uint16_t{0});
    }

    void readBackDrawing()
    {
        DrawStartUp();
        eBeg = 300;
        tVal = 600;
        vThd = 700;
        ccdMode = 1;
        pStart = 100;
        SetPanelValues();
        const auto rects = Rects();
        QCOMPARE(rects.size(), size_t{2});  // the start-up band, then the window bar above it
        QCOMPARE(rects.back().fillColor, GREY);
        QCOMPARE(Span(rects.back()), std::make_pair(100.0, 355.0));
        QCOMPARE(Cursor(2), std::make_pair(200.0, 1.0));  // no cursor moves
        QCOMPARE(Cursor(1), std::make_pair(512.0, 1.0));
        QCOMPARE(thdArray[0], uint16_t{700});
        std::vector<GraphCurve> curves;
        GetGraphCurves(panelHandle, PANEL_GRAPHDATA, &curves);
        QCOMPARE(curves.size(), size_t{2});
        QCOMPARE(curves[1].y.front(), 700.0);

        ccdMode = 0;
        SetPanelValues();
        QCOMPARE(Span(Rects().back()), std::make_pair(0.0, 1023.0));
    }

    // ---- raw-value plot --------------------------------------------------------------------------

    void evaluatedPositionAndWindow_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("ccd");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("edge1");
        QTest::addColumn<int>("edge2");
        QTest::addColumn<double>("first");
        QTest::addColumn<double>("last");
        QTest::addColumn<double>("cursor");
        QTest::newRow("mean rounds down") << 2 << 0 << 1 << 101 << 102 << 0.0 << 1024.0 << 101.0;
        QTest::newRow("no first edge") << 2 << 0 << 1 << 0 << 102 << 0.0 << 1024.0 << 1.0;
        QTest::newRow("odd mode means mean") << 3 << 0 << 1 << 100 << 300 << 0.0 << 1024.0 << 200.0;
        QTest::newRow("window from pixel start") << 0 << 1 << 300 << 120 << 900 << 300.0 << 556.0 << 300.0;
        QTest::newRow("window start limited") << 1 << 1 << 1000 << 10 << 1020 << 768.0 << 1024.0 << 1020.0;
        QTest::newRow("window from sensor") << 1 << 2 << 1 << 10 << 600 << 500.0 << 756.0 << 600.0;
        QTest::newRow("position above window") << 1 << 2 << 1 << 10 << 900 << 500.0 << 756.0 << 756.0;
    }

    void evaluatedPositionAndWindow()
    {
        QFETCH(int, mode);
        QFETCH(int, ccd);
        QFETCH(int, start);
        QFETCH(int, edge1);
        QFETCH(int, edge2);
        QFETCH(double, first);
        QFETCH(double, last);
        QFETCH(double, cursor);
        eMode = static_cast<uint16_t>(mode);
        ccdMode = static_cast<uint16_t>(ccd);
        pStart = static_cast<uint16_t>(start);
        Record(static_cast<uint16_t>(edge1), static_cast<uint16_t>(edge2), 512, 0, 500);
        PlotRAWValues();
        QCOMPARE(Range(PANEL_GRAPHRAW), std::make_pair(first, last));
        QCOMPARE(Cursor(1), std::make_pair(cursor, 0.75));
    }

    void recordWordsReachDisplaysAndVariables()
    {
        SetGraphCursor(panelHandle, PANEL_GRAPHRAW, 2, 5, 1.0);
        ccdMode = 1;
        Record(110, 220, 630, 3, 40, 2, 1, 0);
        PlotRAWValues();
        QCOMPARE(Value(panelHandle, PANEL_NUMEDGE1), 110);
        QCOMPARE(Value(panelHandle, PANEL_NUMEDGE2), 220);
        QCOMPARE(Value(panelHandle, PANEL_NUMVALUE), 77);
        QCOMPARE(Value(panelHandle, PANEL_NUMTEACH), 630);
        QCOMPARE(tVal, uint16_t{630});
        QCOMPARE(pix1, uint16_t{40});
        QCOMPARE(Cursor(2), std::make_pair(5.0, 1.0));  // window modes leave the edge cursors alone

        ccdMode = 0;
        PlotRAWValues();
        QCOMPARE(Cursor(2), std::make_pair(200.0, 0.75));
        QCOMPARE(Cursor(3), std::make_pair(800.0, 0.75));
    }

    // A display draws its number itself, pixel for pixel as its text field would, lit and dimmed; the
    // spin box takes the value when the mouse comes to the field.
    void displaysDrawTheirNumberAsTheTextFieldWould()
    {
        auto* display = qobject_cast<QSpinBox*>(Control(panelHandle, PANEL_NUMVALUE));
        QSpinBox reference(display->parentWidget());
        reference.setReadOnly(true);
        reference.setButtonSymbols(display->buttonSymbols());
        reference.setAlignment(display->alignment());
        reference.setMaximum(display->maximum());
        reference.setGeometry(display->geometry());
        reference.show();
        auto* field = display->findChild<QLineEdit*>();
        auto* referenceField = reference.findChild<QLineEdit*>();
        referenceField->setAutoFillBackground(true);
        for (const int dimmed : {1, 0}) {
            SetCtrlAttribute(panelHandle, PANEL_NUMVALUE, ATTR_DIMMED, dimmed);
            reference.setEnabled(dimmed == 0);
            for (const int value : {0, 7, 512, 1023, 4689, 65535}) {
                SetCtrlVal(panelHandle, PANEL_NUMVALUE, value);
                reference.setValue(value);
                QCOMPARE(field->grab().toImage(), referenceField->grab().toImage());
            }
        }
        SetCtrlVal(panelHandle, PANEL_NUMVALUE, 345);
        field->grab();
        QCOMPARE_NE(display->value(), 345);  // drawn, not yet taken
        QTest::mousePress(field, Qt::LeftButton);
        QCOMPARE(display->value(), 345);
    }

    // The statistics line keeps its size whatever it says, repaints itself alone, looks as a label
    // on its group box would, and its text can still be selected.
    void statisticsLineKeepsItsSizeAndCanBeSelected()
    {
        auto* line = qobject_cast<QLabel*>(Control(panelHandle, PANEL_STATS));
        line->window()->show();
        line->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(line->window()));
        QVERIFY(line->autoFillBackground());
        const QImage shown = line->window()->grab().toImage();
        line->setAutoFillBackground(false);
        QCOMPARE(line->window()->grab().toImage(), shown);
        line->setAutoFillBackground(true);

        const QSize hint = line->sizeHint();
        PaintCounter beneath(line->parentWidget());
        PaintCounter own(line);
        SetCtrlVal(panelHandle, PANEL_STATS, "records 123456789 · 26.7/s · time-outs 12345 · value min 0 max 65535");
        QTRY_VERIFY(own.count > 0);
        QCOMPARE(beneath.count, 0);
        QCOMPARE(line->sizeHint(), hint);
        const auto selectable = [line] { return line->textInteractionFlags().testFlag(Qt::TextSelectableByMouse); };
        QVERIFY(!selectable());  // drawn as plain text

        const QPoint from(2, line->height() / 2);
        QTest::mousePress(line, Qt::LeftButton, {}, from);
        QTest::mouseMove(line, from + QPoint(60, 0));
        QTest::mouseRelease(line, Qt::LeftButton, {}, from + QPoint(60, 0));
        QVERIFY(line->hasSelectedText());
        QVERIFY(QString::fromStdString(Text(panelHandle, PANEL_STATS)).startsWith(line->selectedText()));
        Control(panelHandle, PANEL_NUMVALUE)->setFocus(Qt::OtherFocusReason);
        QVERIFY(!selectable());
    }

    void inputLamps_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("lamp1");
        QTest::addColumn<int>("lamp2");
        QTest::newRow("0") << 0 << 0 << 0;
        QTest::newRow("1") << 1 << 1 << 0;
        QTest::newRow("2") << 2 << 0 << 1;
        QTest::newRow("3") << 3 << 1 << 1;
        QTest::newRow("5") << 5 << 0 << 0;
    }

    void inputLamps()
    {
        QFETCH(int, state);
        QFETCH(int, lamp1);
        QFETCH(int, lamp2);
        Record(100, 200, 512, static_cast<uint16_t>(state));
        PlotRAWValues();
        QCOMPARE(Value(panelHandle, PANEL_LEDINPUT1), lamp1);
        QCOMPARE(Value(panelHandle, PANEL_LEDINPUT2), lamp2);
    }

    void edgeBars_data()
    {
        QTest::addColumn<int>("edges");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<Spans>("bars");
        QTest::newRow("one edge, object right") << 1 << 0 << 1 << Spans{{300, 1024}};
        QTest::newRow("one edge, equal words") << 1 << 1 << 1 << Spans{{0, 300}};
        QTest::newRow("no edge: two bars") << 0 << 0 << 0 << Spans{{0, 300}, {700, 1024}};
        QTest::newRow("two edges") << 2 << 0 << 0 << Spans{{0, 300}, {700, 1024}};
    }

    void edgeBars()
    {
        QFETCH(int, edges);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(Spans, bars);
        Record(300, 700, 512, 0, 0, static_cast<uint16_t>(edges), static_cast<uint16_t>(start),
               static_cast<uint16_t>(end));
        PlotRAWValues();
        QCOMPARE(SpansOf(RED), bars);
        for (const GraphRect& r : Rects())
            if (r.fillColor == RED)
                QCOMPARE(std::make_pair(std::min(r.y1, r.y2), std::max(r.y1, r.y2)), std::make_pair(0.25, 1.0));
    }

    void toleranceBands_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("teach");
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<int>("edge1");
        QTest::addColumn<int>("edge2");
        QTest::addColumn<Spans>("bands");
        QTest::newRow("start below 0 becomes 1") << 0 << 50 << 100 << 10 << 20 << Spans{{1, 150}};
        QTest::newRow("start 0 stays") << 0 << 50 << 50 << 10 << 20 << Spans{{0, 100}};
        QTest::newRow("end above 1023") << 1 << 1000 << 100 << 10 << 20 << Spans{{900, 1024}};
        QTest::newRow("width mode") << 2 << 200 << 20 << 500 << 524 << Spans{{402, 422}, {602, 622}};
        QTest::newRow("width mode, odd values") << 2 << 201 << 21 << 500 << 524 << Spans{{402, 422}, {602, 622}};
        QTest::newRow("width mode, right unlimited") << 2 << 400 << 100 << 1000 << 1010 << Spans{{755, 855}, {1155, 1255}};
        QTest::newRow("width mode, left limited") << 2 << 400 << 100 << 200 << 210 << Spans{{1, 55}, {355, 455}};
    }

    void toleranceBands()
    {
        QFETCH(int, mode);
        QFETCH(int, teach);
        QFETCH(int, tolerance);
        QFETCH(int, edge1);
        QFETCH(int, edge2);
        QFETCH(Spans, bands);
        eMode = static_cast<uint16_t>(mode);
        tTol = static_cast<uint16_t>(tolerance);
        Record(static_cast<uint16_t>(edge1), static_cast<uint16_t>(edge2), static_cast<uint16_t>(teach));
        PlotRAWValues();
        QCOMPARE(SpansOf(GREEN), bands);
        // Bars are added before bands, so the bands lie on top.
        QCOMPARE(Rects().back().fillColor, GREEN);
    }

    // ---- data curve ------------------------------------------------------------------------------

    void dataCurvePositions_data()
    {
        QTest::addColumn<int>("ccd");
        QTest::addColumn<int>("window");
        QTest::addColumn<double>("first");
        QTest::addColumn<double>("last");
        QTest::addColumn<double>("x0");
        QTest::addColumn<double>("x255");
        QTest::newRow("whole line") << 0 << 300 << 1.0 << 1024.0 << 0.0 << 1020.0;
        QTest::newRow("window") << 1 << 300 << 300.0 << 556.0 << 300.0 << 555.0;
        QTest::newRow("sensor window") << 2 << 300 << 300.0 << 556.0 << 300.0 << 555.0;
        QTest::newRow("before any record") << 2 << 0 << 0.0 << 256.0 << 0.0 << 255.0;
        QTest::newRow("not limited") << 2 << 900 << 900.0 << 1156.0 << 900.0 << 1155.0;
        QTest::newRow("other modes are windows") << 7 << 10 << 10.0 << 266.0 << 10.0 << 265.0;
    }

    void dataCurvePositions()
    {
        QFETCH(int, ccd);
        QFETCH(int, window);
        QFETCH(double, first);
        QFETCH(double, last);
        QFETCH(double, x0);
        QFETCH(double, x255);
        ccdMode = static_cast<uint16_t>(ccd);
        pix1 = static_cast<uint16_t>(window);
        PlotDATACurve(adcbuf);
        QCOMPARE(Range(PANEL_GRAPHDATA), std::make_pair(first, last));
        QCOMPARE(Range(PANEL_GRAPHDATA, VAL_LEFT_YAXIS), std::make_pair(0.0, 1023.0));
        std::vector<GraphCurve> curves;
        GetGraphCurves(panelHandle, PANEL_GRAPHDATA, &curves);
        QCOMPARE(curves.size(), size_t{2});
        QCOMPARE(curves[0].color, RED);
        QCOMPARE(curves[1].color, 0x008000);
        QCOMPARE(curves[0].x.size(), size_t{256});
        QCOMPARE(curves[0].x.front(), x0);
        QCOMPARE(curves[0].x.back(), x255);
    }

    void thresholdFollowsTheNumericAtOnce()
    {
        ccdMode = 0;
        adcbuf[10] = 333;
        SetCtrlVal(panelHandle, PANEL_NEDITVIDEOTHRESHOLD, 700);
        CC_NEDITVideoThreshold(panelHandle, PANEL_NEDITVIDEOTHRESHOLD, EVENT_COMMIT, nullptr, 0, 0);
        std::vector<GraphCurve> curves;
        GetGraphCurves(panelHandle, PANEL_GRAPHDATA, &curves);
        QCOMPARE(curves[1].y.front(), 700.0);
        QCOMPARE(curves[0].y[10], 333.0);
        QCOMPARE(vThd, uint16_t{512});
    }

    void edgeCursorsFollowTheirNumerics()
    {
        SetCtrlVal(panelHandle, PANEL_NEDITEDGELEFT, 300);
        CC_NEDITEdgeLeft(panelHandle, PANEL_NEDITEDGELEFT, EVENT_COMMIT, nullptr, 0, 0);
        SetCtrlVal(panelHandle, PANEL_NEDITEDGERIGHT, 1100);
        CC_NEDITEdgeRight(panelHandle, PANEL_NEDITEDGERIGHT, EVENT_VAL_CHANGED, nullptr, 0, 0);
        QCOMPARE(Cursor(2), std::make_pair(300.0, 1.0));
        QCOMPARE(eBeg, uint16_t{200});
        QVERIFY(Cursor(3).first != 1100.0);  // only a commit moves it
    }

    // ---- parameter file --------------------------------------------------------------------------

    void savedFileHoldsTheSixteenValues()
    {
        const QString path = dir.filePath("KORVApara.dat");
        WriteAll(path, std::string(400, 'x') + "\n");  // a longer file is replaced whole
        file_name = path.toStdString();
        SendParaToFile();
        QCOMPARE(ReadAll(path), std::string(" 500\n   0\n 512\n   0\n   1\n   1\n 200\n 800\n"
                                            " 512\n 100\n   1\n   0\n   0\n   1\n   0\n   0\n"));
    }

    // The dialogs start in the program's folder only where the user can write, and never in the
    // folder a package installed the program into, which root could write.
    void dialogsStartInAWritableFolder()
    {
        const std::string program = proj_dir;
        ChooseDefaultFolder("/usr/libexec/korva-tb-scope");
        QCOMPARE(defaultFolder, program);
        ChooseDefaultFolder(program);
        QCOMPARE(defaultFolder, GetDocumentsDir());
#ifndef _WIN32
        QTemporaryDir readOnly;
        if (mount("korva-test", QFile::encodeName(readOnly.path()).constData(), "tmpfs", MS_RDONLY, nullptr) == 0) {
            proj_dir = readOnly.path().toStdString();
            ChooseDefaultFolder("/usr/libexec/korva-tb-scope");
            QCOMPARE(defaultFolder, GetDocumentsDir());
            umount2(QFile::encodeName(readOnly.path()).constData(), MNT_DETACH);
        }
#endif
        proj_dir = program;
        ChooseDefaultFolder("/usr/libexec/korva-tb-scope");
    }

    void loadedFileGoesThroughTheRangeReplacement()
    {
        const QString path = dir.filePath("load.dat");
        WriteAll(path, "  66736\r\n0\r\n512\r\n0\r\n1\r\n1\r\n200\r\n800\r\n512\r\n900\r\n1\r\n0\r\n0\r\n1\r\n0\r\n77\r\n");
        auto seen = GetFromFile(path);
        QCOMPARE(seen->title, QString("KORVA-TB-Parameter File"));
        QCOMPARE(seen->confirmLabel, QString("Load"));
        QCOMPARE(seen->directory, QDir(QString::fromStdString(proj_dir)).absolutePath());
        QCOMPARE(power, uint16_t{500});  // 1200 from the file, out of range
        QCOMPARE(tTol, uint16_t{128});
        QCOMPARE(Value(panelPopUp, POPUP_NEDITTOLERANCE), 128);
        QCOMPARE(para15, uint16_t{77});
        QCOMPARE(file_name, path.toStdString());
    }

    void badFilesChangeNothing_data()
    {
        QTest::addColumn<QString>("content");
        QTest::newRow("fifteen values") << "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n";
        QTest::newRow("text") << "1\n2\n3\n4\nfive\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n";
        QTest::newRow("negative") << "1\n2\n3\n4\n-5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n";
        QTest::newRow("2^32") << "4294967296\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n";
        QTest::newRow("empty") << "";
    }

    void badFilesChangeNothing()
    {
        QFETCH(QString, content);
        const QString path = dir.filePath("bad.dat");
        WriteAll(path, content.toStdString());
        power = 321;
        SetCtrlVal(panelHandle, PANEL_SLIDEPOWER, 321);
        GetFromFile(path);
        QCOMPARE(power, uint16_t{321});
        QCOMPARE(StatusText(), std::string("Cannot read parameter file!"));
    }

    void cancelledLoadShowsTheVariables()
    {
        SetCtrlVal(panelHandle, PANEL_SLIDEPOWER, 999);  // an edit not yet taken
        StoreStatus("Line Ok!");
        GetFromFile(QString());
        QCOMPARE(Value(panelHandle, PANEL_SLIDEPOWER), 500);
        QCOMPARE(StatusText(), std::string("Line Ok!"));
    }

    void failedSaveIsReportedAndHarmsNothing()
    {
        const QString good = dir.filePath("keep.dat");
        WriteAll(good, "old content\n");
        file_name = dir.filePath("missing-folder/KORVApara.dat").toStdString();
        SendParaToFile();
        QCOMPARE(StatusText(), std::string("Cannot write parameter file!"));

        WriteAll(dir.filePath("plainfile"), "x");
        file_name = dir.filePath("plainfile/KORVApara.dat").toStdString();
        ShowMessage("Transmit...");
        SendParaToFile();
        QCOMPARE(StatusText(), std::string("Cannot write parameter file!"));
        QCOMPARE(ReadAll(good), std::string("old content\n"));
    }

    // The disk fills up: the sixteen short lines are taken into a buffer, and only writing that
    // out to the disk fails.
    void saveOnAFullDiskKeepsTheOldFile()
    {
        SmallDisk disk;
        if (!disk.mounted())
            QSKIP("mounting a tmpfs was refused (needs root)");
        const QString path = disk.filePath("KORVApara.dat");
        const std::string old = "640\r\n1\r\n512\r\n0\r\n1\r\n1\r\n9\r\n8\r\n7\r\n6\r\n5\r\n4\r\n33\r\n";  // 44 bytes
        WriteAll(path, old);
        QVERIFY(disk.Fill());
        auto seen = AnswerFileDialog(path.toStdString());
        target = DATFILE;
        RunCallback(CC_BTNSend, panelHandle, PANEL_BTNSEND, EVENT_LEFT_CLICK);
        target = RAM;
        QVERIFY(ProcessUntil([&] { return seen->answered; }));
        QCOMPARE(StatusText(), std::string("Cannot write parameter file!"));
        QCOMPARE(ReadAll(path), old);
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files).join(" "), QString("filler KORVApara.dat"));
    }

    void longPathsAreUsedWhole()
    {
        QString deep = dir.path();
        while (deep.size() < 400)
            deep += "/a-rather-long-folder-name";
        QVERIFY(QDir().mkpath(deep));
        file_name = (deep + "/KORVApara.dat").toStdString();
        para15 = 5;
        SendParaToFile();
        QVERIFY(QFile::exists(QString::fromStdString(file_name)));
    }
};

QTEST_APPLESS_MAIN(TestGui)
#include "test_gui.moc"
