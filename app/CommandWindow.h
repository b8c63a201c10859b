// What the main dialog needs of its command window: the sink the decoders and the End
// Call button post to, and the receiver set-up. The dialog builds it through a factory,
// so that tests can give the command window a stand-in mixer.
#pragma once

#include "cmdwnd/commands.h"

#include <cstdint>

class CommandWindow : public CmdSink {
public:
    // Replaces the receiver; see CCmdWnd::CreateReceiver. The dialog ignores the result.
    virtual int CreateReceiver(uint32_t type, uint32_t port, uint32_t memory) = 0;
};
