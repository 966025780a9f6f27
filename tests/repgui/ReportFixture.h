#pragma once
// A fixed report for the dialog tests: two threads (the second with the stack it was created from), a
// program and a library, a General text, a CPU block and custom data.
#include "OModuleInfo.h"
#include "OOptions.h"
#include "OStackList.h"
#include "OThreadHeader.h"
#include "reporter/gui/ODialogContent.h"

#include <QTemporaryDir>

#include <memory>

namespace repgui {

// Beyond the largest thread ID the system hands out: the system never knows them.
inline constexpr uint32_t MainThread = 4194400;
inline constexpr uint32_t Worker = 4194500;

struct TFixedReport {
    TFixedReport();

    reporter::TOstrelModuleOptions Options{"", false};
    reporter::TOstrelModulesList Modules;
    reporter::TOstrelStackList Stack;
    reporter::TThreadFactsLookup Lookup;
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

} // namespace repgui
