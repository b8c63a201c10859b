#include "signal/DemoScenario.h"

namespace mptgen {

ControlChannel demoControlChannel()
{
    ControlChannel cc(0x0089, 32);
    const unsigned fleet = 1;
    cc.slot(misc(0, 1));                                         // MARK: control channel 1
    cc.slot(message(0x2A, 0x1555, 0, 0, 1, (3u << 11) | 2u));  // ALHS
    cc.slot(message(fleet, 1234, 0, 2, 5, 8121u << 5));          // RQR from 1-1234
    cc.slot(message(fleet, 1234, 0, 1, 0, 8191u << 5));          // ACKK
    cc.slot(message(fleet, 100, 0, 2, 0, (200u << 5) | 0x10));   // RQS 1-200 -> 1-100, voice
    cc.slot(message(fleet, 200, 0, 1, 2, 100u << 5));            // ACKQ: call queued
    cc.slot(message(fleet, 100, 0, 2, 0, (200u << 5) | 0x18));   // AHY 1-100, voice
    cc.slot(message(fleet, 100, 0, 1, 0, 200u << 5));            // ACKK from the called unit
    cc.slot(goToChannel(fleet, 100, 200, 17));                   // GTC channel 17
    cc.slot(goToChannel(fleet, 100, 200, 17));                   // repeated for late entry
    cc.slot(broadcast(4, 0x008A, 5, 0));                         // adjacent site
    cc.slot(message(fleet, 300, 0, 2, 6, (301u << 5) | 7u));     // RQQ/AHYQ status 7
    cc.slot(message(fleet, 301, 0, 1, 0, 300u << 5));            // ACKK
    cc.slot(misc(1, 1));                                         // MAINT
    cc.slot(clearDown(17, 1));                                   // CLEAR channel 17
    cc.slot(message(fleet, 4321, 0, 2, 5, 8121u << 5));          // RQR from 1-4321
    cc.slot(message(fleet, 4321, 0, 1, 3, 8191u << 5));          // ACKX: rejected
    cc.slot(misc(3, 2));                                         // MOVE to channel 2
    cc.slot(cc.aloha());

    return cc;
}

} // namespace mptgen
