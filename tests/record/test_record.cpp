// The record file on real files, FIFOs and devices (and a real full or unmounted disk), the run
// statistics with their text line, and the trend's minute.
#include "record/Recorder.h"
#include "record/RunStatistics.h"
#include "record/Trend.h"
#include "support/SmallDisk.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <functional>
#include <sstream>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace korva;
using namespace std::chrono_literals;

namespace {

// The names of the record words the program records, and the header line they make.
const std::string NAMES = "edge 1,edge 2,value,teach,input state,window start pixel,edge count,start,end";
const std::string HEADER = "time,seconds," + NAMES + "\n";

// A measurement record as the sensor sends it: sixteen words, of which the first nine are recorded.
using Words = std::array<uint16_t, 16>;
const Words WORDS{120, 880, 500, 512, 3, 256, 2, 1, 0};
const std::string ROW = "2026-12-07T14:30:05.007,0.000,120,880,500,512,3,256,2,1,0\n";

std::string ReadAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll().toStdString();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Times of a recording that began on 2026-12-07 at 14:30:05.007 local time.
RecordTime At(std::chrono::milliseconds sinceStart)
{
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 7;
    local.tm_hour = 14;
    local.tm_min = 30;
    local.tm_sec = 5;
    local.tm_isdst = -1;
    const auto wall = std::chrono::system_clock::from_time_t(std::mktime(&local)) + 7ms;
    const auto steady = std::chrono::steady_clock::time_point{} + 5h;
    return {wall + sinceStart, steady + sinceStart};
}

// The trend's start, and its points at a moment with the band [low, high] they widen.
const Trend::TimePoint T0 = std::chrono::steady_clock::time_point{} + 3h;

struct Curve {
    std::array<double, Trend::MAX_POINTS> x{};
    std::array<double, Trend::MAX_POINTS> y{};
    std::size_t n = 0;
    double low = 0;
    double high = 0;
};

Curve PointsAt(const Trend& trend, Trend::TimePoint now, double low = 1e9, double high = -1e9)
{
    Curve curve;
    curve.low = low;
    curve.high = high;
    curve.n = trend.Points(now, curve.x, curve.y, curve.low, curve.high);
    return curve;
}

}  // namespace

