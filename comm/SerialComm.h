#pragma once
// TSerialComm: the synchronous serial port under the Modbus master. It opens the port with the line
// settings, tells how many received bytes wait, reads and writes, and raises RTS around every write so
// that an RS-485 converter drives the bus only while the program sends. All timing is the master's.
#include <QString>
#include <cstdint>

#include "classlib/Component.h"
#include "platform/DescriptorWaitPosix.h"

class TSerialComm : public TComponent {
    Q_OBJECT

public:
    explicit TSerialComm(TComponent* owner = nullptr);
    ~TSerialComm() override;

    // Fields, set by the owner before Open.
    QString PortName = QStringLiteral("COM1");
    int Handle = -1;
    // 0, or the failed step of Open: 6 the port did not open, 4 reading the line settings failed,
    // 5 setting them failed.
    std::int32_t LastError = 0;
    std::int32_t BaudRate = 9600;
    std::uint8_t DataBits = 8;
    std::uint8_t StopBits = 1; // 1 or 2
    std::uint8_t Parity = 0;   // 0 none, 1 odd, 2 even

    bool Open();
    bool Close();
    // Received bytes waiting in the driver; 0 when the query fails.
    int BytesInQueue() const;
    // True only when exactly n bytes were read.
    bool Read(void* buffer, int n);
    // Writes n bytes with RTS raised; RTS drops once the last byte has left the line, whatever the
    // outcome. True when the write succeeded.
    bool Write(const void* buffer, int n);
    // Sleeps until bytes arrive, the line hangs up or timeoutMs pass.
    platform::TWaitResult WaitForData(int timeoutMs) const;
};
