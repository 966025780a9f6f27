#include "reporter/gui/OLogSection.h"

#include "OLogText.h"

namespace reporter {

void InsertLogSection(TReportTextParts& parts, int number, const std::string& label,
                      const std::string& text) {
    if (parts.RecordText != nullptr) {
        size_t recordGeneral = parts.GeneralLength;
        InsertLogSection(*parts.RecordText, recordGeneral, number - 1, label, text);
    }
    const size_t before = parts.ReportText.size();
    InsertLogSection(parts.ReportText, parts.GeneralLength, number - 1, label, text);
    if (parts.ReportText.size() != before)
        parts.SendText = parts.ReportText;
}

} // namespace reporter
