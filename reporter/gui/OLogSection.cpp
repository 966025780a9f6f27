#include "reporter/gui/OLogSection.h"

#include "reporter/OLogItem.h"

#include <algorithm>

namespace reporter {

namespace {

std::string SectionText(int number, const std::string& label, const std::string& text) {
    TLogItem item(number - 1);
    item.AddGroup(label);
    item.AddField(label, text);
    return item.GetText();
}

} // namespace

void InsertLogSection(TReportTextParts& parts, int number, const std::string& label,
                      const std::string& text) {
    if (text.empty())
        return;
    const std::string section = SectionText(number, label, text) + "\r\n";
    const size_t at = std::min(parts.GeneralLength + 2, parts.ReportText.size());
    parts.ReportText.insert(at, section);
    if (parts.RecordText != nullptr)
        parts.RecordText->insert(std::min(at, parts.RecordText->size()), section);
    parts.SendText = parts.ReportText;
    parts.GeneralLength += section.size();
}

} // namespace reporter
