#pragma once
// The General and CPU pages of the report dialog as rich text: a fixed colour table, bold group headers,
// black labels with dark blue values, and on the CPU page a tab stop between the stack and the memory
// dump. Each page is made as RTF and as HTML (for text views that take HTML); showing it is the
// dialog's business.
#include <string>

namespace reporter {

// The dialog's fixed font.
struct TRichTextFont {
    std::string Name = "Courier New";
    int PointSize = 8;
    int Charset = -1;  // the font character set; -1: the user's locale's (GetDefaultCharset)
    int DashWidth = 0; // pixels of one "-" in the font; 0: estimated from the size
};

// Backslash and braces escaped, CR LF to "\par" + CR LF, every other character beyond ASCII of a UTF-8
// text as a Unicode control word (a byte that is no UTF-8 as a code-page byte).
std::string RTFEncode(const std::string& text);
// The page frame: header with font and colour table, font size, then the body and the closing brace.
std::string RTFPage(const std::string& body, const TRichTextFont& font = {});

std::string BuildGeneralRTF(const std::string& text, const TRichTextFont& font = {});
std::string BuildCPURTF(const std::string& text, const TRichTextFont& font = {});

// Ampersand, angle brackets and quotes as entities; line breaks kept (the page is preformatted).
std::string HTMLEscape(const std::string& text);
std::string BuildGeneralHTML(const std::string& text, const TRichTextFont& font = {});
std::string BuildCPUHTML(const std::string& text, const TRichTextFont& font = {});

} // namespace reporter
