#pragma once
// Text routines of the reporter: searching, replacing, splitting, the mail date, HTML encoding.
#include <ctime>
#include <string>
#include <vector>

namespace reporter {

// 1-based position of substring at or after start (1-based), 0 when absent.
size_t PosFrom(const std::string& substring, const std::string& text, size_t start);
// Every occurrence replaced, case-sensitive.
std::string ReplaceText(const std::string& text, const std::string& oldText, const std::string& newText);
// Splits at every character of the set, trims each piece and adds the non-empty ones.
void SplitText(const std::string& characterSet, const std::string& text, std::vector<std::string>& list);
// Without blanks, tabs, CRs and LFs at either end.
std::string TrimText(const std::string& text);
// The lines of a text whose lines end with CR LF; a final CR LF adds no empty line.
std::vector<std::string> SplitCRLFLines(const std::string& text);
// "Tue, 3 Jun 2008 11:05:30 +0200": English names, the local zone of that moment as +hhmm.
std::string GetMailDate(time_t time);
// The zone part alone, from minutes east of UTC: 120 gives "+0200", -180 "-0300", 330 "+0530".
std::string FormatMailZone(int minutes);
std::string ChooseText(bool flag, const std::string& a, const std::string& b = std::string());
// Each run of control characters becomes one blank.
std::string CollapseControlChars(const std::string& text);
std::string HTMLEncode(const std::string& text);
// The temporary folder with its trailing delimiter.
std::string GetTempFolder();

} // namespace reporter
