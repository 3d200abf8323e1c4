// The link, the exchange unit and the record file in a program that links no Qt Widgets and loads
// no panel: the simulated sensor on a pseudo-terminal, the status texts going to a sink, as a
// console program would have them.
#include "link/Com232.h"
#include "link/RunProducts.h"
#include "ptysensor.h"
#include "rs232.h"

#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <string>
#include <vector>

using namespace korva;

namespace {

class TextSink final : public Sink {
public:
    std::vector<std::string> texts;
    int reads = 0;

    void Status(const char* text) override { texts.emplace_back(text); }
    void ParametersRead() override { ++reads; }
};

std::vector<std::string> Lines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace

class TestConsole : public QObject {
    Q_OBJECT

private slots:
    void lineCheckReadBackAndRecordedExchanges()
    {
        QVERIFY(InitRunTime(0, nullptr) == 1);
        sim::SensorOptions options;
        options.numbered = true;
        sim::PtySensor sensor(options);
        sensor.start();
        qputenv("KORVA_COM1", QByteArray::fromStdString(sensor.devicePath()));
        TextSink texts;
        SetSink(&texts);

        com = 1;
        InitRS232(com);
        QCOMPARE(texts.texts.front(), std::string("Echo Check - Line Ok!"));
        QCOMPARE(texts.texts.back(), std::string("Parameter-frame received! - Line Ok!"));
        QCOMPARE(texts.reads, 1);
        sim::Words read{};
        PackVariables(read.data());
        QCOMPARE(read, sensor.ram());

        QTemporaryDir folder;
        const std::string record = folder.filePath("record.csv").toStdString();
        StartRecording(record);
        StartRunProducts();
        {
            const LineHold hold;
            for (int i = 0; i < 10; ++i)
                QVERIFY(MeasureOnce());
        }
        EndRunProducts();
        StopRecording();
        CloseCom(com);
        SetSink(nullptr);

        QCOMPARE(sensor.commandsReceived(ORDER_MEASURE), uint64_t{10});
        QCOMPARE(UnheldRequests(), uint64_t{0});
        const std::vector<std::string> rows = Lines(record);
        QCOMPARE(rows.size(), size_t{11});
        QCOMPARE(rows.front(), std::string("time,seconds,") + RECORD_WORDS_HEADER);
        for (int n = 1; n <= 10; ++n) {  // the value column, word 2, is the record's number
            const std::string& row = rows[n];
            size_t at = 0;
            for (int comma = 0; comma < 4; ++comma)
                at = row.find(',', at) + 1;
            QCOMPARE(std::stoi(row.substr(at)), n);
        }
    }
};

QTEST_GUILESS_MAIN(TestConsole)
#include "test_console.moc"
