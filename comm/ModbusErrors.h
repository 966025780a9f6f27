#pragma once
// Every result code the Modbus master reports in LastError, with its text, in one table that tests and
// fuzz targets can walk.
#include <array>
#include <cstdint>
#include <string_view>

namespace modbus {

enum TErrorCode : std::int32_t {
    ErrorNone = 0,
    ErrorTimeout = 1,    // no answer in time
    ErrorSendFrame = 2,  // the request did not go out whole
    ErrorCrc = 3,        // the reply's CRC is wrong
    ErrorException = 4,  // an exception reply; ExceptionCode holds its code
    ErrorSlaveId = 5,    // a reply from another slave
    ErrorConnection = 6, // no connection, a line found gone, or a connect made again that failed
    ErrorShortReply = 7, // fewer than four bytes
    ErrorResponse = 8,   // a good frame of the slave that is not the answer to the request
    ErrorQuantity = 9,   // a read quantity the result arrays cannot hold (refused unsent)
    ErrorOutOfStep = 10, // a reply that may have been an earlier request's
};

struct TErrorEntry {
    TErrorCode Code;
    std::string_view Text; // empty: the code has no text
};

inline constexpr std::array<TErrorEntry, 11> ErrorTable{{
    {ErrorNone, ""},
    {ErrorTimeout, "ERROR TIMEOUT"},
    {ErrorSendFrame, "ERROR SEND FRAME"},
    {ErrorCrc, "ERROR CRC"},
    {ErrorException, "ERROR EXCEPTION:"}, // followed by the exception's text
    {ErrorSlaveId, "ERROR SLAVE ID"},
    {ErrorConnection, "ERROR CONNECTION"},
    {ErrorShortReply, "ERROR SHORT FRAME"},
    {ErrorResponse, "ERROR RESPONSE"},
    {ErrorQuantity, "ERROR QUANTITY"},
    {ErrorOutOfStep, "ERROR OUT OF STEP"},
}};

// The table's text of a code; empty for a code it does not hold.
constexpr std::string_view ErrorTextOf(std::int32_t code) {
    for (const TErrorEntry& e : ErrorTable)
        if (e.Code == code)
            return e.Text;
    return {};
}

} // namespace modbus