class TestRecord : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // ---- record file -----------------------------------------------------------------------------

    void rowsReachTheFileOnceASecondAndAtClose()
    {
        const QString path = dir.filePath("run.csv");
        Recorder recorder;
        QVERIFY(recorder.Open(path.toLocal8Bit().constData(), NAMES, At(0ms)));
        QCOMPARE(ReadAll(path), HEADER);

        const Words first{120, 880, 500, 512, 3, 256, 2, 1, 0, 999, 999, 999, 999, 999, 999, 999};
        const Words extremes{0, 65535, 0, 65535, 0, 65535, 0, 65535, 0, 7, 7, 7, 7, 7, 7, 7};
        QVERIFY(recorder.Append(first.data(), At(0ms)));
        QVERIFY(recorder.Append(extremes.data(), At(50ms)));
        QCOMPARE(ReadAll(path), HEADER);

        QVERIFY(recorder.Append(first.data(), At(1000ms)));
        const std::string firstSecond = HEADER +
                                        "2026-12-07T14:30:05.007,0.000,120,880,500,512,3,256,2,1,0\n"
                                        "2026-12-07T14:30:05.057,0.050,0,65535,0,65535,0,65535,0,65535,0\n"
                                        "2026-12-07T14:30:06.007,1.000,120,880,500,512,3,256,2,1,0\n";
        QCOMPARE(ReadAll(path), firstSecond);

        // Measured from the last write, not from the start.
        QVERIFY(recorder.Append(extremes.data(), At(1999ms)));
        QCOMPARE(ReadAll(path), firstSecond);

        QVERIFY(recorder.Close());
        QVERIFY(!recorder.IsOpen());
        QCOMPARE(ReadAll(path), firstSecond + "2026-12-07T14:30:07.006,1.999,0,65535,0,65535,0,65535,0,65535,0\n");
    }

    void aBurstLongerThanTheBufferIsKeptWhole()
    {
        const QString path = dir.filePath("burst.csv");
        Recorder recorder;
        QVERIFY(recorder.Open(path.toLocal8Bit().constData(), NAMES, At(0ms)));
        std::string expected = HEADER;
        for (uint16_t i = 0; i < 5000; ++i) {
            const Words words{i, 1, 2, 3, 4, 5, 6, 7, 8};
            QVERIFY(recorder.Append(words.data(), At(0ms)));
            expected += "2026-12-07T14:30:05.007,0.000," + std::to_string(i) + ",1,2,3,4,5,6,7,8\n";
        }
        const std::string early = ReadAll(path);
        QVERIFY(early.size() > HEADER.size());
        QCOMPARE(early, expected.substr(0, early.size()));
        QVERIFY(recorder.Close());
        QCOMPARE(ReadAll(path), expected);
    }

    // A row holds as many words as the header names; a header naming more than a row can hold is
    // refused before the path is touched.
    void theNamesGivenMakeTheColumns()
    {
        const QString path = dir.filePath("named.csv");
        Recorder recorder;
        QVERIFY(recorder.Open(QFile::encodeName(path).constData(), "left,right,value", At(0ms)));
        QVERIFY(recorder.Append(WORDS.data(), At(0ms)));
        QVERIFY(recorder.Close());
        QCOMPARE(ReadAll(path),
                 std::string("time,seconds,left,right,value\n2026-12-07T14:30:05.007,0.000,120,880,500\n"));

        const QString refused = dir.filePath("refused.csv");
        QVERIFY(!recorder.Open(QFile::encodeName(refused).constData(), "0,1,2,3,4,5,6,7,8,9,10,11,12,13", At(0ms)));
        QCOMPARE(recorder.Fault(), RecordFault::CannotOpen);
        QCOMPARE(recorder.FaultErrno(), EINVAL);
        QVERIFY(!QFileInfo::exists(refused));
    }

    // A FIFO named *.csv, with a reader or without (where opening it for writing would wait for one
    // for ever), and a device are refused at once and never opened: a FIFO's reader sees a writer
    // come and go as a hang-up.
    void onlyARegularFileOrANewNameIsOpened()
    {
        Recorder recorder;
#ifdef _WIN32
        // Device names are devices in every folder.
        QVERIFY(!recorder.Open(QFile::encodeName(dir.filePath("nul.csv")).constData(), NAMES, At(0ms)));
        QCOMPARE(recorder.Fault(), RecordFault::NotAFile);
#else
        const QByteArray fifo = QFile::encodeName(dir.filePath("pipe.csv"));
        QCOMPARE(mkfifo(fifo.constData(), 0644), 0);
        const int reader = open(fifo.constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        QVERIFY(!recorder.Open(fifo.constData(), NAMES, At(0ms)));
        QCOMPARE(recorder.Fault(), RecordFault::NotAFile);
        pollfd hangUp{reader, POLLIN, 0};
        QCOMPARE(poll(&hangUp, 1, 0), 0);
        close(reader);

        QVERIFY(!recorder.Open(fifo.constData(), NAMES, At(0ms)));
        QCOMPARE(recorder.Fault(), RecordFault::NotAFile);
        struct stat status{};
        QVERIFY(lstat(fifo.constData(), &status) == 0 && S_ISFIFO(status.st_mode));

        QVERIFY(!recorder.Open("/dev/null", NAMES, At(0ms)));
        QCOMPARE(recorder.Fault(), RecordFault::NotAFile);
#endif
        QVERIFY(!recorder.Open(QFile::encodeName(dir.filePath("no folder/run.csv")).constData(), NAMES, At(0ms)));
        QCOMPARE(recorder.Fault(), RecordFault::CannotOpen);
        QCOMPARE(recorder.FaultErrno(), ENOENT);
    }

    // An old file is emptied and gets the header; through a symbolic link too, which then passes
    // the check at every write that the file is still the one at the path.
    void anOldFileIsEmptiedAlsoThroughALink()
    {
        const QString path = dir.filePath("old.csv");
        const QString link = dir.filePath("link.csv");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(1000, 'x')) == 1000);
        old.close();
#ifdef _WIN32
        const QString& opened = path;  // links are shortcut files there
#else
        QVERIFY(QFile::link(path, link));
        const QString& opened = link;
