#include "receiver/ReceiverFactory.h"

#include "receiver/CUniden250.h"
#include "receiver/CUniden780.h"
#include "receiver/CUnidenDynamic.h"
#include "receiver/RigctlReceiver.h"

namespace velkor {

namespace {
// The serial line every Uniden scanner here speaks: 19200 baud, 8 data bits, no
// parity, two stop bits.
constexpr unsigned kBaud = 19200;
constexpr uint8_t kByteSize = 8;
constexpr uint8_t kParityNone = 0;
constexpr uint8_t kTwoStopBits = 2;

enum : uint32_t { kUniden780 = 0, kUniden250 = 1, kUnidenDynamic = 2, kRigctl = 3 };
} // namespace

const std::vector<receiver_model_s>& receiverModels()
{
    static const std::vector<receiver_model_s> models = {
        {kUniden780, "Uniden 245/780/895", "Uniden 245/780", true, false},
        {kUniden250, "Uniden 250/785/3300", "Uniden 250/785", true, false},
        {kUnidenDynamic, "Uniden Experimental", "Uniden Experimental", false, false},
        {kRigctl, "Hamlib rigctl (network)", "Hamlib rigctl", false, true},
    };
    return models;
}

const receiver_model_s& receiverModel(uint32_t type)
{
    const auto& models = receiverModels();
    return type < models.size() ? models[type] : models.front();
}

std::string receiverPlace(const receiver_params_s& p, uint32_t port)
{
    if (receiverModel(p.type).network)
        return "server " + p.server;
    return "serial port " + std::to_string(port);
}

std::unique_ptr<CReceiverCtrl> makeReceiver(const receiver_params_s& p)
{
    const auto timeout = [&p](unsigned own) { return p.readTimeoutMs ? p.readTimeoutMs : own; };
    const unsigned serial = timeout(CUnidenScanner::kReadTimeoutMs);
    switch (receiverModel(p.type).type) {
    case kUniden250:
        return std::make_unique<CUniden250>(p.device, p.memory, kBaud, kByteSize, kParityNone, kTwoStopBits, serial);
    case kUnidenDynamic:
        return std::make_unique<CUnidenDynamic>(p.device, kBaud, kByteSize, kParityNone, kTwoStopBits, serial);
    case kRigctl: {
        static velkor::SilentNotices nobody;
        return std::make_unique<RigctlReceiver>(p.server, p.notices ? *p.notices : nobody,
                                                timeout(RigctlReceiver::kTimeoutMs));
    }
    default:
        return std::make_unique<CUniden780>(p.device, p.memory, kBaud, kByteSize, kParityNone, kTwoStopBits, serial);
    }
}

} // namespace velkor
