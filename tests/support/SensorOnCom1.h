// Puts a sensor on COM1 for a test: a scripted peer or the simulated sensor on a pseudo-terminal
// (so, Linux only).
#pragma once

#include "ptysensor.h"
#include "support/Program.h"
#include "support/Pty.h"

#include <memory>
#include <string>

namespace korva::test {

class SensorOnCom1 {
public:
    std::unique_ptr<ScriptedPeer> peer;
    std::unique_ptr<sim::PtySensor> sensor;

    // A peer that greets like the sensor (the line check's echo, the start values read back) and
    // answers everything else as `rest` says: the greeting leaves the line settled, so what a test
    // does next goes out at once.
    static ScriptedPeer::Script Greeted(ScriptedPeer::Script rest = {})
    {
        return [rest](const Bytes& command) {
            switch (sim::frameOrder(command)) {
            case ORDER_LINE_CHECK:
                return sim::encodeFrame(ORDER_LINE_CHECK, {ECHO_WORD});
            case ORDER_GET_RAM:
                return sim::encodeFrame(ORDER_GET_RAM, sim::kStartParameters);
            default:
                return rest ? rest(command) : Bytes{};
            }
        };
    }

    void UsePeer(ScriptedPeer::Script script)
    {
        sensor.reset();
        peer = std::make_unique<ScriptedPeer>(std::move(script));
        Open(peer->path());
    }

    static sim::SensorOptions Unpaced()
    {
        sim::SensorOptions options;
        options.pacing = false;
        return options;
    }

    void UseSimulator(const sim::SensorOptions& options = Unpaced())
    {
        peer.reset();
        sensor = std::make_unique<sim::PtySensor>(options);
        sensor->start();
        Open(sensor->devicePath());
    }

private:
    static void Open(const std::string& path)
    {
        CloseCom(com);
        qputenv("KORVA_COM1", QByteArray::fromStdString(path));
        com = 1;
        InitRS232(com);
    }
};

}  // namespace korva::test
