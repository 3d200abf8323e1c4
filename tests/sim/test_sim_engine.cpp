// The protocol engine of the simulated sensor: answers, parameter sets, measurement records
// checked against the moving object and the video curve, teach and background modes; and the
// options as a command line or a port device's option text gives them.

#include "ccdmodel.h"
#include "options.h"
#include "sensorengine.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <utility>

using namespace korva::sim;

namespace {

using Curve = std::array<std::uint16_t, kCurvePoints>;
using Settings = std::initializer_list<std::pair<Param, std::uint16_t>>;

Words params(Settings settings)
{
    Words words = kStartParameters;
    for (const auto& [index, value] : settings)
        words[index] = value;
    return words;
}

Bytes command(SensorEngine& engine, std::uint16_t order, const Words& words = {}, double t = 0.0)
{
    return engine.handle(encodeFrame(order, words), t);
}

// An engine whose RAM holds the start values changed by `settings`.
SensorEngine engineWith(Settings settings)
{
    SensorEngine engine(7);
    command(engine, WriteRam, params(settings));
    return engine;
}

Words record(SensorEngine& engine, double t)
{
    return frameWords(command(engine, Measure, {}, t));
}

Curve curve(SensorEngine& engine, double t)
{
    Bytes bytes = command(engine, DataBlock, {0, 0}, t);
    const Bytes second = command(engine, DataBlock, {128, 1}, t);
    bytes.insert(bytes.end(), second.begin(), second.end());
    Curve points{};
    for (std::size_t i = 0; i < kCurvePoints; ++i)
        points[i] = wordAt(bytes, 2 * i);
    return points;
}

// Spread (max - min) of the full-line curve points lying at least `margin` pixels outside
// the object.
int groundSpread(const Curve& points, ObjectSpan object, double margin = 12)
{
    int lo = 1023, hi = 0;
    for (std::size_t i = 0; i < kCurvePoints; ++i) {
        const double x = 4.0 * i;
        if (x > object.left - margin && x < object.right + margin)
            continue;
        lo = std::min<int>(lo, points[i]);
        hi = std::max<int>(hi, points[i]);
    }
    return hi - lo;
}

int meanInside(const Curve& points, ObjectSpan object)
{
    int sum = 0, n = 0;
    for (std::size_t i = 0; i < kCurvePoints; ++i) {
        if (4.0 * i > object.left + 8 && 4.0 * i < object.right - 8) {
            sum += points[i];
            ++n;
        }
    }
    return sum / n;
}

}  // namespace

class SensorEngineTest : public QObject {
    Q_OBJECT

private slots:
    void parameterSetsLiveInRamAndEeprom();
    void lineCheckAndUnknownOrders();
    void measurementFindsTheObjectEdges();
    void edgesAreThresholdCrossingsInsideTheWindow();
    void singleEdgeReportsTheObjectSide();
    void evaluationModesAndInputState();
    void windowStartFollowsCcdMode();
    void dataBlocksCarryTheVideoCurve();
    void powerGainPolarityAndFixedBackgroundShapeTheLine();
    void teachSetPointTakesTheEvaluatedValue();
    void teachBackgroundFlattensTheLineInMode2();
    void objectMovesOverTime();
    void optionsAreReadLikeACommandLine();
};

void SensorEngineTest::parameterSetsLiveInRamAndEeprom()
{
    SensorEngine engine(1);
    const Bytes startSet = command(engine, ReadRam);
    QCOMPARE(startSet.size(), kFrameBytes);
    QCOMPARE(Bytes(startSet.begin(), startSet.begin() + 6), (Bytes{0x00, 0x55, 0x00, 0x02, 0x01, 0xF4}));
    QCOMPARE(frameWords(startSet), kStartParameters);

    const Words a{1000, 1, 300, 20, 0, 3, 10, 1000, 400, 50, 0, 1, 2, 700, 1, 0xFFFF};
    QVERIFY(command(engine, WriteRam, a).empty());
    QCOMPARE(frameWords(command(engine, ReadRam)), a);
    QCOMPARE(frameWords(command(engine, ReadEeprom)), kStartParameters);
    QCOMPARE(frameOrder(command(engine, ReadEeprom)), std::uint16_t(ReadEeprom));

    const Words b{250, 0, 600, 0, 1, 0, 100, 900, 512, 10, 1, 0, 1, 5, 0, 9};
    QVERIFY(command(engine, WriteEeprom, b).empty());
    QCOMPARE(engine.eeprom(), b);
    QCOMPARE(engine.ram(), b);

    // The words of measurement, data and teach-set-point commands are not parameters.
    command(engine, Measure, a);
    command(engine, DataBlock, {128, 1, 77});
    command(engine, TeachSetPoint, {0, 0, 0, 0, 0, 0, 0, 0, 0});
    QCOMPARE(engine.ram()[power], b[power]);
    QCOMPARE(engine.ram()[vThd], b[vThd]);

    SensorEngine restarted(1, b);
    QCOMPARE(restarted.ram(), b);
}

