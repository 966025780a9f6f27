#pragma once
// TSerialComm: the synchronous serial port under the Modbus master. It opens the port with the line
// settings, tells how many received bytes wait, reads and writes, and raises RTS around every write so
// that an RS-485 converter drives the bus only while the program sends. All timing is the master's.
#include <QString>
#include <cstdint>
#include <memory>

#include "classlib/Component.h"
#include "comm/SerialLine.h"
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
    // Reads what is waiting, at most max bytes, without waiting: the count (0 when nothing waits), or
    // -1 when the line failed.
    int ReadWaiting(void* buffer, int max);
    // As ReadWaiting, but an empty read is not followed by a hang-up check (a call every request would
    // pay): the wait for the reply finds a hang-up. -1 only when the read failed.
    int ReadAvailable(void* buffer, int max);
    // Drops every received byte still waiting, so that a late answer to an earlier request is never
    // taken for the next one. False when the port is closed or the call fails.
    bool Discard();
    // Writes n bytes. On a line with modem lines RTS is raised first and drops once the last byte has
    // left the line, whatever the outcome; a line without them just sends. True when the write
    // succeeded.
    bool Write(const void* buffer, int n);
    // The device went away (unplugged, the other end of a pseudo-terminal closed): the port is of no
    // more use until it is opened again. Cleared by Open.
    bool Gone() const { return m_gone; }
    // Whether the open line has modem lines (found out once at open).
    bool ModemLines() const { return m_modemLines; }
    // Replaces the calls made around a write (tests watch their order through it).
    void SetLine(std::unique_ptr<TSerialLine> line) { m_line = std::move(line); }
    // Sleeps until bytes arrive, the line hangs up or timeoutMs pass; with a wakeFd other than -1, also
    // until that descriptor is readable (Woken).
    platform::TWaitResult WaitForData(int timeoutMs, int wakeFd = -1);

private:
    std::unique_ptr<TSerialLine> m_line = std::make_unique<TPosixSerialLine>();
    bool m_modemLines = false;
    bool m_gone = false;
};
