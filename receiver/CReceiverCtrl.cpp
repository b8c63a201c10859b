#include "receiver/CReceiverCtrl.h"

CReceiverCtrl::CReceiverCtrl(const std::string& device, unsigned baudRate, uint8_t byteSize, uint8_t parity,
                             uint8_t stopBits)
{
    if (!m_port.open(device, baudRate, byteSize, parity, stopBits)) {
        m_port.close();
        throw SerialPortError(m_port.errorText());
    }
}

CReceiverCtrl::~CReceiverCtrl()
{
    m_port.close();
}
