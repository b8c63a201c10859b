// A command sink for the headless tools: prints every posted event at once, one line
// each, flushed, as text (UTF-8) or as a JSON object.
#pragma once

#include "protocol/commands.h"

#include <cstdio>

class EventPrinter : public CmdSink {
public:
    EventPrinter(std::FILE* out, bool json) : m_out(out), m_json(json) {}
    void post(uint32_t code, CmdPayload payload) override;

private:
    std::FILE* m_out;
    bool m_json;
};
