// The master's buffers, result arrays, CRC and frame gap, without a line.
#include <gtest/gtest.h>

#include <array>

#include "comm/ModbusSerialTCPMaster.h"

namespace {

TBuffer BufferOf(std::initializer_list<std::uint8_t> bytes) {
    TBuffer buffer;
    for (const std::uint8_t b : bytes)
        buffer.Add(b);
    return buffer;
}

} // namespace

TEST(TBuffer, HoldsAtMost256BytesAndReadsFFPastTheEnd) {
    TBuffer buffer;
    for (int i = 0; i < 300; ++i)
        buffer.Add(std::uint8_t(i));
    EXPECT_EQ(buffer.Count(), 256);
    EXPECT_EQ(buffer.GetByte(255), 255);
    EXPECT_EQ(buffer.GetByte(256), 0xFF);
    EXPECT_EQ(buffer.GetByte(-1), 0xFF);
    buffer.Clear();
    EXPECT_EQ(buffer.Count(), 0);
}

TEST(TBuffer, ToHexJoinsUpperCaseDigitsWithTheSeparator) {
    EXPECT_EQ(BufferOf({0x01, 0x03, 0x02, 0x00, 0x00, 0x11, 0x84, 0x7E}).ToHex(HexSeparator),
              "01,03,02,00,00,11,84,7E");
    EXPECT_EQ(BufferOf({0xAB}).ToHex(HexSeparator), "AB");
    EXPECT_EQ(TBuffer().ToHex(HexSeparator), "");
}

TEST(TBuffer, CopyFromReadsThroughGetByteAndStaysWithinItsBytes) {
    const TBuffer source = BufferOf({1, 3, 4, 0x12, 0x34, 0x56, 0x78, 0xAA, 0xBB});
    TBuffer data;
    data.CopyFrom(source, 3, 4, 0);
    EXPECT_EQ(data.ToHex(HexSeparator), "12,34,56,78");

    TBuffer tail;
    tail.CopyFrom(source, 250, 8, 0); // past the source's 256 bytes: $FF
    EXPECT_EQ(tail.GetByte(7), 0xFF);

    TBuffer full;
    full.CopyFrom(source, 0, 300, 100); // must neither write past the end nor count past 256
    EXPECT_EQ(full.Count(), 256);

    std::array<std::uint8_t, 2> two{};
    source.GetBytes(two);
    EXPECT_EQ(two[1], 3);
}

TEST(ResultArrays, UnpackCoilsLeastSignificantBitFirst) {
    TCoilArray coils(64);
    const std::array<std::uint8_t, 2> data{0x05, 0x02};
    coils.Unpack(data, 10);
    const int expected[10] = {1, 0, 1, 0, 0, 0, 0, 0, 0, 1};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(coils.GetValue(i), expected[i]) << i;
    EXPECT_EQ(coils.GetValue(64), 0);
    EXPECT_EQ(coils.GetValue(-1), 0);
}

TEST(ResultArrays, UnpackRegistersBigEndianUnsigned) {
    TRegisterArray registers(64);
    const std::array<std::uint8_t, 4> data{0x12, 0x34, 0xFF, 0xFF};
    registers.Unpack(data, 2);
    EXPECT_EQ(registers.GetValue(0), 4660);
    EXPECT_EQ(registers.GetValue(1), 65535);
    EXPECT_EQ(registers.GetValue(64), 0);
}

TEST(ResultArrays, UnpackBeyondTheArrayOrTheDataIsBounded) {
    TCoilArray coils(64);
    const std::array<std::uint8_t, 1> data{0xFF};
    coils.Unpack(data, 500); // more entries than the array, more bits than the data
    EXPECT_EQ(coils.GetValue(7), 1);
    EXPECT_EQ(coils.GetValue(8), 0);
    TRegisterArray registers(64);
    registers.Unpack(data, 100);
    EXPECT_EQ(registers.GetValue(0), 0xFF00);
    EXPECT_EQ(registers.GetValue(63), 0);
}

TEST(ModbusCrc, MatchesKnownFrames) {
    EXPECT_EQ(ModbusCrc16({}), 0xFFFF);
    const std::array<std::uint8_t, 6> request{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
    EXPECT_EQ(ModbusCrc16(request), 0xCDC5);
    const std::array<std::uint8_t, 3> exception{0x01, 0x83, 0x02};
    EXPECT_EQ(ModbusCrc16(exception), 0xF1C0);
}

TEST(FrameGapTime, RoundsThreeAndAHalfCharactersPlus60Ms) {
    EXPECT_EQ(TModbusSerialTCPMaster::FrameGapTime(4800), 68);
    EXPECT_EQ(TModbusSerialTCPMaster::FrameGapTime(9600), 64);
    EXPECT_EQ(TModbusSerialTCPMaster::FrameGapTime(19200), 62);
    EXPECT_EQ(TModbusSerialTCPMaster::FrameGapTime(38400), 61);
    EXPECT_EQ(TModbusSerialTCPMaster::FrameGapTime(57600), 61);
    EXPECT_EQ(TModbusSerialTCPMaster::FrameGapTime(0), 60);
}

TEST(TModbusSerialTCPMaster, DefaultsAndTexts) {
    TModbusSerialTCPMaster master;
    EXPECT_EQ(master.Timeout, 1000);
    EXPECT_EQ(master.Retries, 2);
    EXPECT_EQ(master.Pause, 1);
    EXPECT_EQ(master.ConnectionType, 0);
    EXPECT_FALSE(master.Connected);
    EXPECT_EQ(master.Socket->Host, "192.168.000.000");
    EXPECT_EQ(master.Socket->Port, 9001);
    EXPECT_EQ(master.SerialPort->PortName, "COM1");
    EXPECT_EQ(master.SerialPort->BaudRate, 9600);
    EXPECT_EQ(master.ErrorText(), "");
    // The whole table, and the first code past it.
    const char* texts[] = {"",
                           "ERROR TIMEOUT",
                           "ERROR SEND FRAME",
                           "ERROR CRC",
                           "ERROR EXCEPTION:",
                           "ERROR SLAVE ID",
                           "ERROR CONNECTION",
                           "ERROR SHORT FRAME",
                           "ERROR RESPONSE",
                           "ERROR QUANTITY",
                           "ERROR OUT OF STEP",
                           "ERROR CANCELLED",
                           ""};
    for (int code = 0; code <= 12; ++code) {
        master.LastError = code;
        EXPECT_EQ(master.ErrorText(), texts[code]) << code;
    }
}