void SensorEngineTest::lineCheckAndUnknownOrders()
{
    SensorEngine engine(1);
    const Bytes echo = command(engine, LineCheck, kStartParameters);
    QCOMPARE(echo.size(), kFrameBytes);
    QCOMPARE(Bytes(echo.begin(), echo.begin() + 6), (Bytes{0x00, 0x55, 0x00, 0x07, 0x00, 0xAA}));

    for (std::uint16_t order : {0, 10, 255, 0x0107, 0xFFFF})
        QVERIFY2(command(engine, order, {1, 2, 3}).empty(), qPrintable(QString::number(order)));
    QCOMPARE(engine.ram(), kStartParameters);
}

// Over a whole swing, wherever both edges lie well inside the edge window, the record holds
// them within two pixels of the object's true edges, with the start-value settings.
void SensorEngineTest::measurementFindsTheObjectEdges()
{
    SensorEngine engine = engineWith({});
    int checked = 0;
    for (double t = 0; t < 8; t += 0.25) {
        const ObjectSpan object = CcdModel::objectAt(t);
        if (object.left < 205 || object.right > 795)
            continue;
        const Words r = record(engine, t);
        const QString at = QString("t=%1").arg(t);
        QVERIFY2(std::abs(r[0] - object.left) <= 2, qPrintable(at));
        QVERIFY2(std::abs(r[1] - object.right) <= 2, qPrintable(at));
        QCOMPARE(r[6], std::uint16_t(2));
        QCOMPARE(r[7], std::uint16_t(0));
        QCOMPARE(r[8], std::uint16_t(0));
        QCOMPARE(r[2], r[1]);                 // eMode 1: the right edge
        QCOMPARE(r[3], std::uint16_t(512));   // tVal
        QCOMPARE(r[4], std::uint16_t(std::abs(r[1] - 512) <= 100 ? 1 : 2));
        QCOMPARE(r[5], std::uint16_t(0));
        QVERIFY(std::all_of(r.begin() + 9, r.end(), [](std::uint16_t w) { return w == 0; }));
        ++checked;
    }
    QVERIFY(checked >= 10);
}

// Each reported edge is where the video line crosses the threshold: the window curve shows
// the pixel before it on one side and the edge pixel on the other. Edges outside the edge
// window are not reported, and a threshold beyond the video levels finds no edge.
void SensorEngineTest::edgesAreThresholdCrossingsInsideTheWindow()
{
    const double t = 0.0;
    const ObjectSpan object = CcdModel::objectAt(t);
    for (std::uint16_t threshold : {200, 512, 700}) {
        SensorEngine engine = engineWith({{vThd, threshold}});
        const Words r = record(engine, t);
        for (std::uint16_t edge : {r[0], r[1]}) {
            const auto start = std::uint16_t(edge - 100);
            command(engine, WriteRam, params({{vThd, threshold}, {ccdMode, 1}, {pStart, start}}));
            const Curve window = curve(engine, t);
            const bool leftEdge = edge == r[0];
            const int before = window[99], at = window[100];
            QVERIFY2(leftEdge ? (before >= threshold && at < threshold) : (before < threshold && at >= threshold),
                     qPrintable(QString("threshold %1 edge %2: %3 -> %4").arg(threshold).arg(edge).arg(before).arg(at)));
        }
    }

    SensorEngine narrow = engineWith({{eBeg, 620}, {eEnd, 1024}});
    QVERIFY(object.right < 620);
    const Words none = record(narrow, t);
    QCOMPARE(none[6], std::uint16_t(0));
    QCOMPARE(none[0], std::uint16_t(0));
    QCOMPARE(none[1], std::uint16_t(0));
    QCOMPARE(none[4], std::uint16_t(NoEdge));

    SensorEngine tooHigh = engineWith({{vThd, 1023}});
    const Words dark = record(tooHigh, t);
    QCOMPARE(dark[6], std::uint16_t(0));
    QCOMPARE(dark[7], std::uint16_t(1));      // the whole window reads as object
    QCOMPARE(dark[8], std::uint16_t(1));
    SensorEngine tooLow = engineWith({{vThd, 0}});
    QCOMPARE(record(tooLow, t)[6], std::uint16_t(0));
}

