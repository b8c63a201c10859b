#include "cmdwnd/CmdDispatch.h"

namespace velkor {

void addLogLine(LogListView& list, const LogText& line, velkor::Notices& notices)
{
    if (list.count() >= kLogListMaxLines)
        list.removeFirst();
    const int index = list.append(line);
    if (index < 0)
        notices.alert("Error adding string to LogList!");
    else
        list.showLine(index);
}

void dispatchCommand(CmdHandler& handler, uint32_t code, CmdPayload payload)
{
    switch (code) {
    case CMDWND_ADD_LOGSTR:
        if (auto* text = std::get_if<LogText>(&payload))
            addLogLine(handler.logList(), *text, handler.notices());
        else
            handler.notices().alert("Invalid parameters to CMDWND_ADD_LOGSTR!");
        break;
    case CMDWND_REPORT_CALL:
        if (auto* call = std::get_if<velkor_call_s>(&payload))
            handler.reportCall(*call);
        else
            handler.notices().alert("Invalid parameters to CMDWND_REPORT_CALL!");
        break;
    case CMDWND_CLEAR_CALL:
        if (auto* call = std::get_if<velkor_call_s>(&payload))
            handler.clearCall(*call);
        else
            handler.notices().alert("Invalid parameters to CMDWND_CLEAR_CALL!");
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

} // namespace velkor
