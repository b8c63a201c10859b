#include "cmdwnd/CmdDispatch.h"

#include "notify/MessageBox.h"

void addLogLine(LogListView& list, const LogText& line)
{
    if (list.count() >= kLogListMaxLines)
        list.removeFirst();
    const int index = list.append(line);
    if (index < 0)
        showMessageBox("Error adding string to LogList!");
    else
        list.showLine(index);
}

void dispatchCommand(CmdHandler& handler, uint32_t code, CmdPayload payload)
{
    switch (code) {
    case CMDWND_ADD_LOGSTR:
        if (auto* text = std::get_if<LogText>(&payload))
            addLogLine(handler.logList(), *text);
        else
            showMessageBox("Invalid parameters to CMDWND_ADD_LOGSTR!");
        break;
    case CMDWND_REPORT_CALL:
        if (auto* call = std::get_if<velkor_call_s>(&payload))
            handler.reportCall(*call);
        else
            showMessageBox("Invalid parameters to CMDWND_REPORT_CALL!");
        break;
    case CMDWND_CLEAR_CALL:
        if (auto* call = std::get_if<velkor_call_s>(&payload))
            handler.clearCall(*call);
        else
            showMessageBox("Invalid parameters to CMDWND_CLEAR_CALL!");
        break;
    case CMDWND_MUTE:
        if (handler.muteEnabled())
            handler.setMuted(true);
        break;
    case CMDWND_UNMUTE:
        if (handler.muteEnabled())
            handler.setMuted(false);
        break;
    case CMDWND_REPORT_SYSTEM:
        if (auto* address = std::get_if<velkor_address_s>(&payload))
            handler.reportSystem(*address);
        break;
    case CMDWND_END_CALL:
        handler.endCall();
        break;
    default:
        break;
    }
}
