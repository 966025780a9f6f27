#pragma once
// The reporter's own e-mail sender: an SMTP dialogue per recipient, to a configured server (with or
// without AUTH LOGIN) or straight to the recipient's mail exchanger, carrying a MIME multipart message
// with the report text and the attachments in Base64.
#include "OClientSocket.h"
#include "OSendFiles.h"

#include <initializer_list>
#include <string>

namespace reporter {

// Separates the parts of every message.
inline constexpr const char* MessageBoundary = "=_xcjvnxkbhvfkxzhfdbvzldjhfv";
// Connecting and waiting for each reply.
inline constexpr uint32_t SMTPTimeOutMs = 30000;

class TOstrelClientSMTP : public TOstrelClientSocket {
public:
    TOstrelClientSMTP(std::string host, uint32_t timeoutMs, uint16_t port);

    // Connects and expects the greeting 220.
    void Connect() override;
    // The reply's leading code is one of the accepted ones (only the first line of a reply counts).
    bool CheckReply(std::initializer_list<int> accepted);
    // Sends the command (CR LF added) and checks the reply; a refused reply raises EOstrelSocketError with
    // the dialogue as its message. logText, when given, stands for the command in the socket log (so that
    // credentials never reach an error message). An empty command sends nothing and returns false.
    bool SendCommand(std::initializer_list<int> accepted, const std::string& command,
                     const std::string& logText = std::string());

protected:
    // The reply's last line carries its code followed by a blank (RFC 5321 multi-line replies).
    bool IsCompleteReply(const std::string& text) const override;
};

// One attachment part of the message: headers and the file's Base64 in lines of 80 characters, every line
// ended by CR LF. Raises EFileError when the file cannot be read.
std::string MimeAttachmentPart(const TSendFile& file);
// The multipart body: the text part with the message, then the attachment parts, then the closing line.
std::string BuildMimeBody(const std::string& messageText, const TSendFiles& attachments);
// Makes the message safe to send as DATA: every line ended by CR LF and a leading "." doubled, so that
// no text of the report can end the data early.
std::string PrepareMessageData(const std::string& message);

// One dialogue with one recipient. Any failure becomes the last error eeEmailSMTPError and false.
bool SendSMTP(const std::string& host, uint16_t port, const std::string& sender, const std::string& recipient,
              const std::string& user, const std::string& password, const std::string& subject,
              const std::string& body, const TSendFiles& attachments);
// One dialogue per recipient (recipients separated by "," or ";"); with toMailExchanger each recipient's
// mail exchanger is looked up and used without authentication. True when any recipient succeeded.
bool SendSMTPDirect(bool toMailExchanger, const std::string& sender, const std::string& host,
                    const TSendFiles& attachments, const std::string& body, const std::string& subject,
                    const std::string& recipients, const std::string& user, const std::string& password,
                    uint16_t port);

// The mail exchanger lookup that SendSMTPDirect uses; tests point it at their own resolver.
using TMXResolver = std::string (*)(const std::string& address, uint32_t timeoutMs);
void SetMXResolver(TMXResolver resolver); // nullptr: GetMXServer

} // namespace reporter
