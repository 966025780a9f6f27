// The Modbus master's reply handling, fed through a line whose bytes come from the fuzzer. The input is
// a run of requests, each: function (1 to 6), slave, address, quantity or value (2 bytes), retries, a
// count of arrivals, then the arrivals (a length byte and that many bytes; length 0 is a silence). An
// arrival that a read leaves half taken is what a later Discard drops. Whatever arrives, a request that
// succeeds must have taken exactly the answer to what it sent, its results the data that answer carried,
// and an exception must come from a whole exception frame.
#include "FuzzSupport.h"
#include "comm/ModbusCrc.h"
#include "comm/ModbusErrors.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "comm/ModbusTransport.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace {

class TFedTransport final : public TModbusTransport {
public:
    // The arrivals of the request about to be sent.
    void Arrive(std::vector<std::vector<std::uint8_t>> arrivals) {
        m_arrivals = std::move(arrivals);
        m_next = 0;
    }
    bool Open(int) override { return true; }
    void Close() override {}
    void Discard() override { m_current.clear(); }
    bool Send(const std::uint8_t*, int count) override { return count > 0; }
    int ReadWaiting(std::uint8_t* data, int max) override {
        fuzz::Check(max > 0, "the master asked for no bytes");
        const int n = std::min(max, int(m_current.size()));
        std::copy_n(m_current.begin(), n, data);
        m_current.erase(m_current.begin(), m_current.begin() + n);
        return n;
    }
    platform::TWaitResult WaitForData(int) override {
        while (m_current.empty()) {
            if (m_next >= m_arrivals.size())
                return platform::TWaitResult::Closed;
            m_current = m_arrivals[m_next++];
            if (m_current.empty())
                return platform::TWaitResult::TimedOut;
        }
        return platform::TWaitResult::Ready;
    }

private:
    std::vector<std::vector<std::uint8_t>> m_arrivals;
    std::size_t m_next = 0;
    std::vector<std::uint8_t> m_current;
};

std::vector<std::uint8_t> BytesOf(const TBuffer& buffer) {
    std::vector<std::uint8_t> bytes(std::size_t(buffer.Count()));
    buffer.GetBytes(bytes);
    return bytes;
}

// The reply taken must be the answer to the request sent: its slave, its function, for a read the byte
// count and length the quantity needs, for a write the request echoed, and a good CRC.
void CheckAnswer(const TModbusSerialTCPMaster& master, int slave, int function, int quantity) {
    const std::vector<std::uint8_t> reply = BytesOf(master.RxBuffer);
    const std::vector<std::uint8_t> request = BytesOf(master.TxBuffer);
    fuzz::Check(reply.size() >= 4, "a success took a reply shorter than a frame");
    fuzz::Check(reply[0] == slave, "a success took another slave's reply");
    fuzz::Check(reply[1] == function, "a success took a reply of another function");
    const std::uint16_t crc = ModbusCrc16(std::span(reply).first(reply.size() - 2));
    fuzz::Check(reply[reply.size() - 2] == (crc & 0xFF) && reply[reply.size() - 1] == crc >> 8,
                "a success took a reply with a bad CRC");
    if (function >= 5) {
        fuzz::Check(reply == request, "a write succeeded on a reply that is not its echo");
        return;
    }
    const int dataBytes = function <= 2 ? (quantity + 7) / 8 : 2 * quantity;
    fuzz::Check(reply[2] == dataBytes && int(reply.size()) == dataBytes + 5,
                "a read succeeded on a reply that does not carry the quantity asked");
    // The results are the data bytes the reply carried, unpacked.
    for (int i = 0; i < quantity; ++i) {
        const int value = function <= 2 ? reply[3 + std::size_t(i / 8)] >> (i % 8) & 1
                                        : reply[3 + std::size_t(2 * i)] << 8 | reply[4 + std::size_t(2 * i)];
        const int result = function <= 2 ? master.Coils.GetValue(i) : master.Registers.GetValue(i);
        fuzz::Check(result == value, "a read's results are not the data its reply carried");
    }
}

// An exception is told by a whole exception frame: slave, function with its top bit, the code, a good
// CRC; the code reported is the one it carried.
void CheckException(const TModbusSerialTCPMaster& master, int slave, int function) {
    const std::vector<std::uint8_t> reply = BytesOf(master.RxBuffer);
    fuzz::Check(reply.size() == 5, "an exception taken from a reply that is no exception frame");
    fuzz::Check(reply[0] == slave && reply[1] == (function | 0x80),
                "an exception taken from another slave's or function's reply");
    fuzz::Check(master.ExceptionCode == reply[2], "an exception code that the reply did not carry");
}

bool Request(TModbusSerialTCPMaster& master, int function, int slave, int address, int value) {
    switch (function) {
    case 1:
        return master.ReadCoils(slave, address, value);
    case 2:
        return master.ReadDiscreteInputs(slave, address, value);
    case 3:
        return master.ReadHoldingRegisters(slave, address, value);
    case 4:
        return master.ReadInputRegisters(slave, address, value);
    case 5:
        return master.WriteSingleCoil(slave, address, value);
    default:
        return master.WriteSingleRegister(slave, address, value);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::TInput input(data, size);
    TModbusSerialTCPMaster master;
    auto owned = std::make_unique<TFedTransport>();
    TFedTransport& line = *owned;
    master.SetSerialTransport(std::move(owned));
    // Nothing here ever waits: the fed line answers at once, or says the bytes are gone.
    master.SerialPort->BaudRate = 115200;
    fuzz::Check(master.Connect(), "the fed line did not open");

    while (!input.Empty()) {
        const int function = input.Byte() % 6 + 1;
        const int slave = input.Byte();
        const int address = input.Word();
        const int value = input.Word();
        master.Retries = input.Byte() % 4;
        std::vector<std::vector<std::uint8_t>> arrivals(input.Byte() % 8);
        for (auto& arrival : arrivals) {
            const auto bytes = input.Take(input.Byte());
            arrival.assign(bytes.begin(), bytes.end());
        }
        line.Arrive(std::move(arrivals));

        const bool ok = Request(master, function, slave, address, value);
        if (ok) {
            fuzz::Check(master.LastError == 0, "a success with an error code");
            CheckAnswer(master, slave, function, value);
        } else {
            const auto known = std::find_if(modbus::ErrorTable.begin(), modbus::ErrorTable.end(),
                                            [&](const auto& e) { return e.Code == master.LastError; });
            fuzz::Check(known != modbus::ErrorTable.end() && known->Code != modbus::ErrorNone,
                        "a failure without a known error code");
            fuzz::Check(master.ErrorText().startsWith(
                            QLatin1String(known->Text.data(), qsizetype(known->Text.size()))),
                        "a failure without its error text");
            if (master.LastError == modbus::ErrorException)
                CheckException(master, slave, function);
        }
        const bool readOutOfRange = function <= 4 && (value < 1 || value > (function <= 2 ? 64 : 32));
        if (readOutOfRange)
            fuzz::Check(!ok && master.LastError == modbus::ErrorQuantity,
                        "a read the result arrays cannot hold was not refused");
    }
    master.Disconnect();
    return 0;
}
