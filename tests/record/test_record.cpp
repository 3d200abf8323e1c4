// The record file on real files, FIFOs and devices (and a real full or unmounted disk) and the run
// statistics with their text line.
#include "record/Recorder.h"
#include "record/RunStatistics.h"
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

const std::string HEADER =
    "time,seconds,edge 1,edge 2,value,teach,input state,window start pixel,edge count,start,end\n";

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
        QVERIFY(recorder.Open(path.toLocal8Bit().constData(), At(0ms)));
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
        QVERIFY(recorder.Open(path.toLocal8Bit().constData(), At(0ms)));
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

    // A FIFO named *.csv, with a reader or without (where opening it for writing would wait for one
    // for ever), and a device are refused at once and never opened: a FIFO's reader sees a writer
    // come and go as a hang-up.
    void onlyARegularFileOrANewNameIsOpened()
    {
        Recorder recorder;
#ifdef _WIN32
        // Device names are devices in every folder.
        QVERIFY(!recorder.Open(QFile::encodeName(dir.filePath("nul.csv")).constData(), At(0ms)));
        QCOMPARE(recorder.Fault(), RecordFault::NotAFile);
#else
        const QByteArray fifo = QFile::encodeName(dir.filePath("pipe.csv"));
        QCOMPARE(mkfifo(fifo.constData(), 0644), 0);
        const int reader = open(fifo.constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        QVERIFY(!recorder.Open(fifo.constData(), At(0ms)));
        QCOMPARE(recorder.Fault(), RecordFault::NotAFile);
        pollfd hangUp{reader, POLLIN, 0};
        QCOMPARE(poll(&hangUp, 1, 0), 0);
        close(reader);

        QVERIFY(!recorder.Open(fifo.constData(), At(0ms)));
        QCOMPARE(recorder.Fault(), RecordFault::NotAFile);
        struct stat status{};
        QVERIFY(lstat(fifo.constData(), &status) == 0 && S_ISFIFO(status.st_mode));

        QVERIFY(!recorder.Open("/dev/null", At(0ms)));
        QCOMPARE(recorder.Fault(), RecordFault::NotAFile);
#endif
        QVERIFY(!recorder.Open(QFile::encodeName(dir.filePath("no folder/run.csv")).constData(), At(0ms)));
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
        QVERIFY(recorder.Open(QFile::encodeName(opened).constData(), At(0ms)));
        QCOMPARE(ReadAll(path), HEADER);
        QVERIFY(recorder.Append(WORDS.data(), At(0ms)));
        QVERIFY(recorder.Flush());
        QVERIFY(recorder.Close());
        QCOMPARE(ReadAll(path), HEADER + ROW);
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
            return recorder.Open(path.constData(), At(0ms)) && recorder.Fault() == RecordFault::None &&
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
        QVERIFY(recorder.Open(QFile::encodeName(path).constData(), At(0ms)));
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
        const Words words{120, 880, 500, 512, 3, 256, 2, 1, 0};
        Recorder recorder;
        QVERIFY(recorder.Open(path.toLocal8Bit().constData(), At(0ms)));
        for (int ms = 0; ms <= 1000; ms += 100)
            QVERIFY(recorder.Append(words.data(), At(std::chrono::milliseconds(ms))));
        const std::size_t firstSecond = Lines(ReadAll(path)).size();
        QCOMPARE(firstSecond, std::size_t{12});

        // Another program takes the rest of the disk; the next second's rows no longer fit.
        QVERIFY(disk.Fill());
        for (int ms = 1003; ms < 2000; ms += 3)
            QVERIFY(recorder.Append(words.data(), At(std::chrono::milliseconds(ms))));
        QVERIFY(!recorder.Append(words.data(), At(2000ms)));
        QVERIFY(!recorder.IsOpen());
        QCOMPARE(recorder.Fault(), RecordFault::WriteFailed);
        QCOMPARE(recorder.FaultErrno(), ENOSPC);
        QVERIFY(!recorder.Append(words.data(), At(2001ms)));
        QVERIFY(recorder.Close());

        const std::string text = ReadAll(path);
        QCOMPARE(text.back(), '\n');
        const std::vector<std::string> lines = Lines(text);
        QVERIFY(lines.size() > firstSecond);  // the rows that fitted stayed
        for (const std::string& line : lines)
            QCOMPARE(std::count(line.begin(), line.end(), ','), 10);
        QVERIFY(lines.back().ends_with(",120,880,500,512,3,256,2,1,0"));
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
