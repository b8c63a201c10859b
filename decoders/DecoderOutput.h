// Where a decoder's events go, and what happens without a sink: nothing is posted and
// decoding goes on. A decoder that will not work without one (MPT 1327) asks
// `require`, which tells the user through the notices and says no.
#pragma once

#include "decoders/LineBuilder.h"
#include "notify/Notices.h"
#include "protocol/commands.h"

#include <utility>

namespace velkor {

class DecoderOutput {
public:
    DecoderOutput(CmdSink* sink, Notices& notices)
        : m_sink(sink)
        , m_notices(notices)
    {
    }

    bool connected() const { return m_sink != nullptr; }
    // True with a sink; without one, alerts `missing` and is false.
    bool require(const char* missing)
    {
        if (m_sink)
            return true;
        m_notices.alert(missing);
        return false;
    }

    void post(uint32_t code, CmdPayload payload)
    {
        if (m_sink)
            m_sink->post(code, std::move(payload));
    }
    // Posts the line unless it is empty, and empties it.
    void postLine(LineBuilder& line)
    {
        if (!line.empty())
            post(CMDWND_ADD_LOGSTR, LogText(line.c_str()));
        line.clear();
    }

private:
    CmdSink* m_sink;
    Notices& m_notices;
};

} // namespace velkor
