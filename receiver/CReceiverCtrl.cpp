#include "receiver/CReceiverCtrl.h"

CReceiverCtrl::CReceiverCtrl(const SerialTarget& where, unsigned baudRate, uint8_t byteSize, uint8_t parity,
                             uint8_t stopBits)
{
    const int ok = where.device.empty() ? m_port.open(where.port, baudRate, byteSize, parity, stopBits)
                                        : m_port.open(where.device, baudRate, byteSize, parity, stopBits);
    if (!ok) {
        m_port.close();
        throw SerialPortError(m_port.errorText());
    }
}

CReceiverCtrl::~CReceiverCtrl()
{
    m_port.close();
}
