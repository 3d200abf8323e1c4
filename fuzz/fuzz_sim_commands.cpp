// The simulated sensor's command input: bytes from the PC arrive in chunks, some close together,
// some after a pause; the frame assembler cuts command frames from them, the sensor engine
// answers each, the faults change the answer and the line pacer times its chunks, as the
// pseudo-terminal server does.
//
// Input: byte 0 chooses the chunk sizes, byte 1 the pause between chunks, the pacing and the
// faults; the rest is what the PC sends.
#include "chunks.h"

#include "faults.h"
#include "frameassembler.h"
#include "linepacer.h"
#include "sensorengine.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace korva::sim;
using korva::fuzz::ByteSpan;
using std::chrono::milliseconds;

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_sim_commands: %s\n", what);
    std::abort();
}

// Pauses between chunks: none, short, either side of the partial-frame drop, and long enough for
// the object to move.
constexpr std::array<milliseconds, 8> kPauses = {milliseconds(0),   milliseconds(1),   milliseconds(5),
                                                 milliseconds(99),  milliseconds(100), milliseconds(101),
                                                 milliseconds(1000), milliseconds(3700)};

struct Setting {
    milliseconds pause;
    bool paced;
    Faults faults;
};

Setting SettingOf(std::uint8_t byte)
{
    Setting setting{kPauses[byte & 7], (byte & 0x08) != 0, {}};
    setting.faults.wrongEcho = (byte & 0x10) != 0;
    if ((byte & 0x20) != 0)
        setting.faults.truncate = byte & 0x07;
    setting.faults.extra = (byte & 0x40) != 0 ? 3 : 0;
    setting.faults.dropEvery = (byte & 0x80) != 0 ? 2 : 0;
    return setting;
}

void CheckFrame(const Bytes& frame)
{
    if (frame.size() != kFrameBytes || frame[0] != kSyncHigh || frame[1] != kSyncLow)
        Fail("a command frame was cut out that is not 36 bytes starting with 00 55");
}

void CheckAnswer(const Bytes& frame, const Bytes& answer)
{
    const bool block = frameOrder(frame) == DataBlock && answer.size() == 2 * kBlockWords;
    const bool answerFrame = answer.size() == kFrameBytes && answer[0] == kSyncHigh && answer[1] == kSyncLow &&
                             frameOrder(answer) == frameOrder(frame);
    if (!answer.empty() && !block && !answerFrame)
        Fail("an answer is neither an answer frame to the command nor a data block");
}

// Paced answers go out in chunks of a UART's FIFO, unpaced ones whole.
void CheckChunks(const std::vector<LinePacer::Chunk>& chunks, const Bytes& answer, bool paced)
{
    const std::size_t largest = paced ? LinePacer::kChunkBytes : answer.size();
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        if (chunks[i].bytes.size() > largest || (i > 0 && chunks[i].due < chunks[i - 1].due))
            Fail("the answer's chunks are too large or out of order");
        bytes += chunks[i].bytes.size();
    }
    if (bytes != answer.size())
        Fail("the answer's chunks do not carry the whole answer");
}

// The sensor as the pseudo-terminal server runs it, without the terminal.
class Sensor {
public:
    explicit Sensor(const Setting& setting) : setting_(setting), pacer_(setting.paced, milliseconds(0)) {}

    void Receive(ByteSpan chunk)
    {
        assembler_.expire(now_);
        for (const FrameAssembler::Frame& frame : assembler_.feed(chunk, now_))
            Answer(frame);
        now_ += setting_.pause;
    }

private:
    void Answer(const FrameAssembler::Frame& frame)
    {
        CheckFrame(frame.bytes);
        if (setting_.faults.drops(++commands_))
            return;
        const double t = std::chrono::duration<double>(now_ - epoch_).count();
        Bytes answer = engine_.handle(frame.bytes, t);
        CheckAnswer(frame.bytes, answer);
        setting_.faults.apply(frameOrder(frame.bytes), answer);
        CheckChunks(pacer_.schedule(answer, frame.firstByte, now_), answer, setting_.paced);
    }

    const Setting setting_;
    const Clock::time_point epoch_{};
    Clock::time_point now_{};
    SensorEngine engine_{1};
    FrameAssembler assembler_;
    LinePacer pacer_;
    std::uint64_t commands_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    Sensor sensor(SettingOf(data[1]));
    korva::fuzz::InChunks(data[0], ByteSpan(data + 2, size - 2), [&sensor](ByteSpan chunk) { sensor.Receive(chunk); });
    return 0;
}
