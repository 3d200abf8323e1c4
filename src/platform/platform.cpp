// The platform library the program links: on korva_platform_core (the core and serial rooms) it
// adds the user-interface and graph rooms, and wires the graph room into the user-interface room,
// which does not see it.
//
// Every panel is loaded through LoadPanel, and a graph control exists only in a loaded panel, so
// installing the graph here, before the first panel, is early enough and needs nothing from
// static initialisers (which a static library's linker may leave out). Because the program calls
// LoadPanel, this file is always linked, and with it the graph room.
#include "userint.h"

#include "install.h"
#include "panels.h"

namespace korva {

int LoadPanel(int parentPanel, const char* fileName, int resourceId)
{
    [[maybe_unused]] static const bool graphInstalled = (InstallGraphControl(), true);
    return ui::LoadPanelFile(parentPanel, fileName, resourceId);
}

}  // namespace korva
