// The panels' sink: what the link shows goes to the status line and the controls of the panels,
// and the controls a loop locks. Start-up installs it.
#include "gui/Gui.h"

namespace korva {

namespace {

std::string recordTooltip;  // the Record button's own tooltip, while its tooltip tells of a fault

class PanelSink final : public Sink {
public:
    void Status(const char* text) override { SetCtrlVal(panelHandle, PANEL_STATUS, text); }

    void PortTooltip(const char* text) override { SetCtrlAttribute(panelHandle, PANEL_STATUS, ATTR_TOOLTIP, text); }

    void FindDimmed(bool dimmed) override { Dim(panelHandle, PANEL_BTNFIND, dimmed ? 1 : 0); }

    void FindSearching(bool searching) override
    {
        SetCtrlAttribute(panelHandle, PANEL_BTNFIND, ATTR_LABEL_TEXT, searching ? "Finding..." : "Find");
    }

    void PortFound(int port) override { SetCtrlVal(panelHandle, PANEL_DROPDCOM, port); }

    void ParametersRead() override { SetPanelValues(); }

    void LoopsStopped(LoopEnd why) override
    {
        if (why == LoopEnd::TimeOut || why == LoopEnd::Close)
            return;
        DimCommandButtons(0);
        if (why == LoopEnd::Setting)
            Dim(panelPopUp, POPUP_BTNTEACHBACKGROUND, 0);
        else if (bMode == 2)
            DimTeachBackground(0);
    }

    // The Record button goes off, and its tooltip tells why until the operator switches it on again.
    void RecordingStopped(const std::string& why) override
    {
        SetCtrlVal(panelHandle, PANEL_BTNRECORD, 0);
        if (recordTooltip.empty())
            GetCtrlAttribute(panelHandle, PANEL_BTNRECORD, ATTR_TOOLTIP, &recordTooltip);
        SetCtrlAttribute(panelHandle, PANEL_BTNRECORD, ATTR_TOOLTIP, why.c_str());
    }
};

PanelSink panelSink;

}  // namespace

void InstallPanelSink()
{
    SetSink(&panelSink);
}

void ForgetRecordingFault()
{
    if (!recordTooltip.empty())
        SetCtrlAttribute(panelHandle, PANEL_BTNRECORD, ATTR_TOOLTIP, recordTooltip.c_str());
}

void Dim(int panel, int control, int dimmed)
{
    SetCtrlAttribute(panel, control, ATTR_DIMMED, dimmed);
}

void DimCommandButtons(int dimmed)
{
    Dim(panelHandle, PANEL_CMD16, dimmed);
    Dim(panelHandle, PANEL_CMD14, dimmed);
    Dim(panelHandle, PANEL_CMD3, dimmed);
}

}  // namespace korva
