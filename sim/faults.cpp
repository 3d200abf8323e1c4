#include "faults.h"

namespace korva::sim {

bool Faults::drops(std::uint64_t commandNumber) const
{
    return dropEvery != 0 && commandNumber % dropEvery == 0;
}

void Faults::apply(std::uint16_t order, Bytes& answer) const
{
    if (silent || answer.empty()) {
        answer.clear();
        return;
    }
    if (wrongEcho && order == LineCheck) {
        answer[4] = static_cast<std::uint8_t>(kEchoWord & 0xFF);
        answer[5] = 0x00;
    }
    if (truncate && answer.size() > *truncate)
        answer.resize(*truncate);
    answer.insert(answer.end(), extra, kJunk);
}

}  // namespace korva::sim
