// The one place receivers are built. Each receiver type the program can drive has one
// entry in the model table: its receiver_type number, the text of the settings
// dialog's list, the name the log gives it, and whether it is reached on a serial port
// or at a network server. A new receiver type is one new entry here and one new case
// in makeReceiver.
#pragma once

#include "notify/Notices.h"
#include "receiver/CReceiverCtrl.h"
#include "receiver/CUnidenScanner.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velkor {

struct receiver_model_s {
    uint32_t type;        // receiver_type of velkor.ini
    const char* listText; // the settings dialog's list, in type order
    const char* name;     // as the log names it: "Initialized <name> on ..."
    bool usesMemory;      // tunes through a memory channel when one is given
    bool network;         // at a server (HOST:PORT), not on a serial port
};

// Every model, in receiver_type order.
const std::vector<receiver_model_s>& receiverModels();
// The model of a receiver_type: any number without a model of its own is the first
// (Uniden 245/780/895), as the program has always read it.
const receiver_model_s& receiverModel(uint32_t type);

struct receiver_params_s {
    uint32_t type = 0;
    std::string device;  // the serial device
    uint32_t memory = 0; // memory channel the driver may overwrite; 0 tunes directly
    std::string server;  // a network model's server, HOST:PORT
    // 0: the driver's own (a reply line of a Uniden scanner, an operation of a server).
    unsigned readTimeoutMs = 0;
    // Where a network receiver notes why an operation failed (null: nobody is told);
    // the serial drivers, whose failures are silent, have nothing to say.
    velkor::Notices* notices = nullptr;
};

// Where the log says a receiver is: "serial port N" or "server HOST:PORT".
std::string receiverPlace(const receiver_params_s& params, uint32_t port);

// Builds (but does not initialise) the receiver. Throws SerialPortError when its port
// cannot be opened, RigctlServerError when its server address names no server (the
// constructors that cannot finish).
std::unique_ptr<CReceiverCtrl> makeReceiver(const receiver_params_s& params);

} // namespace velkor