#endif
        Recorder recorder;
        QVERIFY(recorder.Open(QFile::encodeName(opened).constData(), NAMES, At(0ms)));
        QCOMPARE(ReadAll(path), HEADER);
        QVERIFY(recorder.Append(WORDS.data(), At(0ms)));
        QVERIFY(recorder.Flush());
        QVERIFY(recorder.Close());
        QCOMPARE(ReadAll(path), HEADER + ROW);
    }

    // A file cut short in place while recording (logrotate's copytruncate) gets a fresh header at
    // its start and the rows that follow, no hole of the old length; the notice comes once.
    void aFileCutShortInPlaceStartsAfresh()
    {
        const QString path = dir.filePath("rotated.csv");
        Recorder recorder;
        QVERIFY(recorder.Open(QFile::encodeName(path).constData(), NAMES, At(0ms)));
        QVERIFY(recorder.Append(WORDS.data(), At(0ms)));
        QVERIFY(recorder.Flush());
        QVERIFY(QFile::resize(path, 0));
        QVERIFY(recorder.Append(WORDS.data(), At(0ms)));
        QVERIFY(recorder.Flush());
        QCOMPARE(ReadAll(path), HEADER + ROW);
        QVERIFY(recorder.TakeRestartNotice());
        QVERIFY(!recorder.TakeRestartNotice());
        QVERIFY(recorder.Append(WORDS.data(), At(0ms)));
        QVERIFY(recorder.Close());
        QCOMPARE(ReadAll(path), HEADER + ROW + ROW);
        QVERIFY(!recorder.TakeRestartNotice());
    }

#ifndef _WIN32  // Windows refuses to delete or rename a file that is open for writing
    // Writes to a file deleted, renamed away or rotated as logs are (renamed away and a new file of
    // its name put in its place) succeed and reach no one; the next write stops recording instead.
    // Opening anew clears the fault.
    void aFileDeletedRenamedOrRotatedStopsRecording()
    {
        const QByteArray path = QFile::encodeName(dir.filePath("gone.csv"));
        const QByteArray moved = QFile::encodeName(dir.filePath("gone.csv.1"));
        Recorder recorder;
        const auto stopsAfter = [&](const std::function<bool()>& takeAway) {
            return recorder.Open(path.constData(), NAMES, At(0ms)) && recorder.Fault() == RecordFault::None &&
                   recorder.Append(WORDS.data(), At(0ms)) && takeAway() && !recorder.Flush() &&
                   recorder.Fault() == RecordFault::FileGone && !recorder.IsOpen();
        };
        QVERIFY(stopsAfter([&] { return unlink(path.constData()) == 0; }));
        QCOMPARE(recorder.FaultErrno(), ENOENT);
        QVERIFY(stopsAfter([&] { return rename(path.constData(), moved.constData()) == 0; }));
        QVERIFY(stopsAfter([&] {
            return rename(path.constData(), moved.constData()) == 0 &&
                   close(open(path.constData(), O_WRONLY | O_CREAT, 0644)) == 0;
        }));
        QCOMPARE(recorder.FaultErrno(), 0);
    }

#ifndef _WIN32
    // `umount -l` of the stick being recorded to: the file lives on, out of reach of every path.
    void aLazilyUnmountedDiskStopsRecording()
    {
        test::SmallDisk disk;
        if (!disk.mounted())
            QSKIP("mounting a tmpfs was refused (needs root)");
        const QString path = disk.filePath("run.csv");
        Recorder recorder;
        QVERIFY(recorder.Open(QFile::encodeName(path).constData(), NAMES, At(0ms)));
        QVERIFY(recorder.Append(WORDS.data(), At(0ms)));
        QCOMPARE(umount2(QFile::encodeName(QFileInfo(path).path()).constData(), MNT_DETACH), 0);
        QVERIFY(!recorder.Flush());
        QCOMPARE(recorder.Fault(), RecordFault::FileGone);
        QVERIFY(!recorder.IsOpen());
    }
