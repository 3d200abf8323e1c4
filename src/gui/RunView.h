// What the panels show of a Run or Data loop's products (link's RunProducts): the statistics line
// and the value trend of the last minute.
#pragma once

namespace korva {

// A Run or Data loop starts: the statistics and the trend begin anew, and are shown so.
void StartRunView();
// A record has just been drawn (with PlotRAWValues): the statistics and the trend follow, twice a
// second.
void UpdateRunView();
// The loop has ended: the recorded rows are written, and the final statistics and trend shown.
void EndRunView();

}  // namespace korva
