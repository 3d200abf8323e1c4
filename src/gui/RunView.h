// What the records drawn during a Run or Data loop add up to: the statistics line, the value trend
// of the last minute and the recording of the records to a CSV file.
#pragma once

#include <string>

namespace korva {

// A Run or Data loop starts: the statistics and the trend begin anew.
void StartRunView();
// A record has just been drawn (with PlotRAWValues): counted, added to the trend and recorded.
void FeedRunView();
// A measurement exchange of a loop timed out.
void NoteRunTimeout();
// The loop has ended: the final statistics and trend are shown and the recorded rows written.
void EndRunView();

// Starts recording every record fed to `path` (CSV). When the file cannot be written, or a
// recording stops on a fault, the Record button goes off, its tooltip says why until the operator
// switches it on again (ForgetRecordingFault), and the status line says so for a few seconds.
void StartRecording(const std::string& path);
void StopRecording();
void ForgetRecordingFault();

}  // namespace korva