// With one edge in the window, word 0 holds it and the start and end words tell on which
// side the object lies: start < end when it lies to the right.
void SensorEngineTest::singleEdgeReportsTheObjectSide()
{
    const double t = 0.0;
    const ObjectSpan object = CcdModel::objectAt(t);
    const auto middle = std::uint16_t((object.left + object.right) / 2);

    SensorEngine rightOfEdge = engineWith({{eBeg, 200}, {eEnd, middle}, {eMode, 0}});
    const Words r = record(rightOfEdge, t);
    QCOMPARE(r[6], std::uint16_t(1));
    QVERIFY(std::abs(r[0] - object.left) <= 2);
    QCOMPARE(r[1], std::uint16_t(0));
    QCOMPARE(r[7], std::uint16_t(0));
    QCOMPARE(r[8], std::uint16_t(1));
    QCOMPARE(r[2], r[0]);                     // eMode 0 works on a single edge

    SensorEngine leftOfEdge = engineWith({{eBeg, middle}, {eEnd, 900}, {eMode, 0}});
    const Words l = record(leftOfEdge, t);
    QCOMPARE(l[6], std::uint16_t(1));
    QVERIFY(std::abs(l[0] - object.right) <= 2);
    QCOMPARE(l[7], std::uint16_t(1));
    QCOMPARE(l[8], std::uint16_t(0));

    // Modes that need both edges have no value and report no edge state.
    for (std::uint16_t mode : {1, 2, 3}) {
        command(leftOfEdge, WriteRam, params({{eBeg, middle}, {eEnd, 900}, {eMode, mode}}));
        const Words m = record(leftOfEdge, t);
        QCOMPARE(m[2], std::uint16_t(0));
        QCOMPARE(m[4], std::uint16_t(NoEdge));
    }
}

void SensorEngineTest::evaluationModesAndInputState()
{
    const double t = 0.0;
    SensorEngine engine(3);
    const Words edges = record(engine, t);
    const int left = edges[0], right = edges[1];
    const int expected[] = {left, right, right - left, (left + right) / 2, (left + right) / 2};
    for (std::uint16_t mode = 0; mode <= 4; ++mode) {
        command(engine, WriteRam, params({{eMode, mode}, {tVal, std::uint16_t(expected[mode] + 11)}, {tTol, 11}}));
        const Words inside = record(engine, t);
        QCOMPARE(int(inside[2]), expected[mode]);
        QCOMPARE(inside[3], std::uint16_t(expected[mode] + 11));
        QCOMPARE(inside[4], std::uint16_t(InTolerance));

        command(engine, WriteRam, params({{eMode, mode}, {tVal, std::uint16_t(expected[mode] + 11)}, {tTol, 10}}));
        QCOMPARE(record(engine, t)[4], std::uint16_t(OutOfTolerance));
        command(engine, WriteRam, params({{eMode, mode}, {tVal, std::uint16_t(expected[mode] - 10)}, {tTol, 10}}));
        QCOMPARE(record(engine, t)[4], std::uint16_t(InTolerance));
    }
}

void SensorEngineTest::windowStartFollowsCcdMode()
{
    const double t = 0.0;
    SensorEngine engine = engineWith({{ccdMode, 1}, {pStart, 300}});
    QCOMPARE(record(engine, t)[5], std::uint16_t(300));
    command(engine, WriteRam, params({{ccdMode, 1}, {pStart, 1000}}));
    QCOMPARE(record(engine, t)[5], std::uint16_t(768));

    // Mode 1 searches only inside its window: at 0..255 the object is out of sight.
    command(engine, WriteRam, params({{ccdMode, 1}, {pStart, 0}}));
    QCOMPARE(record(engine, t)[6], std::uint16_t(0));

    // Mode 2 centres its window on the object, wherever the object is.
    for (double when : {0.0, 2.0, 6.0}) {
        const ObjectSpan object = CcdModel::objectAt(when);
        command(engine, WriteRam, params({{ccdMode, 2}, {eBeg, 0}, {eEnd, 1024}}));
        const Words r = record(engine, when);
        QVERIFY2(std::abs(r[5] + 128 - (object.left + object.right) / 2) <= 2, qPrintable(QString::number(r[5])));
        QCOMPARE(r[6], std::uint16_t(2));
    }
    // With nothing in the edge window the centre is the window's middle, kept inside the line.
    command(engine, WriteRam, params({{ccdMode, 2}, {eBeg, 0}, {eEnd, 100}}));
    QCOMPARE(record(engine, t)[5], std::uint16_t(0));
    command(engine, WriteRam, params({{ccdMode, 0}, {pStart, 300}}));
    QCOMPARE(record(engine, t)[5], std::uint16_t(0));
}

