#include "OSmtpClient.h"

#include "OBase64.h"
#include "OFiles.h"
#include "OLastError.h"
#include "OMXLookup.h"
#include "OSendBudget.h"
#include "OSendProgress.h"
#include "OTextUtils.h"

#include <atomic>
#include <cctype>
#include <climits>
#include <ctime>
#include <unistd.h>

namespace reporter {

namespace {

constexpr size_t Base64LineLength = 76; // the most MIME allows
// Longer commands (the message itself) are logged only in part: the log goes into error messages.
constexpr size_t LoggedCommandLength = 2048;
// Message-IDs need a domain; the reporter's own keeps them apart from the host's mail.
constexpr const char* MessageIdDomain = "ostrellog.report";

std::atomic<TMXResolver> gMXResolver{nullptr};

std::string LocalHostName() {
    char name[251] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

uint64_t TickCount() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

// A name inside a quoted header parameter: no line break, no quote that would end it early.
std::string HeaderParameter(const std::string& name) {
    std::string result = CollapseControlChars(name);
    for (char& c : result)
        if (c == '"')
            c = '\'';
    return result;
}

bool IsAuthenticated(const std::string& user, const std::string& password) {
    return !user.empty() || !password.empty();
}

} // namespace

TOstrelClientSMTP::TOstrelClientSMTP(std::string host, uint32_t timeoutMs, uint16_t port)
    : TOstrelClientSocket(std::move(host), timeoutMs, true, port) {}

void TOstrelClientSMTP::Connect() {
    const bool wasConnected = Connected();
    TOstrelClientSocket::Connect();
    if (!wasConnected && !CheckReply({220}))
        RaiseError(0, SocketLog());
}

bool TOstrelClientSMTP::IsCompleteReply(const std::string& text) const {
    if (text.size() < 2 || text.back() != '\n')
        return false;
    const size_t end = text.size() - (text[text.size() - 2] == '\r' ? 2 : 1);
    const size_t previous = text.rfind('\n', end == 0 ? 0 : end - 1);
    const size_t start = previous == std::string::npos || previous >= end ? 0 : previous + 1;
    const std::string line = text.substr(start, end - start);
    if (line.size() < 3 || !std::isdigit((unsigned char)line[0]) || !std::isdigit((unsigned char)line[1]) ||
        !std::isdigit((unsigned char)line[2]))
        return false;
    return line.size() == 3 || line[3] == ' ';
}

bool TOstrelClientSMTP::CheckReply(std::initializer_list<int> accepted) {
    std::string reply;
    ReceiveTextOrTimeout(reply);
    size_t digits = 0;
    while (digits < reply.size() && digits < 9 && std::isdigit((unsigned char)reply[digits]))
        ++digits;
    if (digits == 0)
        return false;
    const int code = std::stoi(reply.substr(0, digits));
    for (int a : accepted)
        if (a == code)
            return true;
    return false;
}

bool TOstrelClientSMTP::SendCommand(std::initializer_list<int> accepted, const std::string& command,
                                    const std::string& logText) {
    if (command.empty())
        return false;
    std::string line = command;
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0)
        line += "\r\n";
    const size_t sent = SendText(line);
    if (sent != line.size())
        RaiseError(0, SocketLog());
    if (!logText.empty())
        AppendLog(logText + "\r\n");
    else if (line.size() > LoggedCommandLength)
        AppendLog(line.substr(0, LoggedCommandLength) + "...\r\n");
    else
        AppendLog(line);
    if (!CheckReply(accepted))
        RaiseError(0, SocketLog());
    return true;
}

std::string MimeAttachmentPart(const TSendFile& file) {
    const std::vector<uint8_t> data = ReadWholeFile(file.FileName);
    const std::string name = HeaderParameter(file.StoredName);
    std::string upperExtension;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        for (char c : name.substr(dot))
            upperExtension += char(std::toupper((unsigned char)c));
    const char* type = upperExtension == ".PNG" ? "image/png" : "application/octet-stream";

    std::string part = "\r\n--" + std::string(MessageBoundary) + "\r\n";
    part += "Content-Type: " + std::string(type) + ";\r\n";
    part += "        name=\"" + name + "\"\r\n";
    part += "Content-Transfer-Encoding: base64\r\n";
    part += "Content-Disposition: attachment;\r\n";
    part += "        filename=\"" + name + "\"\r\n\r\n";
    const std::string encoded = Base64Encode(data.data(), data.size());
    part.reserve(part.size() + encoded.size() + encoded.size() / Base64LineLength * 2 + 2);
    for (size_t at = 0; at < encoded.size(); at += Base64LineLength)
        part.append(encoded, at, Base64LineLength).append("\r\n");
    return part;
}

std::string BuildMimeBody(const std::string& messageText, const TSendFiles& attachments) {
    std::string body =
        "This is a multi-part message in MIME format\r\n\r\n--" + std::string(MessageBoundary) +
        "\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" + messageText + "\r\n";
    for (const TSendFile& file : attachments)
        body += MimeAttachmentPart(file);
    return body + "--" + MessageBoundary + "--\r\n";
}

std::string PrepareMessageData(const std::string& message) {
    std::string data;
    data.reserve(message.size() + message.size() / 64 + 2);
    bool lineStart = true;
    for (size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (c == '\r' || c == '\n') {
            data += "\r\n";
            if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n')
                ++i;
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.')
            data += '.';
        data += c;
        lineStart = false;
    }
    return data;
}

bool SendSMTP(const std::string& host, uint16_t port, const std::string& sender, const std::string& recipient,
              const std::string& user, const std::string& password, const std::string& subject,
              const std::string& body, const TSendFiles& attachments) {
    try {
        SendDialogStep(78);
        TOstrelClientSMTP client(host, SMTPTimeOutMs, port);
        client.Connect();
        const std::string mimeBody = BuildMimeBody(body, attachments);
        SendDialogStep(79);

        const std::string from = CollapseControlChars(sender);
        const std::string to = CollapseControlChars(recipient);
        bool greeted = false;
        if (!IsAuthenticated(user, password)) {
            greeted = client.SendCommand({250}, "HELO " + LocalHostName()) &&
                      client.SendCommand({250}, "RSET") &&
                      client.SendCommand({250}, "MAIL FROM:<" + from + ">");
        } else {
            greeted =
                client.SendCommand({250}, "EHLO " + LocalHostName()) && client.SendCommand({250}, "RSET") &&
                client.SendCommand({334}, "AUTH LOGIN") &&
                client.SendCommand({334}, user.empty() ? std::string() : Base64Encode(user), "<user>") &&
                client.SendCommand({235}, password.empty() ? std::string() : Base64Encode(password),
                                   "<password>") &&
                client.SendCommand({250}, "MAIL FROM:<" + from + ">");
            if (!greeted)
                throw EOstrelSocketError("AUTH LOGIN needs both a user name and a password.");
        }

        SendDialogStep(80);
        const std::string message = "Date: " + GetMailDate(::time(nullptr)) + "\r\nFrom: <" + from +
                                    ">\r\nSubject: " + CollapseControlChars(subject) + "\r\nTo: <" + to +
                                    ">\r\nContent-Type: multipart/mixed; boundary=\"" + MessageBoundary +
                                    "\";\r\nMIME-Version: 1.0\r\nMessage-ID: <" +
                                    std::to_string(TickCount()) + "@" + MessageIdDomain + ">\r\n\r\n" +
                                    mimeBody;
        if (!greeted || !client.SendCommand({250, 251}, "RCPT TO:<" + to + ">") ||
            !client.SendCommand({354}, "DATA"))
            return false;
        client.OnProgress = [](TOstrelClientSocket&, size_t position, size_t total) {
            SendDialogPosition(total == 0 ? 0 : int(std::min<size_t>(position, total) * 100 / total));
        };
        const bool sent = client.SendCommand({250}, PrepareMessageData(message) + ".");
        client.OnProgress = nullptr;
        return sent;
    } catch (...) {
        const TSendClockPause pause; // the error's box, while the send window is up, waits for its user
        FormatInternalError(TOstrelLogErrorCode::eeEmailSMTPError, "SMTP");
        return false;
    }
}

void SetMXResolver(TMXResolver resolver) {
    gMXResolver.store(resolver);
}

bool SendSMTPDirect(bool toMailExchanger, const std::string& sender, const std::string& host,
                    const TSendFiles& attachments, const std::string& body, const std::string& subject,
                    const std::string& recipients, const std::string& user, const std::string& password,
                    uint16_t port) {
    std::vector<std::string> list;
    SplitText(",;", recipients, list);
    bool result = false;
    for (size_t i = 0; i < list.size(); ++i) {
        SendDialogPosition(0);
        SetSendMessageNumber(int(i + 1), int(list.size()));
        // A recipient whose mail exchanger cannot be found fails alone; the others are still sent to.
        try {
            std::string server = host;
            std::string serverUser = user;
            std::string serverPassword = password;
            if (toMailExchanger) {
                SendDialogStep(77);
                const TMXResolver resolver = gMXResolver.load();
                server = resolver ? resolver(list[i], SMTPTimeOutMs) : GetMXServer(list[i], SMTPTimeOutMs);
                serverUser.clear();
                serverPassword.clear();
            }
            if (SendSMTP(server, port, sender, list[i], serverUser, serverPassword, subject, body,
                         attachments))
                result = true;
        } catch (...) {
            const TSendClockPause pause; // the error's box, while the send window is up, waits for its user
            FormatInternalError(TOstrelLogErrorCode::eeEmailSMTPError, "SMTP");
        }
    }
    CloseSendDialog();
    return result;
}

} // namespace reporter
