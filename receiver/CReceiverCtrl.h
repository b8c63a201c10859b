// The receiver interface the call tracker drives. A serial receiver owns its serial
// port: constructing one opens the port, destroying one closes it (after the driver has
// put back what it changed on the scanner). A network receiver is built with the
// constructor that opens no port; its port stays closed and unused.
#pragma once

#include "receiver/SerialPort.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace velkor {

// Thrown by a receiver's constructor when its port cannot be opened. what() is the
// program's fixed text; reason() says which step failed and why.
class SerialPortError : public std::runtime_error {
public:
    static constexpr const char* kText = "Error opening serial port!";
    explicit SerialPortError(std::string reason)
        : std::runtime_error(kText)
        , m_reason(std::move(reason))
    {
    }
    const std::string& reason() const { return m_reason; }

private:
    std::string m_reason;
};

class CReceiverCtrl {
public:
    // Opens the serial device; throws SerialPortError when it cannot be opened.
    CReceiverCtrl(const std::string& device, unsigned baudRate, uint8_t byteSize, uint8_t parity, uint8_t stopBits);
    virtual ~CReceiverCtrl();
    CReceiverCtrl(const CReceiverCtrl&) = delete;
    CReceiverCtrl& operator=(const CReceiverCtrl&) = delete;

    // Non-zero when the receiver is usable.
    virtual int initialize() = 0;
    // Tunes to mhz; narrow selects narrow FM where the scanner needs to be told.
    // Non-zero when the scanner acknowledged.
    virtual int setFrequency(double mhz, int narrow) = 0;
    // The frequency the scanner reports, in MHz; 0.0 when it reports none.
    virtual double getFrequency() = 0;
    virtual int setText(const char* text) = 0;
    // A null text puts back the text the scanner had before.
    virtual int setText2(const char* text) = 0;
    virtual int startScan() = 0;
    // 1 open, 0 closed or no valid reply.
    virtual int isSquelchOpen() = 0;
    // 0 full, 1 dimmed, 2 off.
    virtual int setBacklight(int level) = 0;

    // Why the last operation failed, for the log; empty after one that succeeded, and
    // always empty for the serial drivers, whose failures say nothing.
    virtual std::string failure() const { return {}; }

protected:
    // For a receiver that is reached some other way than a serial port.
    CReceiverCtrl() = default;

    SerialPort m_port;
};

} // namespace velkor