// The two blocks are bare 256-byte runs of words 0..1023 that together form the curve: every
// fourth pixel of the line, or in window modes consecutive pixels from the window start.
void SensorEngineTest::dataBlocksCarryTheVideoCurve()
{
    const double t = 0.0;
    SensorEngine engine(5);
    QCOMPARE(command(engine, DataBlock, {0, 0}, t).size(), 2 * kBlockWords);
    QCOMPARE(command(engine, DataBlock, {128, 1}, t).size(), 2 * kBlockWords);

    const Curve full = curve(engine, t);
    QVERIFY(std::all_of(full.begin(), full.end(), [](std::uint16_t v) { return v <= 1023; }));
    const ObjectSpan object = CcdModel::objectAt(t);
    for (std::size_t i = 0; i < kCurvePoints; ++i) {
        const double x = 4.0 * i;
        const bool covered = x > object.left + 4 && x < object.right - 4;
        const bool clear = x < object.left - 4 || x > object.right + 4;
        if (covered)
            QVERIFY2(full[i] < 150, qPrintable(QString("point %1: %2").arg(i).arg(full[i])));
        if (clear)
            QVERIFY2(full[i] > 600, qPrintable(QString("point %1: %2").arg(i).arg(full[i])));
    }

    for (std::uint16_t mode : {1, 2}) {
        command(engine, WriteRam, params({{ccdMode, mode}, {pStart, 402}}));
        const Curve window = curve(engine, t);
        const std::size_t start = record(engine, t)[5];
        for (std::size_t j = 0; j < kCurvePoints; ++j) {
            if ((start + j) % 4 == 0)
                QCOMPARE(window[j], full[(start + j) / 4]);
        }
    }
}

void SensorEngineTest::powerGainPolarityAndFixedBackgroundShapeTheLine()
{
    const double t = 0.0;
    const ObjectSpan object = CcdModel::objectAt(t);
    const auto level = [&](Settings settings) {
        SensorEngine engine = engineWith(settings);
        return double(curve(engine, t)[40]);   // pixel 160, outside the object
    };
    const double base = level({});
    QVERIFY(base > 600 && base < 900);
    QVERIFY(std::abs(level({{power, 250}}) - base / 2) < 20);
    QVERIFY(std::abs(level({{iGain, 0}}) - base / 2) < 20);
    QCOMPARE(level({{power, 1000}}), 1023.0);
    QVERIFY(level({{power, 0}}) < 30);
    QVERIFY(std::abs(level({{bMode, 1}, {bVal, 300}}) - (base - 300)) < 10);
    QCOMPARE(level({{bMode, 1}, {bVal, 1023}}), 0.0);
    QVERIFY(std::abs(level({{bMode, 0}, {bVal, 300}}) - base) < 10);

    // Polarity 0: a bright object on a dark ground, and the edges are still found.
    SensorEngine bright = engineWith({{polarity, 0}});
    const Curve inverted = curve(bright, t);
    QVERIFY(inverted[40] < 150);
    QVERIFY(meanInside(inverted, object) > 600);
    const Words r = record(bright, t);
    QCOMPARE(r[6], std::uint16_t(2));
    QVERIFY(std::abs(r[0] - object.left) <= 2);
    QVERIFY(std::abs(r[1] - object.right) <= 2);
}

void SensorEngineTest::teachSetPointTakesTheEvaluatedValue()
{
    const double t = 0.0;
    SensorEngine engine = engineWith({{eMode, 3}, {tVal, 100}});
    const std::uint16_t centre = record(engine, t)[2];
    const Bytes answer = command(engine, TeachSetPoint, {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}, t);
    QCOMPARE(answer.size(), kFrameBytes);
    QCOMPARE(frameOrder(answer), std::uint16_t(TeachSetPoint));
    QCOMPARE(engine.ram()[tVal], centre);
    QCOMPARE(frameWords(answer), engine.ram());
    QCOMPARE(engine.ram()[eMode], std::uint16_t(3));
    QCOMPARE(record(engine, t)[3], centre);
    QCOMPARE(record(engine, t)[4], std::uint16_t(InTolerance));

    // In width mode the set point becomes the width; without edges it stays as it was.
    command(engine, WriteRam, params({{eMode, 2}}));
    command(engine, TeachSetPoint, {}, t);
    QCOMPARE(engine.ram()[tVal], record(engine, t)[2]);
    command(engine, WriteRam, params({{eBeg, 900}, {tVal, 77}}));
    command(engine, TeachSetPoint, {}, t);
    QCOMPARE(engine.ram()[tVal], std::uint16_t(77));
}

