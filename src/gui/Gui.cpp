// The parameter set, its panel binding, the parameter read-back shown and the two graphs.
#include "gui/Gui.h"

#include "shell/Shell.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

namespace korva {

uint16_t pix1;
uint16_t xArray[CURVE_POINTS];
uint16_t thdArray[CURVE_POINTS];

namespace {

// Words of the last measurement record drawn, beside pix1.
uint16_t inputs, edcnt, mvstart, mvend;

constexpr int RED = 0xFF0000;
constexpr int GREEN = 0x00FF00;
constexpr int DARK_GREEN = 0x008000;
constexpr int GREY = 0xA0A0A0;

// Vertical strips of the raw graph.
constexpr double BAND_BOTTOM = 0.0;
constexpr double BAND_TOP = 0.25;
constexpr double BAR_TOP = 1.0;
constexpr double CURSOR_RECORD_Y = 0.75;
constexpr double CURSOR_PANEL_Y = 1.0;

// Last pixel of the CCD line (its width is LINE_END).
constexpr int LINE_LAST = 1023;
constexpr int LINE_END = 1024;
constexpr int WINDOW_START_MAX = 768;

// ---- binding tables --------------------------------------------------------------------------------

// A control and the variable it shows; `offset` is added on the way to the control.
struct Binding {
    const int* panel;
    int control;
    uint16_t* variable;
    int offset;
};

// The settings of the main panel, read and written in this order.
const Binding mainSettings[] = {
    {&panelHandle, PANEL_SLIDEPOWER, &power, 0},
    {&panelHandle, PANEL_RINGPOWERMODE, &pwrMode, 0},
    {&panelHandle, PANEL_NEDITVIDEOTHRESHOLD, &vThd, 0},
    {&panelHandle, PANEL_RINGPOLARITY, &polarity, 0},
    {&panelHandle, PANEL_DROPDEVALMODE, &eMode, 0},
    {&panelHandle, PANEL_NEDITEDGELEFT, &eBeg, 0},
    {&panelHandle, PANEL_NEDITEDGERIGHT, &eEnd, 0},
};

// The settings of the CCD-settings panel, read and written after the main panel's, in this order.
const Binding ccdSettings[] = {
    {&panelPopUp, POPUP_NEDITTEACH, &tVal, 0},
    {&panelPopUp, POPUP_NEDITTOLERANCE, &tTol, 0},
    {&panelPopUp, POPUP_BACKGROUNDVALUE, &bVal, 0},
    {&panelPopUp, POPUP_BINSWITCHVGAIN, &iGain, 0},
    {&panelPopUp, POPUP_BINSWENABLETOL, &ePoti, 0},
    {&panelPopUp, POPUP_NSLIDEPIXELSTART, &pStart, 0},
    {&panelPopUp, POPUP_RINGCCDMODE, &ccdMode, 0},
    {&panelPopUp, POPUP_RINGCCDBGMODE, &bMode, 0},
};

// Displays that mirror teach value and tolerance on the main panel, and the last pixel of the CCD
// window; written, never read.
const Binding mirrors[] = {
    {&panelHandle, PANEL_NUMTOLERANCE, &tTol, 0},
    {&panelHandle, PANEL_NUMTEACH, &tVal, 0},
    {&panelPopUp, POPUP_NUMPIXELEND, &pStart, WINDOW_WIDTH - 1},
};

void ReadControls(std::span<const Binding> bindings)
{
    for (const Binding& b : bindings)
        GetCtrlVal(*b.panel, b.control, b.variable);
}

void WriteControls(std::span<const Binding> bindings)
{
    for (const Binding& b : bindings)
        SetCtrlVal(*b.panel, b.control, *b.variable + b.offset);
}

// A value above `limit` is replaced by `replacement` before it is shown.
struct RangeRule {
    uint16_t* variable;
    uint16_t limit;
    uint16_t replacement;
};

const RangeRule rangeRules[] = {
    {&power, 1000, 500},  {&pwrMode, 1, 0},   {&vThd, 1023, 512},   {&polarity, 1, 1}, {&eMode, 3, 4},
    {&eBeg, 1024, 200},   {&eEnd, 1024, 800}, {&tVal, 1024, 512},   {&tTol, 512, 128}, {&bVal, 1023, 0},
    {&iGain, 1, 0},       {&ePoti, 1, 0},     {&pStart, 1023, 1},   {&para15, 1023, 0},
};

void ReplaceOutOfRange()
{
    for (const RangeRule& rule : rangeRules)
        if (*rule.variable > rule.limit)
            *rule.variable = rule.replacement;
}

void FillThreshold(uint16_t level)
{
    for (uint16_t& point : thdArray)
        point = level;
}

void AddRectangle(int x1, double y1, int x2, double y2, int color)
{
    PlotRectangle(panelHandle, PANEL_GRAPHRAW, x1, y1, x2, y2, color, color);
}

// Grey bar over the CCD window of the parameters just shown; it stays until the next record.
void DrawWindowBar()
{
    if (ccdMode == 0)
        AddRectangle(0, BAND_BOTTOM, LINE_LAST, BAR_TOP, GREY);
    else
        AddRectangle(pStart, BAND_BOTTOM, pStart + WINDOW_WIDTH - 1, BAR_TOP, GREY);
}

// After a read-back: the data graph shows the new threshold, the raw graph the new CCD window.
// Cursors stay where they are.
void DrawReadBack()
{
    FillThreshold(vThd);
    PlotDATACurve(adcbuf);
    DrawWindowBar();
}

void EnableBackgroundControls()
{
    if (bMode == 1)
        SetCtrlAttribute(panelPopUp, POPUP_BACKGROUNDVALUE, ATTR_DIMMED, 0);
    else if (bMode == 2)
        DimTeachBackground(0);
}

// ---- raw-value plot -------------------------------------------------------------------------------

uint16_t EvaluatedPosition()
{
    switch (eMode) {
    case 0:
        return pp[0];
    case 1:
        return pp[1];
    default:
        if (pp[0] == 0 || pp[1] == 0)
            return 1;
        return static_cast<uint16_t>((pp[0] + pp[1]) / 2);
    }
}

void ShowRecordWords()
{
    SetCtrlVal(panelHandle, PANEL_NUMEDGE1, pp[0]);
    SetCtrlVal(panelHandle, PANEL_NUMEDGE2, pp[1]);
    SetCtrlVal(panelHandle, PANEL_NUMVALUE, pp[2]);
    SetCtrlVal(panelHandle, PANEL_NUMTEACH, pp[3]);
    tVal = pp[3];
    inputs = pp[4];
    pix1 = pp[5];
    edcnt = pp[6];
    mvstart = pp[7];
    mvend = pp[8];
}

// The input state is a code, not a set of bits: 1 lights input 1, 2 input 2, 3 both.
void ShowInputLamps()
{
    SetCtrlVal(panelHandle, PANEL_LEDINPUT2, inputs == 2 || inputs == 3 ? 1 : 0);
    SetCtrlVal(panelHandle, PANEL_LEDINPUT1, inputs == 1 || inputs == 3 ? 1 : 0);
}

struct Window {
    uint16_t first, last;
};

uint16_t LimitWindowStart(uint16_t start)
{
    return start > WINDOW_START_MAX ? WINDOW_START_MAX : start;
}

// Sets the raw graph's x range to the CCD window; on the whole line the edge-window cursors follow
// eBeg and eEnd.
Window ShowCcdWindow()
{
    Window w{0, LINE_END};
    if (ccdMode == 1 || ccdMode == 2) {
        w.first = LimitWindowStart(ccdMode == 1 ? pStart : pix1);
        w.last = static_cast<uint16_t>(w.first + WINDOW_WIDTH);
    }
    SetAxisScalingMode(panelHandle, PANEL_GRAPHRAW, VAL_XAXIS, VAL_MANUAL, w.first, w.last);
    if (ccdMode != 1 && ccdMode != 2) {
        SetGraphCursor(panelHandle, PANEL_GRAPHRAW, 2, eBeg, CURSOR_RECORD_Y);
        SetGraphCursor(panelHandle, PANEL_GRAPHRAW, 3, eEnd, CURSOR_RECORD_Y);
    }
    return w;
}

void AddEdgeBar(int from, int to)
{
    AddRectangle(from, BAND_TOP, to, BAR_TOP, RED);
}

// One bar on the object's side of a single edge; otherwise bars from the window's start to the
// first edge and from the second edge to the window's end.
void DrawEdgeBars(Window w)
{
    if (edcnt == 1) {
        if (mvstart < mvend)
            AddEdgeBar(pp[0], w.last);
        else
            AddEdgeBar(w.first, pp[0]);
        return;
    }
    AddEdgeBar(w.first, pp[0]);
    AddEdgeBar(pp[1], w.last);
}

void AddToleranceBand(int32_t from, int32_t to)
{
    AddRectangle(from, BAND_BOTTOM, to, BAND_TOP, GREEN);
}

// A band start below 0 is drawn from 1, an end above the last pixel to the line's end.
void AddLimitedBand(int32_t from, int32_t to)
{
    AddToleranceBand(from < 0 ? 1 : from, to > LINE_LAST ? LINE_END : to);
}

// Width mode: two bands of width tTol whose centres lie tVal apart around the position; otherwise
// one band of tVal +- tTol.
void DrawToleranceBands(uint16_t position)
{
    if (eMode == 2) {
        const int32_t p = position;
        const int32_t h = tVal / 2;
        const int32_t t = tTol / 2;
        AddLimitedBand(p - h - t, p - h + t);
        AddToleranceBand(p + h - t, p + h + t);
        return;
    }
    AddLimitedBand(int32_t{tVal} - tTol, int32_t{tVal} + tTol);
}

void MoveEdgeCursor(int panel, int control, int cursor)
{
    uint16_t value = 0;
    GetCtrlVal(panel, control, &value);
    SetGraphCursor(panelHandle, PANEL_GRAPHRAW, cursor, value, CURSOR_PANEL_Y);
}

}  // namespace

void SetParameterStartValues()
{
    power = 500;
    pwrMode = 0;
    vThd = 512;
    bVal = 0;
    polarity = 1;
    eMode = 1;
    eBeg = 200;
    eEnd = 800;
    tVal = 512;
    tTol = 100;
    iGain = 1;
    ePoti = 0;
    ccdMode = 0;
    pStart = 1;
    bMode = 0;
    para15 = 0;
}

// ---- panel binding -----------------------------------------------------------------------------------

void GetPanelValues()
{
    ReadControls(mainSettings);
    ReadControls(ccdSettings);
}

void DimTeachBackground(int dimmed)
{
    SetCtrlAttribute(panelPopUp, POPUP_BTNTEACHBACKGROUND, ATTR_DIMMED, dimmed);
    SetCtrlAttribute(panelPopUp, POPUP_LEDTEACHBACKGROUND, ATTR_DIMMED, dimmed);
}

void SetPanelValues()
{
    ReplaceOutOfRange();
    WriteControls(mainSettings);
    WriteControls(ccdSettings);
    WriteControls(mirrors);
    DrawReadBack();
    EnableBackgroundControls();
}

// ---- parameter read-back ---------------------------------------------------------------------------

void PushGET(int storageTarget)
{
    if (storageTarget == DATFILE) {
        SetPanelValues();
        ShowStatus();
        return;
    }
    ReadParameters(storageTarget);
    SetPanelValues();
    ShowStatus();
}

// ---- displays --------------------------------------------------------------------------------------

namespace {

// What "Save data as CSV..." of the evaluation graph writes: the record just drawn.
void TableRecord()
{
    std::array<double, RECORD_WORDS> words;
    std::copy_n(pp, RECORD_WORDS, words.begin());
    SetGraphTable(panelHandle, PANEL_GRAPHRAW, RECORD_WORDS_HEADER, words.data(), 1, RECORD_WORDS);
}

// ... and of the video graph: the curve as drawn, point by point.
void TableCurve(const uint16_t* curve)
{
    static std::array<double, 3 * CURVE_POINTS> rows;
    for (int i = 0; i < CURVE_POINTS; ++i) {
        rows[3 * i] = xArray[i];
        rows[3 * i + 1] = curve[i];
        rows[3 * i + 2] = thdArray[i];
    }
    SetGraphTable(panelHandle, PANEL_GRAPHDATA, "x,video,threshold", rows.data(), CURVE_POINTS, 3);
}

}  // namespace

void PlotRAWValues()
{
    uint16_t position = EvaluatedPosition();
    ShowRecordWords();
    ShowInputLamps();
    const Window w = ShowCcdWindow();
    DeleteGraphPlot(panelHandle, PANEL_GRAPHRAW, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW);
    if (position < w.first)
        position = w.first;
    if (position > w.last)
        position = w.last;
    SetGraphCursor(panelHandle, PANEL_GRAPHRAW, 1, position, CURSOR_RECORD_Y);
    DrawEdgeBars(w);
    DrawToleranceBands(position);
    TableRecord();
}

void PlotDATACurve(const uint16_t* curve)
{
    if (ccdMode == 0) {
        SetAxisScalingMode(panelHandle, PANEL_GRAPHDATA, VAL_XAXIS, VAL_MANUAL, 1, LINE_END);
        for (int i = 0; i < CURVE_POINTS; ++i)
            xArray[i] = static_cast<uint16_t>(4 * i);
    } else {
        SetAxisScalingMode(panelHandle, PANEL_GRAPHDATA, VAL_XAXIS, VAL_MANUAL, pix1, pix1 + WINDOW_WIDTH);
        for (int i = 0; i < CURVE_POINTS; ++i)
            xArray[i] = static_cast<uint16_t>(pix1 + i);
    }
    SetAxisScalingMode(panelHandle, PANEL_GRAPHDATA, VAL_LEFT_YAXIS, VAL_MANUAL, 0, LINE_LAST);
    DeleteGraphPlot(panelHandle, PANEL_GRAPHDATA, VAL_ALL_OBJECTS, VAL_IMMEDIATE_DRAW);
    PlotXY(panelHandle, PANEL_GRAPHDATA, xArray, curve, CURVE_POINTS, PLOT_STYLE_CONNECTED_POINTS,
           POINT_STYLE_SMALL_DOT, LINE_STYLE_SOLID, 1, RED);
    PlotXY(panelHandle, PANEL_GRAPHDATA, xArray, thdArray, CURVE_POINTS, PLOT_STYLE_CONNECTED_POINTS,
           POINT_STYLE_SMALL_DOT, LINE_STYLE_SOLID, 1, DARK_GREEN);
    TableCurve(curve);
}

void DrawStartUp()
{
    DeleteGraphPlot(panelHandle, PANEL_GRAPHRAW, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW);
    SetGraphCursor(panelHandle, PANEL_GRAPHRAW, 1, tVal, CURSOR_PANEL_Y);
    SetGraphCursor(panelHandle, PANEL_GRAPHRAW, 2, eBeg, CURSOR_PANEL_Y);
    SetGraphCursor(panelHandle, PANEL_GRAPHRAW, 3, eEnd, CURSOR_PANEL_Y);
    AddToleranceBand(int32_t{tVal} - tTol, int32_t{tVal} + tTol);
    for (int i = 0; i < CURVE_POINTS; ++i)
        xArray[i] = static_cast<uint16_t>(4 * i);
    FillThreshold(vThd);
}

// Moves the threshold line at once; vThd takes the value when the panel is next read.
int CC_NEDITVideoThreshold(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT && event != EVENT_LEFT_CLICK)
        return 0;
    uint16_t level = 0;
    GetCtrlVal(panel, control, &level);
    FillThreshold(level);
    PlotDATACurve(adcbuf);
    return 0;
}

int CC_NEDITEdgeLeft(int panel, int control, int event, void*, int, int)
{
    if (event == EVENT_COMMIT)
        MoveEdgeCursor(panel, control, 2);
    return 0;
}

int CC_NEDITEdgeRight(int panel, int control, int event, void*, int, int)
{
    if (event == EVENT_COMMIT)
        MoveEdgeCursor(panel, control, 3);
    return 0;
}

}  // namespace korva
