// korva-demo-check: the whole program against the simulated sensor built into its port library
// (the device "sim:"), on the display it is given, driven as an operator would: the greeting at
// start-up, a Run of a few seconds with Record on, then Data. It prints what came of it and ends
// with 0 when all of it is as it should be: the sensor greeted, the Run at no less than 95 % of the
// line's pace (at most 100 %, as one order waits for its answer), every record a row of the CSV
// file, and the video curve drawn by Data. scripts/windows-check runs it under wine.
//
//   korva-demo-check [--seconds N] [--out FOLDER] [--screenshot FILE]
//
// FOLDER (default: a temporary one) receives the record file; FILE, a picture of the main panel
// taken halfway through the Run.
#include "KorvaTBScope11Xe.h"
#include "app/App.h"
#include "gui/Gui.h"
#include "inspect.h"
#include "link/Com232.h"
#include "record/Recorder.h"
#include "rs232.h"
#include "shell/Shell.h"
#include "userint.h"

#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace korva;

namespace {

// A Run exchange is 72 bytes on a line of 1920 bytes a second.
constexpr double RUN_LINE_LIMIT = 1920.0 / 72.0;
constexpr double LEAST_SHARE = 0.95;

const char* Option(int argc, char** argv, const char* name, const char* fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return argv[i + 1];
    return fallback;
}

std::string Status()
{
    std::string text;
    GetCtrlVal(panelHandle, PANEL_STATUS, &text);
    return text;
}

// Presses `button`, lets the loop go for `seconds` (doing `halfway` halfway), presses Stop, and
// returns once the loop has ended.
void LoopFor(int button, double seconds, const std::function<void()>& halfway = {})
{
    const int ms = static_cast<int>(seconds * 1000);
    if (halfway)
        QTimer::singleShot(ms / 2, halfway);
    bool stopped = false;
    QTimer::singleShot(ms, [&stopped] {
        QTest::mouseClick(CtrlWidget(panelHandle, PANEL_BTNSTOP), Qt::LeftButton);
        stopped = true;
    });
    QTest::mouseClick(CtrlWidget(panelHandle, button), Qt::LeftButton);
    while (!stopped || LoopRunning())
        ProcessSystemEvents();
}

// The seconds column of the record file's rows.
std::vector<double> RowTimes(const QString& path)
{
    QFile file(path);
    std::vector<double> times;
    if (!file.open(QIODevice::ReadOnly))
        return times;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> columns = lines[i].split(',');
        if (columns.size() == 2 + RECORD_WORDS)
            times.push_back(columns[1].toDouble());
    }
    return times;
}

bool Check(bool good, const char* what)
{
    std::printf("%-6s %s\n", good ? "ok" : "FAILED", what);
    return good;
}

}  // namespace

int main(int argc, char** argv)
{
    const double seconds = std::atof(Option(argc, argv, "--seconds", "10"));
    const QString screenshot = QString::fromLocal8Bit(Option(argc, argv, "--screenshot", ""));
    if (std::getenv("KORVA_COM1") == nullptr)
        qputenv("KORVA_COM1", "sim:");
    // COM1 as the check expects it, whatever port an operator's runs remembered; nothing left behind.
    if (std::getenv("KORVA_NO_SETTINGS") == nullptr)
        qputenv("KORVA_NO_SETTINGS", "1");
    if (StartUp(argc, argv) < 0) {
        std::fprintf(stderr, "korva-demo-check: the program did not start\n");
        return 2;
    }
    QTemporaryDir temporary;
    const QString folder = QString::fromLocal8Bit(Option(argc, argv, "--out", "")).isEmpty()
                               ? temporary.path()
                               : QString::fromLocal8Bit(Option(argc, argv, "--out", ""));
    const QString record = QDir(folder).filePath(QStringLiteral("demo-run.csv"));
    DisplayPanel(panelHandle);
    const std::string greeting = Status();
    std::printf("greeting: %s\n", greeting.c_str());

    StartRecording(record.toStdString());
    LoopFor(PANEL_BTNRUN, seconds, [&] {
        if (!screenshot.isEmpty())
            PanelWidget(panelHandle)->grab().save(screenshot);
    });
    StopRecording();
    std::string statistics;
    GetCtrlVal(panelHandle, PANEL_STATS, &statistics);
    std::printf("statistics: %s\n", statistics.c_str());
    const std::vector<double> times = RowTimes(record);
    const double rate = times.size() > 1 ? static_cast<double>(times.size() - 1) / (times.back() - times.front()) : 0;
    std::printf("run: %zu records in %.1f s, %.2f /s of %.2f /s, %.1f %%\n", times.size(),
                times.empty() ? 0.0 : times.back() - times.front(), rate, RUN_LINE_LIMIT, 100.0 * rate / RUN_LINE_LIMIT);

    LoopFor(PANEL_BTNDATA, 2.5);
    std::vector<GraphCurve> curves;
    GetGraphCurves(panelHandle, PANEL_GRAPHDATA, &curves);
    const bool curveDrawn = curves.size() == 2 && *std::max_element(curves[0].y.begin(), curves[0].y.end()) > 100;
    std::printf("data: %s, status %s\n", curveDrawn ? "video curve drawn" : "no video curve", Status().c_str());

    bool good = Check(greeting == "Parameter-frame received! - Line Ok!", "the sensor was greeted");
    good = Check(rate >= LEAST_SHARE * RUN_LINE_LIMIT && rate <= RUN_LINE_LIMIT * 1.01, "the Run kept the line's pace") && good;
    good = Check(statistics.find("records " + std::to_string(times.size()) + " ") == 0, "every record is a row") && good;
    good = Check(curveDrawn, "Data drew the video curve") && good;
    CloseCom(com);
    DiscardPanel(panelPopUp);
    DiscardPanel(panelHandle);
    return good ? 0 : 1;
}
