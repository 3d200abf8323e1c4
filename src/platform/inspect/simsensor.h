// Inspection of the simulated line, for tests and tools: the simulated sensor a port opened on the
// device "sim:" talks to, with its parameter sets and the commands it received (see
// sim/simulatedsensor.h, in the library korva_sim_engine).
#pragma once

namespace korva::sim {
class SimulatedSensor;
}

namespace korva {

// The sensor behind port `port` when its last successful open was on "sim:", else null. It lives
// as long as the program runs; a new open with other options starts another.
const sim::SimulatedSensor* SimulatedSensorOf(int port);

}  // namespace korva
