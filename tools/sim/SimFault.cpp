#include "tools/sim/SimFault.h"

#include "tools/sim/SimModule.h"

#include <array>
#include <charconv>

namespace vdsim {

namespace {

struct TFaultName {
    TSimFaultKind Kind;
    const char* Name;
    int DefaultArg;
};

constexpr std::array<TFaultName, 16> FaultNames{{
    {TSimFaultKind::None, "off", 0},
    {TSimFaultKind::Silent, "silent", 0},
    {TSimFaultKind::Late, "late", 500},
    {TSimFaultKind::BadCrc, "crc", 0},
    {TSimFaultKind::Drop, "drop", 0},
    {TSimFaultKind::WrongSlave, "wrongslave", 0},
    {TSimFaultKind::Exception, "exception", 4},
    {TSimFaultKind::Short, "short", 0},
    {TSimFaultKind::Noise, "noise", 0},
    {TSimFaultKind::Trailing, "trailing", 0},
    {TSimFaultKind::Split, "split", 200},
    {TSimFaultKind::WrongFunction, "wrongfunction", 0},
    {TSimFaultKind::ShortCount, "shortcount", 0},
    {TSimFaultKind::WrongEcho, "wrongecho", 0},
    {TSimFaultKind::DiagException, "diagexception", 1},
    {TSimFaultKind::DiagSilent, "diagsilent", 0},
}};

constexpr std::uint8_t Diagnostics = 0x08;

bool TakesCode(TSimFaultKind kind) {
    return kind == TSimFaultKind::Exception || kind == TSimFaultKind::DiagException;
}

bool TakesMilliseconds(TSimFaultKind kind) {
    return kind == TSimFaultKind::Late || kind == TSimFaultKind::Split;
}

// Replaces the CRC of a reply after its bytes were changed.
void Recrc(TBytes& reply) {
    reply.resize(reply.size() - 2);
    AppendCrc(reply);
}

bool ParseNumber(const std::string& text, int& value) {
    const auto* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

} // namespace

std::optional<TSimFault> ParseFault(const std::vector<std::string>& words, std::string& error) {
    if (words.empty()) {
        error = "missing fault kind";
        return std::nullopt;
    }
    const std::string name = words[0] == "none" ? std::string("off") : words[0];
    const TFaultName* entry = nullptr;
    for (const TFaultName& candidate : FaultNames) {
        if (name == candidate.Name) {
            entry = &candidate;
        }
    }
    if (entry == nullptr) {
        error = "unknown fault '" + words[0] + "'";
        return std::nullopt;
    }
    TSimFault fault{entry->Kind, entry->DefaultArg, 0};
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        int number = 0;
        if (word.size() > 1 && word[0] == 'x' && ParseNumber(word.substr(1), number) && number > 0) {
            fault.Remaining = number;
        } else if (word.size() > 1 && word[0] == '+' && ParseNumber(word.substr(1), number) && number >= 0) {
            fault.Skip = number;
        } else if (ParseNumber(word, number) && number >= 0 && number <= 600000 &&
                   (TakesMilliseconds(entry->Kind) ||
                    (TakesCode(entry->Kind) && number >= 1 && number <= 255))) {
            fault.Arg = number;
        } else {
            error = "bad fault argument '" + word + "'";
            return std::nullopt;
        }
    }
    return fault;
}

std::string FaultText(const TSimFault& fault) {
    std::string text = "off";
    for (const TFaultName& entry : FaultNames) {
        if (entry.Kind == fault.Kind) {
            text = entry.Name;
        }
    }
    if (TakesMilliseconds(fault.Kind) || TakesCode(fault.Kind)) {
        text += " " + std::to_string(fault.Arg);
    }
    if (fault.Kind != TSimFaultKind::None && fault.Skip > 0) {
        text += " +" + std::to_string(fault.Skip);
    }
    if (fault.Kind != TSimFaultKind::None && fault.Remaining > 0) {
        text += " x" + std::to_string(fault.Remaining);
    }
    return text;
}

bool IsDiagnosticsFault(TSimFaultKind kind) {
    return kind == TSimFaultKind::DiagException || kind == TSimFaultKind::DiagSilent;
}

void SetModuleFault(TSimModuleState& state, const TSimFault& fault) {
    if (IsDiagnosticsFault(fault.Kind)) {
        state.Diagnostics = fault;
        return;
    }
    state.Fault = fault;
    if (fault.Kind == TSimFaultKind::None) {
        state.Diagnostics = TSimFault{};
    }
}

bool FaultLetsRequestThrough(const TSimFault& fault) {
    return fault.Kind != TSimFaultKind::Silent && fault.Kind != TSimFaultKind::Drop &&
           fault.Kind != TSimFaultKind::Exception;
}

TSimResponse ApplyFault(const TSimFault& fault, const TBytes& request, TBytes reply) {
    TSimResponse response;
    const bool diagnostics = request.size() >= 2 && request[1] == Diagnostics;
    switch (fault.Kind) {
    case TSimFaultKind::DiagException:
        response.Bytes = diagnostics
                             ? ExceptionReply(request[0], Diagnostics, static_cast<std::uint8_t>(fault.Arg))
                             : std::move(reply);
        break;
    case TSimFaultKind::DiagSilent:
        if (!diagnostics) {
            response.Bytes = std::move(reply);
        }
        break;
    case TSimFaultKind::None:
        response.Bytes = std::move(reply);
        break;
    case TSimFaultKind::Silent:
        break;
    case TSimFaultKind::Drop:
        response.Drop = true;
        break;
    case TSimFaultKind::Late:
        response.Bytes = std::move(reply);
        response.Delay = std::chrono::milliseconds(fault.Arg);
        break;
    case TSimFaultKind::BadCrc:
        if (!reply.empty()) {
            reply.back() ^= 0x5A;
        }
        response.Bytes = std::move(reply);
        break;
    case TSimFaultKind::WrongSlave:
        if (reply.size() >= 3) {
            reply.resize(reply.size() - 2);
            reply[0] = static_cast<std::uint8_t>(reply[0] == 247 ? 1 : reply[0] + 1);
            AppendCrc(reply);
        }
        response.Bytes = std::move(reply);
        break;
    case TSimFaultKind::Exception:
        if (request.size() >= 2) {
            response.Bytes =
                ExceptionReply(request[0], request[1] & 0x7F, static_cast<std::uint8_t>(fault.Arg));
        }
        break;
    case TSimFaultKind::Short:
        reply.resize(reply.size() > 3 ? reply.size() - 3 : 0);
        response.Bytes = std::move(reply);
        break;
    case TSimFaultKind::Noise:
        if (!reply.empty()) {
            reply.insert(reply.end(), {0x00, 0x55, 0xAA});
        }
        response.Bytes = std::move(reply);
        break;
    case TSimFaultKind::Trailing:
        if (!reply.empty()) {
            reply.insert(reply.end(), {0x01, 0x03});
        }
        response.Bytes = std::move(reply);
        break;
    case TSimFaultKind::Split:
        response.Split = reply.size() / 2;
        response.SplitPause = std::chrono::milliseconds(fault.Arg);
        response.Bytes = std::move(reply);
        break;
    case TSimFaultKind::WrongFunction:
        // 1 and 2, 3 and 4, 5 and 6 swapped: a reply of the same shape to another request.
        if (reply.size() >= 5 && reply[1] >= 1 && reply[1] <= 6) {
            reply[1] = static_cast<std::uint8_t>(reply[1] % 2 == 1 ? reply[1] + 1 : reply[1] - 1);
            Recrc(reply);
        }
        response.Bytes = std::move(reply);
        break;
    case TSimFaultKind::ShortCount:
        if (reply.size() >= 6 && reply[1] >= 1 && reply[1] <= 4 && reply[2] >= 1) {
            const std::uint8_t count = static_cast<std::uint8_t>(reply[2] / 2);
            reply.resize(3 + count);
            reply[2] = count;
            AppendCrc(reply);
        }
        response.Bytes = std::move(reply);
        break;
    case TSimFaultKind::WrongEcho:
        if (reply.size() == 8 && (reply[1] == 5 || reply[1] == 6)) {
            if (reply[1] == 5) {
                reply[4] ^= 0xFF; // on echoed as off and back: still a valid coil value
            } else {
                reply[5] ^= 0x01;
            }
            Recrc(reply);
        }
        response.Bytes = std::move(reply);
        break;
    }
    return response;
}

} // namespace vdsim
