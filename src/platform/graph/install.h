// The graph room's face to the rest of the platform layer, free of QCustomPlot: hands the
// user-interface room how the graph control is made for a QCustomPlot of the panel file and how it
// is recognised (ui::GraphKind). Calling it again changes nothing.
#pragma once

namespace korva {

void InstallGraphControl();

}  // namespace korva
