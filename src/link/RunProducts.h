// What every measurement answer of a Run or Data loop feeds, whatever shows it: the record file,
// the run statistics and the trend's points. The receive handler feeds it as each answer comes, so
// the panels and a console program record the same rows with the same code.
#pragma once

#include "record/RunStatistics.h"
#include "record/Trend.h"

#include <chrono>
#include <string>

namespace korva {

// A Run or Data loop starts: the statistics and the trend begin anew.
void StartRunProducts();
// A measurement answer has just been decoded into pp: counted, added to the trend and recorded.
void FeedRunProducts();
// A measurement exchange of a loop timed out.
void NoteRunTimeout();
// The loop has ended: the recorded rows are written.
void EndRunProducts();

// When the last measurement answer was fed.
std::chrono::steady_clock::time_point LastFedAt();
// The run's statistics, with the stray frames since the loop started.
const RunStatistics& CurrentRunStatistics();
// The trend of the last minute.
const Trend& RunTrend();

// Starts recording every measurement answer to `path` (CSV, under the record file's header). When
// the file cannot be written, or a recording stops on a fault, the sink hears why
// (RecordingStopped) and the status line says so for a few seconds.
void StartRecording(const std::string& path);
// The same rows to standard output.
void StartRecordingToOutput();
void StopRecording();

}  // namespace korva
