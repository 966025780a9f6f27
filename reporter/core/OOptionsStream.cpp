// The stream form of the options: the order and widths of the fields, the scrambled strings, and the
// differences of the older stream versions.
#include "OErrors.h"
#include "OOptions.h"
#include "OStream.h"

#include <algorithm>

namespace reporter {

namespace {

void WriteScrambled(TOstrelStream& stream, const std::string& text) {
    std::string value = text;
    // A trailing line end that closes the only line is not part of the value.
    const size_t firstCrLf = value.find("\r\n");
    if (value.size() > 1 && firstCrLf != std::string::npos && firstCrLf == value.size() - 2)
        value.resize(value.size() - 2);
    stream.WriteU32(uint32_t(value.size()));
    for (char& c : value)
        c = char(uint8_t(c) ^ OptionsStringScramble);
    stream.Write(value.data(), value.size());
}

std::string ReadScrambled(TOstrelStream& stream) {
    const uint32_t length = stream.ReadU32();
    if (length > stream.Remaining())
        throw EReadError("Stream read error");
    std::string value(length, '\0');
    stream.Read(value.data(), length);
    for (char& c : value)
        c = char(uint8_t(c) ^ OptionsStringScramble);
    return value;
}

void WriteBool(TOstrelStream& stream, bool value) {
    stream.WriteU8(value ? 1 : 0);
}
bool ReadBool(TOstrelStream& stream) {
    return stream.ReadU8() != 0;
}

uint8_t WithBit(uint8_t flags, uint8_t bit, bool on) {
    return on ? uint8_t(flags | bit) : uint8_t(flags & ~bit);
}
uint16_t WithBit16(uint16_t flags, uint16_t bit, bool on) {
    return on ? uint16_t(flags | bit) : uint16_t(flags & ~bit);
}

// Converts the 4-byte General-section set of streams before version 500 to the present bit order.
TGeneralFields ConvertOldGeneralFields(const uint8_t old[4]) {
    std::string bits;
    for (int i = 0; i < 40; ++i)
        bits += (i < 32 && ((old[i / 8] >> (i % 8)) & 1)) ? '1' : '0';
    bits.erase(4, 1);  // 1-based position 5
    bits.erase(19, 3); // positions 20-22 of the shortened text
    bits.erase(23, 5); // positions 24-28
    TGeneralFields result{};
    for (size_t i = 0; i < bits.size(); ++i)
        if (bits[i] == '1')
            result[i / 8] |= uint8_t(1u << (i % 8));
    return result;
}

bool TextInVersion(int index, int version) {
    auto in = [index](std::initializer_list<std::pair<int, int>> ranges) {
        return std::any_of(ranges.begin(), ranges.end(),
                           [index](auto r) { return index >= r.first && index <= r.second; });
    };
    if (version < 420 && index == 17)
        return false;
    if (version < 421 && index == 16)
        return false;
    if (version < 450 && in({{8, 11}, {18, 20}, {26, 26}, {41, 41}, {47, 48}, {52, 52}, {75, 95}}))
        return false;
    if (version < 500 && in({{12, 13}, {21, 21}, {27, 27}, {46, 48}, {54, 61}, {68, 74}, {89, 89}, {94, 95}}))
        return false;
    return true;
}

} // namespace

void TOstrelModuleOptions::SaveToStream(TOstrelStream& s) const {
    s.WriteU8(m_spareFlag);
    WriteBool(s, m_filterActive);
    s.WriteU8(m_logFlags);
    WriteBool(s, m_appendReportToMessage);
    WriteBool(s, m_logToFile);
    s.WriteU8(m_dialogTabSetting);
    WriteBool(s, m_freezeWatch);
    const TFreezeSettings freeze = FreezeSettings();
    s.WriteU32(uint32_t(freeze.Seconds));

    WriteScrambled(s, freeze.Text);
    WriteScrambled(s, m_smtpSender);
    WriteScrambled(s, m_smtpServer);
    s.WriteU16(m_smtpPort);
    WriteScrambled(s, m_smtpUser);
    WriteScrambled(s, m_smtpPassword);
    s.WriteU8(m_terminateAction);
    WriteBool(s, m_dialogCountCheck);
    s.WriteU32(uint32_t(m_maxLogReports));
    s.WriteU32(uint32_t(m_dialogCountLimit));

    WriteScrambled(s, m_mailRecipient);
    WriteScrambled(s, m_mailSubject);
    s.WriteU8(m_mailSendMode);
    s.Write(m_generalFields.data(), m_generalFields.size());
    WriteScrambled(s, m_logFileLocation);
    s.WriteU8(m_uploadMode);
    WriteScrambled(s, m_uploadURL);
    WriteScrambled(s, m_uploadUser);
    WriteScrambled(s, m_uploadPassword);
    s.WriteU32(m_uploadPort);
    WriteScrambled(s, m_extraAttachments);
    s.WriteU16(m_sendFlags);
    s.WriteU8(m_dialogFlags);
    s.WriteU32(uint32_t(m_dialogAutoCloseSeconds));
    WriteScrambled(s, m_supportPageURL);
    WriteScrambled(s, m_htmlPageTemplate);
    s.WriteU8(m_callStackFlags);
    s.WriteU8(m_processingFlags);
    s.WriteU8(m_errorRateAction);
    s.WriteU32(uint32_t(m_errorRateCount));
    s.WriteU32(uint32_t(m_errorRateMinutes));

    const int count = std::max(m_filterClasses.Count(), m_filterMessages.Count());
    s.WriteU32(uint32_t(count));
    for (int i = 0; i < count; ++i) {
        WriteScrambled(s, i < m_filterClasses.Count() ? m_filterClasses.Strings(i) : std::string());
        WriteScrambled(s, i < m_filterMessages.Count() ? m_filterMessages.Strings(i) : std::string());
    }

    WriteScrambled(s, m_mailBody);
    for (const std::string& text : m_reportTexts)
        WriteScrambled(s, text);
}

// Reads into a staged copy first, so that a short or lying stream leaves these options untouched; the
// copy is then taken over through the setters in one update.
void TOstrelModuleOptions::LoadFromStream(TOstrelStream& stream) {
    TOstrelModuleOptions staged(std::string(), false);
    staged.Assign(this);
    staged.ReadFromStream(stream, OptionsDataVersion);
    Assign(&staged);
}

void TOstrelModuleOptions::ReadFromStream(TOstrelStream& s, int v) {
    SetSpareFlag(s.ReadU8());
    SetFilterActive(ReadBool(s));
    SetLogFlags(s.ReadU8());
    if (v < 500) {
        bool on = s.ReadU8() != 0;
        if (v < 450)
            on = !on;
        SetDialogFlags(WithBit(m_dialogFlags, 0x01, on));
    }
    SetAppendReportToMessage(ReadBool(s));
    if (v >= 450 && v < 500) {
        SetSendFlags(WithBit16(m_sendFlags, 0x04, s.ReadU8() != 0));
        SetSendFlags(WithBit16(m_sendFlags, 0x10, s.ReadU8() != 0));
        SetSendFlags(WithBit16(m_sendFlags, 0x01, s.ReadU8() != 0));
    }
    if (v >= 401) {
        SetLogToFile(ReadBool(s));
        SetDialogTabSetting(s.ReadU8());
    }
    if (v >= 403 && v < 500)
        SetDialogFlags(WithBit(m_dialogFlags, 0x80, s.ReadU8() != 0));
    if (v >= 420) {
        SetFreezeActive(ReadBool(s));
        int32_t seconds = int32_t(s.ReadU32());
        if (v < 422)
            seconds /= 1000;
        SetFreezeSeconds(seconds);
        SetFreezeText(ReadScrambled(s));
        if (v >= 450)
            SetSMTPSender(ReadScrambled(s));
        SetSMTPServer(ReadScrambled(s));
    }
    if (v >= 450)
        SetSMTPPort(s.ReadU16());
    if (v >= 421) {
        SetSMTPUser(ReadScrambled(s));
        SetSMTPPassword(ReadScrambled(s));
        SetTerminateAction(s.ReadU8());
    }
    SetDialogCountCheck(ReadBool(s));
    SetMaxLogReports(int32_t(s.ReadU32()));
    SetDialogCountLimit(int32_t(s.ReadU32()));

    SetMailRecipient(ReadScrambled(s));
    SetMailSubject(ReadScrambled(s));
    uint8_t sendMode = s.ReadU8();
    if (v < 450 && sendMode != 0)
        sendMode = m_smtpServer.empty() ? 1 : 2;
    SetMailSendMode(sendMode);
    if (v >= 500) {
        TGeneralFields fields;
        s.Read(fields.data(), fields.size());
        SetGeneralFields(fields);
    } else {
        uint8_t old[4];
        s.Read(old, 4);
        SetGeneralFields(ConvertOldGeneralFields(old));
        if (v < 450)
            s.ReadU8();
    }
    SetLogFileLocation(ReadScrambled(s));
    if (v >= 500) {
        SetUploadMode(s.ReadU8());
        SetUploadURL(ReadScrambled(s));
        SetUploadUser(ReadScrambled(s));
        SetUploadPassword(ReadScrambled(s));
        SetUploadPort(s.ReadU32());
        SetExtraAttachments(ReadScrambled(s));
        SetSendFlags(s.ReadU16());
        SetDialogFlags(s.ReadU8());
        SetDialogAutoCloseSeconds(int32_t(s.ReadU32()));
        SetSupportPageURL(ReadScrambled(s));
        SetHTMLPageTemplate(ReadScrambled(s));
        SetCallStackFlags(s.ReadU8());
        SetProcessingFlags(s.ReadU8());
        SetErrorRateAction(s.ReadU8());
        SetErrorRateCount(int32_t(s.ReadU32()));
        SetErrorRateMinutes(int32_t(s.ReadU32()));
    }

    // Each pair takes at least its two 4-byte lengths: a larger count is a lie, not a reason to allocate.
    const uint32_t count = s.ReadU32();
    if (count > s.Remaining() / 8)
        throw EReadError("Stream read error");
    m_filterClasses.Clear();
    m_filterMessages.Clear();
    for (uint32_t i = 0; i < count; ++i) {
        m_filterClasses.Add(ReadScrambled(s));
        m_filterMessages.Add(ReadScrambled(s));
    }

    SetMailBody(ReadScrambled(s));
    for (int i = 0; i < ReportTextCount; ++i)
        if (TextInVersion(i, v))
            SetText(i, ReadScrambled(s));
}

} // namespace reporter
