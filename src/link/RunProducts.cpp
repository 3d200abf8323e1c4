// The run's products: the record file, the statistics and the trend, fed one measurement answer at
// a time. Nothing here allocates per record.
#include "link/RunProducts.h"

#include "link/Com232.h"
#include "record/Recorder.h"

#include <cstring>

namespace korva {

namespace {

static_assert(RECORD_WORDS <= Recorder::MAX_WORDS, "a row of the record file holds every record word");

Recorder recorder;
RunStatistics runStatistics;
Trend trend;
uint64_t strayAtStart = 0;  // strayFrames when the loop started
std::chrono::steady_clock::time_point lastFed;
std::string recordPath;     // the file being recorded to

std::string RecordFaultReason()
{
    switch (recorder.Fault()) {
    case RecordFault::NotAFile:
        return "not a regular file";
    case RecordFault::FileGone:
        return "deleted, moved, or its disk is gone";
    default:
        return recorder.FaultErrno() != 0 ? std::strerror(recorder.FaultErrno()) : "cannot be written";
    }
}

// The recording could not start, or has stopped on a fault (the recorder has closed the file, which
// ends with a whole row).
void RecordingFailed()
{
    sink().RecordingStopped("Recording stopped: " + recordPath + " - " + RecordFaultReason());
    ShowAlert(recorder.Fault() == RecordFault::FileGone ? "Record file is gone - recording stopped!"
                                                        : "Cannot write record file!");
}

// The operator learns once that the file was cut short in place and the recording went on.
void NoteRestart()
{
    if (recorder.TakeRestartNotice())
        ShowAlert("Record file was cut short - recording goes on from a new header");
}

}  // namespace

void StartRunProducts()
{
    const auto now = std::chrono::steady_clock::now();
    runStatistics.Reset(now);
    strayAtStart = strayFrames;
    trend.Reset(now);
}

void FeedRunProducts()
{
    const RecordTime now = RecordTime::Now();
    lastFed = now.steady;
    runStatistics.AddRecord(pp[2]);
    trend.Add(pp[2], now.steady);
    if (recorder.IsOpen() && !recorder.Append(pp, now))
        RecordingFailed();
    NoteRestart();
}

void NoteRunTimeout()
{
    runStatistics.AddTimeOut();
}

void EndRunProducts()
{
    if (!recorder.Flush())
        RecordingFailed();
    NoteRestart();
}

std::chrono::steady_clock::time_point LastFedAt()
{
    return lastFed;
}

const RunStatistics& CurrentRunStatistics()
{
    runStatistics.SetStrayFrames(strayFrames - strayAtStart);
    return runStatistics;
}

const Trend& RunTrend()
{
    return trend;
}

void StartRecording(const std::string& path)
{
    recordPath = path;
    if (!recorder.Open(path.c_str(), RECORD_WORDS_HEADER, RecordTime::Now()))
        RecordingFailed();
}

void StartRecordingToOutput()
{
    recordPath = "standard output";
    if (!recorder.OpenStream(1, RECORD_WORDS_HEADER, RecordTime::Now()))
        RecordingFailed();
}

void StopRecording()
{
    if (!recorder.Close())
        RecordingFailed();
}

}  // namespace korva
