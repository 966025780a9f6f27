// The report log reader, read from a file as the reporter reads it: every report's fields and sections,
// the duplicate test with each report's own fields, and the XML conversion, which must be well-formed
// whatever the log holds.
#include "FuzzSupport.h"
#include "OErrors.h"
#include "OLogFile.h"
#include "OOptions.h"
#include "OXMLLog.h"

#include <QByteArray>
#include <QXmlStreamReader>
#include <optional>
#include <string>
#include <vector>

namespace {

void CheckWellFormed(const std::string& xml) {
    QXmlStreamReader reader(QByteArray::fromRawData(xml.data(), qsizetype(xml.size())));
    while (!reader.atEnd())
        reader.readNext();
    if (reader.hasError())
        fuzz::Fail("the XML log is not well-formed: " + reader.errorString().toStdString());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file = fuzz::WriteFile("log.olf", {data, size});
    std::optional<reporter::TLogFile> log;
    try {
        log.emplace(file, true);
    } catch (const reporter::EFileError&) {
        return 0;
    }
    reporter::TOstrelModuleOptions options("fuzz", false);
    options.SetLogFlags(0x01);
    const std::vector<std::string> numbers{"2.2", "2.3", "2.4", "2.5"};
    for (int i = 0; i < log->Count(); ++i) {
        std::vector<std::string> values;
        for (const std::string& number : numbers)
            values.push_back(log->GetFieldValue(number, i));
        log->FindDuplicate(numbers, values);
        reporter::IsDuplicateReport(options, &*log, values[0], values[1], values[2], values[3]);
        log->GetReportGeneral(i);
        log->GetReportCallStack(i);
        log->GetReportModules(i);
        log->GetReportCPU(i);
        log->GetReportOther(i);
        if (i == 0)
            CheckWellFormed(log->ReportToXML(i));
    }
    CheckWellFormed(log->LogToXML());
    return 0;
}
