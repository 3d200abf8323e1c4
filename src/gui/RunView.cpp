// What the records drawn add up to: the statistics line, the value trend of the last minute and
// the recording to a CSV file. The loops feed it one record at a time, right after drawing it;
// the screen follows only as often as a person can read it, which keeps the cost per record to a
// few hundred nanoseconds.
#include "gui/RunView.h"

#include "gui/Gui.h"
#include "record/Recorder.h"
#include "record/RunStatistics.h"
#include "record/Trend.h"
#include "shell/Shell.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstring>

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

static_assert(RECORD_WORDS <= Recorder::MAX_WORDS, "a row of the record file holds every record word");

Recorder recorder;
RunStatistics runStatistics;
Trend trend;
// The trend curve as drawn, x in seconds before now.
std::array<double, Trend::MAX_POINTS> trendX;
std::array<double, Trend::MAX_POINTS> trendY;
Steady::time_point lastView;
uint64_t strayAtStart = 0;  // strayFrames when the view started

std::string recordPath;     // the file being recorded to
std::string recordTooltip;  // the Record button's own tooltip, while its tooltip tells of a fault

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
    const size_t n = trend.Points(now, trendX, trendY, low, high);
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
    runStatistics.SetStrayFrames(strayFrames - strayAtStart);
    SetCtrlVal(panelHandle, PANEL_STATS, runStatistics.Text(now).c_str());
    DrawTrend(now);
}

std::string RecordFaultReason()
{
    switch (recorder.Fault()) {
    case RecordFault::NotAFile:
        return "not a regular file";
    case RecordFault::FileGone:
        return "deleted, moved, or its disk is gone";
    default:
        return recorder.FaultErrno() != 0 ? std::strerror(recorder.FaultErrno()) : "cannot be written";
    }
}

// The recording could not start, or has stopped on a fault (the recorder has closed the file, which
// ends with a whole row): the Record button goes off, its tooltip tells why until the operator
// switches it on again, and the status line says so for a few seconds.
void RecordingFailed()
{
    SetCtrlVal(panelHandle, PANEL_BTNRECORD, 0);
    if (recordTooltip.empty())
        GetCtrlAttribute(panelHandle, PANEL_BTNRECORD, ATTR_TOOLTIP, &recordTooltip);
    const std::string why = "Recording stopped: " + recordPath + " - " + RecordFaultReason();
    SetCtrlAttribute(panelHandle, PANEL_BTNRECORD, ATTR_TOOLTIP, why.c_str());
    ShowAlert(recorder.Fault() == RecordFault::FileGone ? "Record file is gone - recording stopped!"
                                                        : "Cannot write record file!");
}

// The operator learns once that the file was cut short in place and the recording went on.
void NoteRestart()
{
    if (recorder.TakeRestartNotice())
        ShowAlert("Record file was cut short - recording goes on from a new header");
}

}  // namespace

void StartRunView()
{
    const Steady::time_point now = Steady::now();
    runStatistics.Reset(now);
    strayAtStart = strayFrames;
    trend.Reset(now);
    ShowRunView(now);
}

void FeedRunView()
{
    const RecordTime now = RecordTime::Now();
    runStatistics.AddRecord(pp[2]);
    trend.Add(pp[2], now.steady);
    if (recorder.IsOpen() && !recorder.Append(pp, now))
        RecordingFailed();
    NoteRestart();
    if (now.steady - lastView >= VIEW_INTERVAL)
        ShowRunView(now.steady);
}

void NoteRunTimeout()
{
    runStatistics.AddTimeOut();
}

void EndRunView()
{
    ShowRunView(Steady::now());
    if (!recorder.Flush())
        RecordingFailed();
    NoteRestart();
}

void StartRecording(const std::string& path)
{
    recordPath = path;
    if (!recorder.Open(path.c_str(), RECORD_WORDS_HEADER, RecordTime::Now()))
        RecordingFailed();
}

void StopRecording()
{
    if (!recorder.Close())
        RecordingFailed();
}

void ForgetRecordingFault()
{
    if (!recordTooltip.empty())
        SetCtrlAttribute(panelHandle, PANEL_BTNRECORD, ATTR_TOOLTIP, recordTooltip.c_str());
}

}  // namespace korva
