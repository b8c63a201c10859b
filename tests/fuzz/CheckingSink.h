// A sink for fuzzed decoders: every posted event must be one of the protocol's, with
// the payload its code calls for, and every log line a single bounded line of text.
#pragma once

#include "FuzzUtil.h"
#include "protocol/commands.h"

#include <string>
#include <variant>

using namespace velkor;

class CheckingSink : public CmdSink {
public:
    void post(uint32_t code, CmdPayload payload) override
    {
        FUZZ_CHECK(commandName(code) != nullptr);
        switch (code) {
        case CMDWND_ADD_LOGSTR: {
            const auto* text = std::get_if<LogText>(&payload);
            FUZZ_CHECK(text != nullptr);
            FUZZ_CHECK(text->size() < 1024);
            FUZZ_CHECK(text->find('\0') == std::string::npos);
            FUZZ_CHECK(text->find('\n') == std::string::npos);
            break;
        }
        case CMDWND_REPORT_CALL:
        case CMDWND_CLEAR_CALL:
            FUZZ_CHECK(std::holds_alternative<velkor_call_s>(payload));
            break;
        case CMDWND_REPORT_SYSTEM:
            FUZZ_CHECK(std::holds_alternative<velkor_address_s>(payload));
            break;
        default:
            break;
        }
        ++events;
    }

    unsigned long events = 0;
};
