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
