// The device link through a real pseudo-terminal: frames, the receive handler, opening and
// greeting the sensor, the port ring and a pulled cable.
#include "support/Program.h"
#include "support/SensorOnCom1.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace korva;
using namespace korva::test;

namespace {

Bytes SentFrame()
{
    return Bytes(szWriteBuf, szWriteBuf + FRAMELEN);
}

// Answers the line check with `echo` and a parameter read-back with `parameters`.
ScriptedPeer::Script Sensor(uint16_t echo, const sim::Words& parameters)
{
    return [echo, parameters](const Bytes& command) {
        switch (sim::frameOrder(command)) {
        case ORDER_LINE_CHECK:
            return sim::encodeFrame(ORDER_LINE_CHECK, {echo});
        case ORDER_GET_RAM:
            return sim::encodeFrame(ORDER_GET_RAM, parameters);
        default:
            return Bytes{};
        }
    };
}

const sim::Words sensorRam{700, 1, 300, 20, 0, 9, 1025, 900, 600, 600, 1, 0, 7, 1024, 2, 2000};

}  // namespace

class TestLink : public QObject, public SensorOnCom1 {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(StartProgram()); }

    void commandFrameLayout()
    {
        korva::sync = SYNC_WORD;
        std::fill(std::begin(pp), std::end(pp), 0);
        FillTxBuf(ORDER_LINE_CHECK, pp);
        Bytes expected(FRAMELEN, 0);
        expected[1] = SYNC_WORD;
        expected[3] = ORDER_LINE_CHECK;
        QCOMPARE(SentFrame(), expected);

        pp[0] = 500;
        pp[15] = 0xFFFF;
        FillTxBuf(ORDER_MEASURE, pp);
        QCOMPARE(szWriteBuf[2], 0x00);
        QCOMPARE(szWriteBuf[3], uint8_t{ORDER_MEASURE});
        QCOMPARE(szWriteBuf[4], 0x01);
        QCOMPARE(szWriteBuf[5], 0xF4);
        QCOMPARE(szWriteBuf[34], 0xFF);
        QCOMPARE(szWriteBuf[35], 0xFF);
    }

    void answerDecodingIgnoresHeaderAndRepeats()
    {
        const Bytes frame = sim::encodeFrame(0, {0x1234, 0, 0xFFFF, 7});
        std::copy(frame.begin(), frame.end(), szReadBuf);
        szReadBuf[0] = 0xDE;  // arbitrary header
        szReadBuf[3] = 0x42;
        GetRxBuf(PNUM);
        const std::vector<uint16_t> first(pp, pp + PNUM);
        QCOMPARE(first[0], uint16_t{0x1234});
        QCOMPARE(first[2], uint16_t{0xFFFF});
        QCOMPARE(first[3], uint16_t{7});
        GetRxBuf(PNUM);
        QCOMPARE(std::vector<uint16_t>(pp, pp + PNUM), first);
    }

    void packetCopiesAreExactForEveryValue()
    {
        for (uint32_t v = 0; v <= 0xFFFF; ++v) {
            for (int i = 0; i < PNUM; ++i)
                pp[i] = static_cast<uint16_t>(v + i);
            CopyPPtoVars();
            std::fill(std::begin(pp), std::end(pp), 0);
            CopyVarsToPP();
            for (int i = 0; i < PNUM; ++i)
                if (pp[i] != static_cast<uint16_t>(v + i))
                    QFAIL(qPrintable(QString("word %1 of value %2 came back as %3").arg(i).arg(v).arg(pp[i])));
        }
        QCOMPARE(power, uint16_t{0xFFFF});  // word 0 of the last pass, no range applied
    }

    void goodSensorIsGreetedAndReadBack()
    {
        target = EEPROM;
        UsePeer(Sensor(ECHO_WORD, sensorRam));
        QCOMPARE(StatusText(), std::string("Parameter-frame received! - Line Ok!"));
        QCOMPARE(target, RAM);
        const auto commands = peer->Commands();
        QCOMPARE(commands.size(), size_t{2});
        QCOMPARE(sim::frameOrder(commands[0]), uint16_t{ORDER_LINE_CHECK});
        QCOMPARE(sim::frameOrder(commands[1]), uint16_t{ORDER_GET_RAM});
        // Shown with out-of-range values replaced; ccdMode and bMode are taken as they are.
        QCOMPARE(Value(panelHandle, PANEL_SLIDEPOWER), 700);
        QCOMPARE(Value(panelHandle, PANEL_DROPDEVALMODE), 4);
        QCOMPARE(Value(panelHandle, PANEL_NEDITEDGELEFT), 200);
        QCOMPARE(Value(panelHandle, PANEL_NEDITEDGERIGHT), 900);
        QCOMPARE(Value(panelPopUp, POPUP_NEDITTOLERANCE), 128);
        QCOMPARE(Value(panelHandle, PANEL_NUMTOLERANCE), 128);
        QCOMPARE(Value(panelPopUp, POPUP_NEDITTEACH), 600);
        QCOMPARE(Value(panelPopUp, POPUP_NSLIDEPIXELSTART), 1);
        QCOMPARE(Value(panelPopUp, POPUP_NUMPIXELEND), 256);
        QCOMPARE(ccdMode, uint16_t{7});
        QCOMPARE(bMode, uint16_t{2});
        QCOMPARE(para15, uint16_t{0});
        QCOMPARE(pp[9], uint16_t{600});  // the packet keeps what was received
        QVERIFY(!Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND));
        QCOMPARE(ttick, uint16_t{0});
    }

    void silentSensorTimesOut()
    {
        target = EEPROM;
        QElapsedTimer clock;
        clock.start();
        UsePeer({});
        const qint64 took = clock.elapsed();
        QCOMPARE(StatusText(), std::string("Timeout-RS-232..."));
        QCOMPARE(target, EEPROM);
        QVERIFY2(took > 1400 && took < 2500, qPrintable(QString::number(took)));
        QCOMPARE(peer->Commands().size(), size_t{1});  // no read-back after a failed check
    }

    void wrongEchoFailsTheLine()
    {
        UsePeer(Sensor(0xAA00, sensorRam));
        QCOMPARE(StatusText(), std::string("read error - not sync byte 0xAA!"));
        QCOMPARE(peer->Commands().size(), size_t{1});
    }

    // A loopback plug (or crossed lines) sends the line check straight back; with power 170 even
    // its first word is the sensor's 0x00AA. Still no sensor: nothing is read back.
    void loopbackIsNoSensor()
    {
        power = 170;
        UsePeer([](const Bytes& command) { return command; });
        power = 500;
        QCOMPARE(StatusText(), std::string("read error - not sync byte 0xAA!"));
        QCOMPARE(peer->Commands().size(), size_t{1});
    }

    void missingDeviceIsReported()
    {
        CloseCom(com);
        qputenv("KORVA_COM1", "/nonexistent/korva-tty");
        InitRS232(com);
        QCOMPARE(StatusText(), std::string("No serial port found"));
        // The operating system's reason is one hover away.
        QVERIFY(!Control(panelHandle, PANEL_STATUS)->toolTip().isEmpty());
    }

    // Frames are taken whole, and only while an answer is due (as after a request went out).
    void receiveHandlerTakesWholeFramesOnly()
    {
        UsePeer(Sensor(ECHO_WORD, sensorRam));
        rx_flag = 0;
        awaitedOrder = ORDER_GET_RAM;
        Bytes frame = sim::encodeFrame(0, {0x0102, 0x0304});
        peer->Send(Bytes(frame.begin(), frame.end() - 1));
        ProcessFor(100);
        QCOMPARE(rx_flag, 0);
        QCOMPARE(GetInQLen(com), FRAMELEN - 1);
        peer->Send({frame.back()});
        QVERIFY(ProcessUntil([] { return rx_flag == 1; }));
        QCOMPARE(pp[0], uint16_t{0x0102});
        QCOMPARE(GetInQLen(com), 0);
        QVERIFY(!AnswerDue());

        rx_flag = 0;
        awaitedOrder = ORDER_MEASURE;
        frame = sim::encodeFrame(0, {0x0A0B});
        frame.insert(frame.end(), {1, 2, 3, 4});
        peer->Send(frame);
        QVERIFY(ProcessUntil([] { return rx_flag == 1; }));
        QCOMPARE(pp[0], uint16_t{0x0A0B});
        QCOMPARE(graphrefresh, 1);  // an answer to a measurement order is a record to draw
        ProcessFor(50);
        QCOMPARE(GetInQLen(com), 0);  // the four extra bytes are flushed

        // A frame that answers no request is dropped and counted; pp keeps the last answer.
        rx_flag = 0;
        graphrefresh = 0;
        const uint64_t stray = strayFrames;
        peer->Send(sim::encodeFrame(ORDER_MEASURE, {0x0C0D}));
        QVERIFY(ProcessUntil([&] { return strayFrames == stray + 1; }));
        QCOMPARE(rx_flag, 0);
        QCOMPARE(graphrefresh, 0);
        QCOMPARE(pp[0], uint16_t{0x0A0B});
        QCOMPARE(GetInQLen(com), 0);

        peer->Send({0x55});  // the event character alone is not a frame
        ProcessFor(100);
        QCOMPARE(GetInQLen(com), 1);
        FlushInQ(com);
    }

    void failedPortChangeClosesTheOldPort()
    {
        UsePeer(Sensor(ECHO_WORD, sensorRam));
        QVERIFY(GetInQLen(1) >= 0);
        qputenv("KORVA_COM2", "/nonexistent/korva-tty2");
        auto* ring = qobject_cast<QComboBox*>(Control(panelHandle, PANEL_DROPDCOM));
        QVERIFY(ring != nullptr);
        ring->setFocus();
        QTest::keyClick(ring, Qt::Key_Down);  // the operator picks COM2
        QVERIFY(ProcessUntil([] { return com == 2; }));
        ProcessFor(100);
        QCOMPARE(StatusText(), std::string("No serial port found"));
        QVERIFY(GetInQLen(1) < 0);
        QTest::keyClick(ring, Qt::Key_Up);
        QVERIFY(ProcessUntil([] { return StatusText() == "Parameter-frame received! - Line Ok!"; }));
        QCOMPARE(com, 1);
        QCOMPARE(peer->Commands().size(), size_t{4});  // greeted again, once
    }

    void pulledCableDuringReadBack()
    {
        UsePeer(Sensor(ECHO_WORD, sensorRam));
        ScriptedPeer* cable = peer.get();
        cable->SetScript([](const Bytes&) { return Bytes{}; });
        QTimer::singleShot(200, [cable] { cable->Close(); });
        const uint16_t before = power;
        {
            const LineHold hold;  // as Get holds it: the port watch leaves a held line alone
            PushGET(RAM);
        }
        QCOMPARE(StatusText(), std::string("Timeout-RS-232..."));
        QCOMPARE(power, before);
        QVERIFY(ComWrt(com, "x", 1) < 0);

        // Once the sensor is back, choosing the port again reopens it.
        UsePeer(Sensor(ECHO_WORD, sensorRam));
        QCOMPARE(StatusText(), std::string("Parameter-frame received! - Line Ok!"));
    }
};

QTEST_APPLESS_MAIN(TestLink)
#include "test_link.moc"