#endif
#endif

    void aDiskFillingUpStopsRecordingAfterAWholeRow()
    {
        test::SmallDisk disk;
        if (!disk.mounted())
            QSKIP("mounting a tmpfs was refused (needs root)");
        const QString path = disk.filePath("run.csv");
        Recorder recorder;
        QVERIFY(recorder.Open(path.toLocal8Bit().constData(), NAMES, At(0ms)));
        for (int ms = 0; ms <= 1000; ms += 100)
            QVERIFY(recorder.Append(WORDS.data(), At(std::chrono::milliseconds(ms))));
        const std::size_t firstSecond = Lines(ReadAll(path)).size();
        QCOMPARE(firstSecond, std::size_t{12});

        // Another program takes the rest of the disk; the next second's rows no longer fit.
        QVERIFY(disk.Fill());
        for (int ms = 1003; ms < 2000; ms += 3)
            QVERIFY(recorder.Append(WORDS.data(), At(std::chrono::milliseconds(ms))));
        QVERIFY(!recorder.Append(WORDS.data(), At(2000ms)));
        QVERIFY(!recorder.IsOpen());
        QCOMPARE(recorder.Fault(), RecordFault::WriteFailed);
        QCOMPARE(recorder.FaultErrno(), ENOSPC);
        QVERIFY(!recorder.Append(WORDS.data(), At(2001ms)));
        QVERIFY(recorder.Close());

        const std::string text = ReadAll(path);
        QCOMPARE(text.back(), '\n');
        const std::vector<std::string> lines = Lines(text);
        QVERIFY(lines.size() > firstSecond);  // the rows that fitted stayed
        for (const std::string& line : lines)
            QCOMPARE(std::count(line.begin(), line.end(), ','), 10);
        QVERIFY(lines.back().ends_with(",120,880,500,512,3,256,2,1,0"));
    }

    // ---- trend -----------------------------------------------------------------------------------

    // Two minutes of a record every 10 ms: the minute up to now has a point pair (lowest, highest)
    // for every 50 ms, oldest first, at the slot's start in seconds before now.
    void theTrendKeepsTheLowestAndHighestOfEvery50msOfTheLastMinute()
    {
        Trend trend;
        trend.Reset(T0);
        for (int ms = 0; ms < 120000; ms += 10) {
            const int value = ms / 50 % 1000 + (ms % 50 == 40 ? 5 : 0);  // the slot's last record 5 higher
            trend.Add(static_cast<uint16_t>(value), T0 + std::chrono::milliseconds(ms));
        }

        const Curve curve = PointsAt(trend, T0 + 119999ms, 450, 2000);
        QCOMPARE(curve.n, Trend::MAX_POINTS);
        for (int k = 0; k < Trend::SLOTS; ++k) {
            const int slot = Trend::SLOTS + k;
            const double x = -(119999 - 50 * slot) / 1000.0;
            QCOMPARE(curve.x[2 * k], x);
            QCOMPARE(curve.x[2 * k + 1], x);
            QCOMPARE(curve.y[2 * k], double(slot % 1000));
            QCOMPARE(curve.y[2 * k + 1], double(slot % 1000 + 5));
        }
        QCOMPARE(curve.x.front(), -59.999);
        QCOMPARE(curve.x[curve.n - 1], -0.049);
        QCOMPARE(curve.low, 0.0);      // widened below the band given ...
        QCOMPARE(curve.high, 2000.0);  // ... and not narrowed above it (the highest value is 1004)
    }

    // A value shows until its slot's minute has passed, to the nanosecond; the ring slot it leaves
    // then takes the new minute's values afresh.
    void aValueLeavesTheTrendAtSixtySeconds()
    {
        Trend trend;
        trend.Reset(T0);
        trend.Add(100, T0 + 49ms);  // slot 0, which begins at T0
        trend.Add(300, T0 + 30s);

        const Curve before = PointsAt(trend, T0 + 60s - 1ns);
        QCOMPARE(before.n, std::size_t{2});
        QCOMPARE(before.y[0], 100.0);
        QCOMPARE(before.x[1], -30.0 + 1e-9);

        const Curve at = PointsAt(trend, T0 + 60s);
        QCOMPARE(at.n, std::size_t{1});
        QCOMPARE(at.x[0], -30.0);
        QCOMPARE(at.y[0], 300.0);

        trend.Add(900, T0 + 60s);  // the ring slot of slot 0
        const Curve reused = PointsAt(trend, T0 + 60s);
        QCOMPARE(reused.n, std::size_t{2});
        QCOMPARE(reused.x[1], 0.0);
        QCOMPARE(reused.y[1], 900.0);
        QCOMPARE(reused.low, 300.0);  // not 100: the old minute's value is gone

        trend.Reset(T0 + 60s);
        QCOMPARE(PointsAt(trend, T0 + 60s).n, std::size_t{0});
    }

    // A pause longer than a minute leaves only what came after it; time before the start, or a
    // minute behind a value kept in the same ring slot, is dropped; a little back in time is kept.
    void gapsAndTimeGoingBackwards()
    {
        Trend trend;
        trend.Reset(T0);
        for (int s = 0; s < 10; ++s)
            trend.Add(200, T0 + std::chrono::seconds(s));
        trend.Add(400, T0 + 100s);
        QCOMPARE(PointsAt(trend, T0 + 100s).n, std::size_t{1});

        trend.Add(50, T0 + 40s);        // the ring slot of 100 s, a minute behind it
        trend.Add(500, T0 + 99990ms);   // 10 ms back, the slot before
        trend.Add(450, T0 + 100010ms);  // back into the slot of 100 s
        const Curve curve = PointsAt(trend, T0 + 100s);
        QCOMPARE(curve.n, std::size_t{3});
        QCOMPARE(curve.y[0], 500.0);
        QCOMPARE(curve.y[1], 400.0);
        QCOMPARE(curve.y[2], 450.0);

        trend.Reset(T0);
        trend.Add(60, T0 - 1ms);
        QCOMPARE(PointsAt(trend, T0 + 1s).n, std::size_t{0});
        const Curve early = PointsAt(trend, T0 - 1s, 1, 2);
        QCOMPARE(early.n, std::size_t{0});
        QCOMPARE(early.low, 1.0);
        QCOMPARE(early.high, 2.0);
    }

    // ---- run statistics -------------------------------------------------------------------------

    void aRunOfKnownValues()
    {
        const auto start = std::chrono::steady_clock::now();
        RunStatistics statistics;
        statistics.Reset(start);
        const std::string empty = "records 0 · 0.0/s · time-outs 0 · stray 0 · value min - max - mean - σ -";
        QCOMPARE(statistics.Text(start), empty);
        for (uint16_t value : {7, 3, 10, 1, 2, 9, 4, 8, 6, 5})
            statistics.AddRecord(value);
        statistics.AddTimeOut();
        statistics.AddTimeOut();
        statistics.SetStrayFrames(3);
        QCOMPARE(statistics.Text(start + 4s),
                 std::string("records 10 · 2.5/s · time-outs 2 · stray 3 · value min 1 max 10 mean 5.5 σ 2.9"));

        statistics.Reset(start + 5s);
        QCOMPARE(statistics.Text(start + 6s), empty);
    }

    void equalValuesHaveNoSpreadAtAll()
    {
        RunStatistics statistics;
        statistics.Reset({});
        for (int i = 0; i < 1000000; ++i)
            statistics.AddRecord(40001);
        QVERIFY(statistics.Sigma() == 0.0);
        QVERIFY(statistics.Mean() == 40001.0);
        QCOMPARE(statistics.Text(std::chrono::steady_clock::time_point{} + 200s),
                 std::string("records 1000000 · 5000.0/s · time-outs 0 · stray 0 · value min 40001 max 40001 mean 40001.0 "
                             "σ 0.0"));
    }

    // Ten million values at the top of the range: a plain sum of squares cancels to nonsense here.
    void aSmallSpreadAtLargeValuesStaysExact()
    {
        RunStatistics statistics;
        statistics.Reset({});
        for (int i = 0; i < 10000000; ++i)
            statistics.AddRecord(static_cast<uint16_t>(65534 + i % 2));
        QCOMPARE(statistics.Sigma(), 0.5);
        QCOMPARE(statistics.Mean(), 65534.5);
        QCOMPARE(statistics.Text({}),
                 std::string("records 10000000 · 0.0/s · time-outs 0 · stray 0 · value min 65534 max 65535 mean "
                             "65534.5 σ 0.5"));
    }
};

QTEST_APPLESS_MAIN(TestRecord)
#include "test_record.moc"
