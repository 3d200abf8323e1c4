// The wire: the parameter packet and its variables, building command frames and decoding answer
// frames.
#include "link/Com232.h"

#include <algorithm>

namespace korva {

uint16_t power, pwrMode, vThd, bVal, polarity, eMode, eBeg, eEnd, tVal, tTol, iGain, ePoti, ccdMode, pStart,
    bMode, para15;
uint16_t pp[PNUM];
int sync;
int order;
unsigned char szWriteBuf[BUFSIZE];
unsigned char szReadBuf[BUFSIZE];

const char* const PARAMETER_NAMES[PNUM] = {"power", "pwrMode", "vThd", "bVal", "polarity", "eMode",
                                           "eBeg",  "eEnd",    "tVal", "tTol", "iGain",    "ePoti",
                                           "ccdMode", "pStart", "bMode", "para15"};

const uint16_t PARAMETER_MAX[PNUM] = {1000, 1, 1023, 1023, 1, 4, 1024, 1024, 1024, 512, 1, 1, 2, 1023, 2, 1023};

namespace {

// The variables behind the words of the parameter packet, in packet order.
uint16_t* const packetVariables[PNUM] = {&power, &pwrMode, &vThd,    &bVal,  &polarity, &eMode, &eBeg,  &eEnd,
                                         &tVal,  &tTol,    &iGain,   &ePoti, &ccdMode,  &pStart, &bMode, &para15};

void PutWord(unsigned char* at, uint16_t word)
{
    at[0] = static_cast<unsigned char>(word >> 8);
    at[1] = static_cast<unsigned char>(word & 0xFF);
}

}  // namespace

uint16_t WordAt(const unsigned char* at)
{
    return static_cast<uint16_t>(at[0] * 256 + at[1]);
}

void FillTxBuf(uint16_t orderCode, const uint16_t* words)
{
    PutWord(szWriteBuf, static_cast<uint16_t>(sync));
    PutWord(szWriteBuf + 2, orderCode);
    for (int i = 0; i < PNUM; ++i)
        PutWord(szWriteBuf + 4 + 2 * i, words[i]);
}

// The four header bytes carry nothing the program uses.
void GetRxBuf(int count)
{
    const int words = std::clamp(count, 0, PNUM);
    for (int i = 0; i < words; ++i)
        pp[i] = WordAt(szReadBuf + 4 + 2 * i);
}

void PackVariables(uint16_t* packet)
{
    for (int i = 0; i < PNUM; ++i)
        packet[i] = *packetVariables[i];
}

void UnpackVariables(const uint16_t* packet)
{
    for (int i = 0; i < PNUM; ++i)
        *packetVariables[i] = packet[i];
}

void CopyVarsToPP()
{
    PackVariables(pp);
}

void CopyPPtoVars()
{
    UnpackVariables(pp);
}

}  // namespace korva