// The background teach takes the settings it carries. Afterwards background mode 2 leaves the
// ground flat at its level, with the object still dark in it; mode 2 before any teach
// changes nothing.
void SensorEngineTest::teachBackgroundFlattensTheLineInMode2()
{
    const double t = 0.0;
    const ObjectSpan object = CcdModel::objectAt(t);
    SensorEngine engine(9);
    const Curve plain = curve(engine, t);
    QVERIFY(groundSpread(plain, object) > 100);

    const Words mode2 = params({{bMode, 2}});
    command(engine, WriteRam, mode2);
    QCOMPARE(curve(engine, t), plain);

    const Bytes answer = command(engine, TeachBackground, mode2, t);
    QCOMPARE(answer.size(), kFrameBytes);
    QCOMPARE(frameOrder(answer), std::uint16_t(TeachBackground));
    QCOMPARE(engine.ram(), mode2);
    QCOMPARE(frameWords(answer), mode2);

    for (double later : {0.0, 1.0, 3.0}) {
        const ObjectSpan moved = CcdModel::objectAt(later);
        const Curve flat = curve(engine, later);
        QVERIFY2(groundSpread(flat, moved) <= 14, qPrintable(QString::number(groundSpread(flat, moved))));
        QVERIFY(meanInside(flat, moved) < 150);
        QCOMPARE(record(engine, later)[6], std::uint16_t(2));
    }

    // Back in mode 0 the unevenness is there again.
    command(engine, WriteRam, params({}));
    QVERIFY(groundSpread(curve(engine, t), object) > 100);
}

void SensorEngineTest::objectMovesOverTime()
{
    SensorEngine engine = engineWith({{eBeg, 0}, {eEnd, 1024}, {eMode, 3}});
    const int right = record(engine, 2.0)[2];   // centre near 700
    const int left = record(engine, 6.0)[2];    // centre near 300
    QVERIFY2(right - left > 350, qPrintable(QString("%1 %2").arg(left).arg(right)));
    int previous = record(engine, 0.0)[2];
    for (double t = 0.1; t < 1.55; t += 0.1) {   // rising swing: moves steadily right
        const int now = record(engine, t)[2];
        QVERIFY(now > previous);
        QVERIFY(now - previous < 40);   // slowly: a few pixels per 100 ms
        previous = now;
    }
    QVERIFY(std::abs(record(engine, 8.0)[2] - record(engine, 0.0)[2]) <= 2);
}

// Blanks separate the words; a value follows its option or an "="; a beginning of a name that fits
// one option only stands for it; "--" ends the options; --help ends the reading.
void SensorEngineTest::optionsAreReadLikeACommandLine()
{
    const auto read = [](std::string_view text) { return parseOptions(splitOptions(text)); };
    QCOMPARE(read("--eeprom=my file").error, std::string("unexpected argument: file"));  // no blank in a name
    const ParsedOptions good = read(" --lat=30\t--sil  --seed 7 --eeprom=e.txt --drop-every 3 ");
    QVERIFY(good.error.empty() && !good.help);
    QCOMPARE(good.options.latency.count(), 30);
    QVERIFY(good.options.faults.silent);
    QCOMPARE(good.options.seed, std::uint64_t{7});
    QCOMPARE(good.options.eepromFile, std::string("e.txt"));
    QCOMPARE(good.options.faults.dropEvery, std::uint64_t{3});
    QVERIFY(good.options.pacing);

    QCOMPARE(read("--n").error, std::string("unknown option or missing value: --n"));  // --no-pacing or --numbered
    QCOMPARE(read("--silent=1").error, std::string("unknown option or missing value: --silent=1"));
    QCOMPARE(read("--silent -- --numbered").error, std::string("unexpected argument: --numbered"));
    QCOMPARE(read("--link --silent").options.linkPath, std::string("--silent"));
    QVERIFY(read("stray --help --bogus").help);
    const ParsedOptions late = read("--answer-late 5,8=800");
    QCOMPARE(late.options.lateOrders, std::uint16_t(1u << 5 | 1u << 8));
    QCOMPARE(late.options.lateBy.count(), 800);
    for (const char* wrong : {"--answer-late 800", "--answer-late 0=5", "--answer-late 16=5", "--answer-late 5,=5",
                              "--answer-late 5=10001", "--answer-late 5=x"})
        QVERIFY2(read(wrong).error.starts_with("--answer-late needs CODES=MS"), wrong);
    QVERIFY(read("").error.empty());
}

QTEST_APPLESS_MAIN(SensorEngineTest)
#include "test_sim_engine.moc"
