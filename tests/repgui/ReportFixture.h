#pragma once
// A fixed report for the dialog tests: two threads (the second with the stack it was created from), a
// program and two libraries, a General text, a CPU block and custom data.
#include "reporter/OModuleInfo.h"
#include "reporter/OOptions.h"
#include "reporter/OStackList.h"
#include "reporter/gui/ODialogContent.h"
#include "reporter/gui/OThreadHeader.h"

#include <QTemporaryDir>

#include <memory>

namespace repgui {

inline constexpr uint32_t MainThread = 100;
inline constexpr uint32_t Worker = 200;

struct TFixedReport {
    TFixedReport();

    reporter::TOstrelModuleOptions Options{"", false};
    reporter::TOstrelModulesList Modules;
    reporter::TOstrelStackList Stack;
    reporter::TThreadLookup Lookup;
    reporter::TReportDialogContent Content;
    reporter::TOstrelModuleInfoPtr Program;
    reporter::TOstrelModuleInfoPtr Library;

    // Rebuilds Content's options and rows after a change of Options.
    void Refresh();
};

// Call-stack entry of a thread.
std::unique_ptr<reporter::TOstrelDebugInfo> Entry(uint32_t thread, bool running, uint8_t kind,
                                                  reporter::TOstrelModuleInfoPtr module, uintptr_t address,
                                                  const char* unit, const char* procedure, int line = 0);

extern const char* const GeneralText;
extern const char* const CPUText;

} // namespace repgui
