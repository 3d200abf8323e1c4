// The layer without widgets as a program without windows links it (korva_platform_core alone): it
// starts without a display, runs deferred calls and tickers, and writes and reads files.
#include "rs232.h"
#include "runtime.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <string>

using namespace korva;

namespace {

void ProcessFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        ProcessSystemEvents();
}

void Count(void* calls)
{
    ++*static_cast<int*>(calls);
}

}  // namespace

class TestCoreRuntime : public QObject {
    Q_OBJECT

private slots:
    // main() made the application object with InitRunTime; a second call keeps it.
    void startsWithoutADisplay()
    {
        QCoreApplication* app = QCoreApplication::instance();
        QVERIFY(app != nullptr);
        QCOMPARE(InitRunTime(0, nullptr), 1);
        QCOMPARE(QCoreApplication::instance(), app);
        // The serial room is linked in as well, without anything of the panels.
        QCOMPARE(ComWrt(1, "x", 1), int(COM_ERR_NOT_OPEN));
    }

    void deferredCallRunsDuringEventProcessing()
    {
        int calls = 0;
        QCOMPARE(PostDeferredCall(Count, &calls), 0);
        QCOMPARE(calls, 0);
        ProcessFor(100);
        QCOMPARE(calls, 1);
    }

    void tickerTicksOnlyWhileEnabled()
    {
        int ticks = 0;
        const int ticker = NewTicker(50, Count, &ticks);
        QVERIFY(ticker > 0);
        QCOMPARE(TickerEnabled(ticker), 0);
        QCOMPARE(EnableTicker(ticker, 1), 0);
        QCOMPARE(TickerEnabled(ticker), 1);
        ProcessFor(1000);
        QCOMPARE(EnableTicker(ticker, 0), 0);
        QVERIFY2(ticks >= 8 && ticks <= 22, qPrintable(QStringLiteral("%1 ticks in 1 s").arg(ticks)));
        const int before = ticks;
        ProcessFor(300);
        QCOMPARE(ticks, before);
        QCOMPARE(TickerEnabled(ticker), 0);
    }

    void rowFileIsReadBack()
    {
        const QTemporaryDir folder;
        const std::string path = folder.filePath(QStringLiteral("rows.txt")).toStdString();
        bool notAFile = false;
        int error = 0;
        const int file = OpenRowFile(path, &notAFile, &error);
        QVERIFY2(file >= 0, strerror(error));
        const std::string rows = "10\n20\n";
        QCOMPARE(WriteRowFile(file, rows.data(), rows.size(), &error), rows.size());
        QCOMPARE(SyncRowFile(file), 0);
        QCOMPARE(RowFileSize(file), int64_t(rows.size()));
        QCOMPARE(CloseRowFile(file), 0);
        std::array<uint32_t, 2> values{};
        QCOMPARE(FileToArray(path, values.data(), values.size()), 0);
        QCOMPARE(values[0], 10u);
        QCOMPARE(values[1], 20u);
    }
};

int main(int argc, char** argv)
{
    InitRunTime(argc, argv);
    TestCoreRuntime test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_core_runtime.moc"
