// The wire protocol between the program and the sensor, defined once: frame and packet sizes, the
// sync word, the order codes and the words of a measurement record. Plain constants, for the
// program, its tests and the benchmark.
//
// Every frame is 36 bytes, every 16-bit value high byte first. A command frame is the sync word,
// the order code and sixteen words; an answer frame is a 4-byte header and sixteen words; the
// answer to a data-block request is a bare run of words.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace korva {

// Words in a parameter packet, and bytes in a command or answer frame.
constexpr int PNUM = 16;
constexpr int FRAMELEN = 2 * PNUM + 4;
// Size of the transmit and receive buffers.
constexpr int BUFSIZE = 1024;
// Points of the video curve, read in two data blocks of 128 words.
constexpr int CURVE_POINTS = 256;

// First word of every command frame.
constexpr uint16_t SYNC_WORD = 0x0055;
// Word 0 of the answer to a line check.
constexpr uint16_t ECHO_WORD = 0x00AA;

// Order codes: what a command frame asks of the sensor.
enum Order : uint16_t {
    ORDER_SEND_RAM = 1,          // parameters to RAM; no answer
    ORDER_GET_RAM = 2,           // parameters from RAM; one answer frame
    ORDER_SEND_EEPROM = 3,       // parameters to EEPROM; no answer
    ORDER_GET_EEPROM = 4,        // parameters from EEPROM; one answer frame
    ORDER_TEACH_SETPOINT = 5,    // the current measurement becomes the set point; one answer frame
    ORDER_TEACH_BACKGROUND = 6,  // the current line becomes the background; one answer frame
    ORDER_LINE_CHECK = 7,        // echo; word 0 of the answer is ECHO_WORD
    ORDER_MEASURE = 8,           // one measurement record
    ORDER_DATA_BLOCK = 9,        // words 0 and 1: first point and block selector; a bare data block
};

// The measurement record, the answer to ORDER_MEASURE: of its sixteen words the program uses the
// first RECORD_WORDS and reads none of the rest.
constexpr int RECORD_WORDS = 9;
// Their names, in order, as CSV columns: of the record file after its time columns, and of the
// evaluation graph's table.
constexpr const char* RECORD_WORDS_HEADER =
    "edge 1,edge 2,value,teach,input state,window start pixel,edge count,start,end";
static_assert(std::ranges::count(std::string_view(RECORD_WORDS_HEADER), ',') + 1 == RECORD_WORDS,
              "one name for every record word");

}  // namespace korva
