// The statistics line and the value trend of the last minute, drawn from the run's products. The
// screen follows only as often as a person can read it, which keeps the cost per record to a few
// hundred nanoseconds.
#include "gui/RunView.h"

#include "gui/Gui.h"

#include <array>
#include <chrono>
#include <cmath>

namespace korva {

namespace {

using Steady = std::chrono::steady_clock;

// The statistics line and the trend, which moves by a few pixels a second, are shown anew twice a
// second, as often as a person can follow them, and when a loop ends. (A new text costs the
// statistics line a layout of its characters, more than the whole record's drawing.)
constexpr auto VIEW_INTERVAL = std::chrono::milliseconds(500);
// The trend's value axis moves in steps of this much, so that it rarely changes.
constexpr double TREND_AXIS_STEP = 50;

constexpr int TREND_VALUE_COLOR = 0x2563EB;
constexpr int TREND_SETPOINT_COLOR = 0x008000;
constexpr int TREND_BAND_COLOR = 0xCDEFD3;

// The trend curve as drawn, x in seconds before now.
std::array<double, Trend::MAX_POINTS> trendX;
std::array<double, Trend::MAX_POINTS> trendY;
Steady::time_point lastView;

// What "Save data as CSV..." of the trend writes: its points, oldest first.
void TableTrend(size_t n)
{
    static std::array<double, 2 * Trend::MAX_POINTS> rows;
    for (size_t i = 0; i < n; ++i) {
        rows[2 * i] = trendX[i];
        rows[2 * i + 1] = trendY[i];
    }
    SetGraphTable(panelHandle, PANEL_GRAPHTREND, "seconds,value", rows.data(), static_cast<int>(n), 2);
}

// The value over the last minute, with the set point and its tolerance band behind it.
void DrawTrend(Steady::time_point now)
{
    const double bandLow = static_cast<double>(tVal) - tTol;
    const double bandHigh = static_cast<double>(tVal) + tTol;
    double low = bandLow;
    double high = bandHigh;
    const size_t n = RunTrend().Points(now, trendX, trendY, low, high);
    DeleteGraphPlot(panelHandle, PANEL_GRAPHTREND, VAL_ALL_OBJECTS, VAL_DELAYED_DRAW);
    SetAxisScalingMode(panelHandle, PANEL_GRAPHTREND, VAL_XAXIS, VAL_MANUAL, -Trend::SECONDS, 0);
    SetAxisScalingMode(panelHandle, PANEL_GRAPHTREND, VAL_LEFT_YAXIS, VAL_MANUAL,
                       std::floor(low / TREND_AXIS_STEP) * TREND_AXIS_STEP - TREND_AXIS_STEP / 5,
                       std::ceil(high / TREND_AXIS_STEP) * TREND_AXIS_STEP + TREND_AXIS_STEP / 5);
    PlotRectangle(panelHandle, PANEL_GRAPHTREND, -Trend::SECONDS, bandLow, 0, bandHigh, TREND_BAND_COLOR,
                  TREND_BAND_COLOR);
    const double setPointX[2] = {-Trend::SECONDS, 0};
    const double setPointY[2] = {static_cast<double>(tVal), static_cast<double>(tVal)};
    PlotXY(panelHandle, PANEL_GRAPHTREND, setPointX, setPointY, 2, TREND_SETPOINT_COLOR);
    if (n > 0)
        PlotXY(panelHandle, PANEL_GRAPHTREND, trendX.data(), trendY.data(), n, TREND_VALUE_COLOR);
    TableTrend(n);
}

void ShowRunView(Steady::time_point now)
{
    lastView = now;
    SetCtrlVal(panelHandle, PANEL_STATS, CurrentRunStatistics().Text(now).c_str());
    DrawTrend(now);
}

}  // namespace

void StartRunView()
{
    StartRunProducts();
    ShowRunView(Steady::now());
}

// Timed by the record just fed, so a record costs no further look at the clock.
void UpdateRunView()
{
    const Steady::time_point fed = LastFedAt();
    if (fed - lastView >= VIEW_INTERVAL)
        ShowRunView(fed);
}

void EndRunView()
{
    EndRunProducts();
    ShowRunView(Steady::now());
}

}  // namespace korva
