// The receive path: bytes from the sensor arrive on a real pseudo-terminal in chunks, wait in the
// serial port's input queue, and the receive handler decodes each complete frame into pp.
//
// The program is started once with COM1 on the slave side of a pseudo-terminal pair; every input
// is written to the master side chunk by chunk, each chunk handed over by the program's own event
// processing before the next one is written, as the answer to a request. A model of the handler
// checks the outcome: the queue fills until it holds a frame, then the first 36 bytes are decoded
// and the rest is discarded; every later frame answers no request and is dropped and counted.
#include "chunks.h"
#include "support/StartProgram.h"

#include "link/Com232.h"
#include "rs232.h"
#include "userint.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace korva;
using korva::fuzz::ByteSpan;

namespace {

// The sensor's end of the line. The slave stays open here too, so the bytes still waiting for the
// program can be counted.
int s_master = -1;
int s_slave = -1;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_receive: %s\n", what);
    std::abort();
}

std::string OpenLine()
{
    char name[256] = {};
    if (openpty(&s_master, &s_slave, name, nullptr, nullptr) != 0)
        Fail("no pseudo-terminal");
    termios tio{};
    tcgetattr(s_slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(s_slave, TCSANOW, &tio);
    fcntl(s_master, F_SETFL, fcntl(s_master, F_GETFL) | O_NONBLOCK);
    return name;
}

// Discards what the program sent to the sensor.
void DrainMaster()
{
    char buffer[256];
    while (read(s_master, buffer, sizeof buffer) > 0) {
    }
}

int WaitingOnLine()
{
    int count = 0;
    ioctl(s_slave, FIONREAD, &count);
    return count;
}

// Writes one chunk as the sensor would, then processes events until the program has taken every
// byte of it off the line.
void Send(ByteSpan chunk)
{
    size_t written = 0;
    while (written < chunk.size()) {
        const ssize_t n = write(s_master, chunk.data() + written, chunk.size() - written);
        if (n > 0)
            written += static_cast<size_t>(n);
        else if (errno != EAGAIN && errno != EINTR)
            Fail("writing to the pseudo-terminal failed");
    }
    pollfd arrival{s_slave, POLLIN, 0};
    poll(&arrival, 1, 1000);
    while (WaitingOnLine() > 0)
        ProcessSystemEvents();
}

// What the receive handler has to make of the same chunks.
struct HandlerModel {
    std::vector<uint8_t> queue;
    bool decoded = false;
    uint16_t words[PNUM] = {};
    uint64_t stray = 0;

    void Take(ByteSpan chunk)
    {
        queue.insert(queue.end(), chunk.begin(), chunk.end());
        if (queue.size() < static_cast<size_t>(FRAMELEN))
            return;
        if (decoded) {
            ++stray;
        } else {
            for (int i = 0; i < PNUM; ++i)
                words[i] = static_cast<uint16_t>(queue[4 + 2 * i] << 8 | queue[5 + 2 * i]);
            decoded = true;
        }
        queue.clear();
    }
};

void Check(const HandlerModel& model, const uint16_t* ppBefore, uint64_t strayBefore)
{
    if ((rx_flag == 1) != model.decoded)
        Fail(model.decoded ? "a complete frame was not decoded" : "a frame was decoded that never arrived");
    if (!std::equal(pp, pp + PNUM, model.decoded ? model.words : ppBefore))
        Fail("pp does not hold the words of the frame received");
    if (strayFrames - strayBefore != model.stray)
        Fail("frames after the answer were not dropped and counted");
    if (GetInQLen(com) != static_cast<int>(model.queue.size()))
        Fail("the input queue does not hold the bytes after the last frame");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!test::StartProgram(OpenLine(), test::MainPanel::Hidden))
        Fail("the program did not start (is its panel file beside the fuzzer?)");
    DrainMaster();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    rx_flag = 0;
    awaitedOrder = ORDER_MEASURE;
    uint16_t ppBefore[PNUM];
    std::copy(pp, pp + PNUM, ppBefore);
    const uint64_t strayBefore = strayFrames;
    HandlerModel model;
    fuzz::InChunks(data[0], ByteSpan(data + 1, size - 1), [&model](ByteSpan chunk) {
        Send(chunk);
        model.Take(chunk);
    });
    Check(model, ppBefore, strayBefore);
    awaitedOrder = 0;
    FlushInQ(com);
    DrainMaster();
    return 0;
}
