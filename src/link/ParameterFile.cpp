// The parameter file on the platform's safe whole-file writes and bounded reads.
#include "link/ParameterFile.h"

#include "runtime.h"

#include <algorithm>

namespace korva {

namespace {

// Width of a value's field in the parameter file.
constexpr int FILE_FIELD_WIDTH = 4;

}  // namespace

bool WriteParameterFile(const std::string& path, const uint16_t* packet)
{
    uint32_t values[PNUM];
    std::copy_n(packet, PNUM, values);
    return ArrayToFile(path, values, PNUM, FILE_FIELD_WIDTH) >= 0;
}

bool ReadParameterFile(const std::string& path, uint16_t* packet)
{
    uint32_t values[PNUM];
    if (FileToArray(path, values, PNUM) < 0)
        return false;
    for (int i = 0; i < PNUM; ++i)
        packet[i] = static_cast<uint16_t>(values[i] & 0xFFFF);
    return true;
}

}  // namespace korva
