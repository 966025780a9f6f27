#pragma once
// Sending a report through the user's own mail client: xdg-email opens a message with the attachments,
// and "xdg-open mailto:..." serves as the fall-back that carries the text only.
#include "OSendFiles.h"

#include <string>
#include <vector>

namespace reporter {

// Opens a message to the recipients (separated by "," or ";") with subject, body and the attachments under
// their attachment names; the mail client shows it to the user, who sends it. True when the client took it;
// else the last error eeEmailMAPIError.
bool SendMAPI(const std::string& recipients, const std::string& subject, const std::string& body,
              const TSendFiles& attachments);
// Opens the "mailto:" link of the recipients, subject and message followed by the report text. True when
// the link was handed to a mail client; else the last error eeEmailShellError.
bool SendShellMailto(const std::string& recipients, const std::string& subject, const std::string& message,
                     const std::string& reportText);

// "mailto:" + recipients + "?Subject=" + encoded subject + "&Body=" + encoded body.
std::string BuildMailtoLink(const std::string& recipients, const std::string& subject,
                            const std::string& body);
// Keeps A-Z, a-z, 0-9, "-" and every byte from 128 on; anything else becomes "%" and two upper-case hex
// digits.
std::string MailtoEncode(const std::string& text);

} // namespace reporter
