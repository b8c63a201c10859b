#include "signal/DemoScenario.h"

namespace mptgen {

ControlChannel demoControlChannel()
{
    ControlChannel cc(0x0089, 32);
    const unsigned fleet = 1;
    cc.slot(misc(0, 1));                                       // MARK: control channel 1
    cc.slot(message(0x2A, 0x1555, 0, 0, 1, (3u << 11) | 2u));  // ALHS
    cc.slot(message(fleet, 1234, 0, 2, 5, 8121u << 5));        // RQR from 1-1234
    cc.slot(message(fleet, 1234, 0, 1, 0, 8191u << 5));        // ACKK
    cc.slot(message(fleet, 100, 0, 2, 0, (200u << 5) | 0x10)); // RQS 1-200 -> 1-100, voice
    cc.slot(message(fleet, 200, 0, 1, 2, 100u << 5));          // ACKQ: call queued
    cc.slot(message(fleet, 100, 0, 2, 0, (200u << 5) | 0x18)); // AHY 1-100, voice
    cc.slot(message(fleet, 100, 0, 1, 0, 200u << 5));          // ACKK from the called unit
    cc.slot(goToChannel(fleet, 100, 200, 17));                 // GTC channel 17
    cc.slot(goToChannel(fleet, 100, 200, 17));                 // repeated for late entry
    cc.slot(broadcast(4, 0x008A, 5, 0));                       // adjacent site
    cc.slot(message(fleet, 300, 0, 2, 6, (301u << 5) | 7u));   // RQQ/AHYQ status 7
    cc.slot(message(fleet, 301, 0, 1, 0, 300u << 5));          // ACKK
    cc.slot(misc(1, 1));                                       // MAINT
    cc.slot(clearDown(17, 1));                                 // CLEAR channel 17
    cc.slot(message(fleet, 4321, 0, 2, 5, 8121u << 5));        // RQR from 1-4321
    cc.slot(message(fleet, 4321, 0, 1, 3, 8191u << 5));        // ACKX: rejected
    cc.slot(misc(3, 2));                                       // MOVE to channel 2
    cc.slot(cc.aloha());

    return cc;
}

std::vector<std::string> demoLines()
{
    // Kept by hand beside the messages that make them: the system codeword of the first
    // slot (the others repeat it), no line for the Aloha function 0 of the last slot.
    return {
        "CCSC | Control Channel System Codeword | SYSId: 0x0089 NET: 1 SITE: 1 LAB: 1",
        "MARK | Control channel marker          | (Act. Chan:   1)",
        "ALHS | Messages invited, except RQD    | ( 42) Id: 5461 WT:3 RSVD:0 M:0 N:2",
        "RQR  | Request to register             | (  1) Org: 1234",
        "AHYP | Called Unit Presence Monitoring | (  1) Org: 8121 Tar: 1234",
        "ACKK | General acknowledgement         | (  1) Org: 8191 Tar: 1234",
        "RQS  | Request random access           | (  1) Org:  200 Tar:  100 Voice",
        "AHY  | Availability check message      | Begin Ack a: (  1) Tar:  100 Voice",
        "ACKQ | Acknowledge, call queued        | (  1) Org:  100 Tar:  200",
        "RQS  | Request random access           | (  1) Org:  200 Tar:  100 Voice",
        "AHY  | Availability check message      | Begin Ack a: (  1) Org:  200 Voice",
        "ACKK | General acknowledgement         | (  1) Org:  200 Tar:  100",
        "GTC  | Go To Channel Voice             | Ch:  17 (  1) Org:  200 Tar:  100 ",
        "GTC  | Go To Channel Voice             | Ch:  17 (  1) Org:  200 Tar:  100 ",
        "BCAST| Announce Adjacent Site          | SYSId: 0x008a Ch:   5  Id red: 0",
        "RQQ  | Request status transaction      | (  1) Org:  301 Tar:  300 Status:  7",
        "AHYQ | Status message                  | (  1) Org:  301 Tar:  300 Status:  7",
        "ACKK | General acknowledgement         | (  1) Org:  300 Tar:  301",
        "MAINT| Call maintenance message        | (Act. Chan:   1)",
        "CLEAR| Call clear-down                 | Ch:  17 -> CCh:   1",
        "RQR  | Request to register             | (  1) Org: 4321",
        "AHYP | Called Unit Presence Monitoring | (  1) Org: 8121 Tar: 4321",
        "ACKX | Acknowledge, message rejected   | (  1) Org: 8191 Tar: 4321",
        "MOVE | Move to specified ControlChannel | -> CCh:   2",
    };
}

} // namespace mptgen
