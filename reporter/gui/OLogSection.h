#pragma once
// Extra numbered sections of a report (the custom data, the user's steps to reproduce): inserted right
// after the report's General part, so that the log reader finds them by their field numbers.
#include <cstddef>
#include <string>

namespace reporter {

// The report texts that a section goes into.
struct TReportTextParts {
    std::string ReportText;
    size_t GeneralLength = 0;          // the General part at the head of ReportText
    std::string SendText;              // the copy of the report text that is sent
    std::string* RecordText = nullptr; // the report text of the record handed to event handlers, if any
};

// Nothing for an empty or blank text. Otherwise the section ("label:" with its rule and one field "n.1 label:
// text", continuation lines under the value, as the General section writes its groups) and CR LF go in after
// the General part and the line break that follows it (or at the end of a shorter text), in both report
// texts; the sending copy is refreshed and the General part grows by the section.
void InsertLogSection(TReportTextParts& parts, int number, const std::string& label, const std::string& text);

} // namespace reporter
