#include "receiver/CReceiverCtrl.h"

namespace velkor {

CReceiverCtrl::CReceiverCtrl(const std::string& device, unsigned baudRate, uint8_t byteSize, uint8_t parity,
                             uint8_t stopBits)
{
    if (const velkor::Status opened = m_port.open(device, baudRate, byteSize, parity, stopBits); !opened) {
        m_port.close();
        throw SerialPortError(opened.error());
    }
}

CReceiverCtrl::~CReceiverCtrl()
{
    m_port.close();
}

} // namespace velkor
