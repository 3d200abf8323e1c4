// The parameter file: the sixteen parameter words as unsigned numbers, one a line, right-aligned
// in four columns. The panels' Send and Get to a file and the command line use the same format.
#pragma once

#include "link/Protocol.h"

#include <cstdint>
#include <string>

namespace korva {

// Writes `packet` to `path`: complete or not at all (an old file stays as it was). False on failure.
bool WriteParameterFile(const std::string& path, const uint16_t* packet);
// Reads the first PNUM numbers of `path` into `packet` (each taken modulo 65536). Only a regular
// file of at most 4 KB is read, never a FIFO or device. False, `packet` unchanged, when the file is
// refused, cannot be read or holds fewer than PNUM numbers or a line that is not one.
bool ReadParameterFile(const std::string& path, uint16_t* packet);

}  // namespace korva
