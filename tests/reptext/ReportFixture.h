#pragma once
#include "tests/support/TestTools.h"
// A report made from fixed inputs: options, General values, a stack list of two threads, two modules,
// registers and memory, so that the report text is the same on every run.
#include "OLogText.h"
#include "OOptions.h"

#include <memory>
#include <string>

namespace reptest {

using testtools::TTempDir;

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
// Exit code and output of a shell command.
int Run(const std::string& command, std::string& output);

// Runs every test with the same time zone, so that file times read the same.
void UseUTC();

struct TFixedReport {
    TFixedReport();
    std::unique_ptr<reporter::TOstrelModuleOptions> Options;
    reporter::TOstrelStackList Stack;
    reporter::TLogTextFrame Frame;

    reporter::TLogTexts Build() const { return reporter::BuildLogText(Frame); }
    // The General section from the values below with the options' fields.
    void SetGeneral(const std::string& address, const std::string& module, const std::string& type,
                    const std::string& message);
};

inline constexpr uintptr_t FixedStackPointer = 0x00007FFC12340000;
inline constexpr uintptr_t FixedExceptionAddress = 0x0000555500001234;

} // namespace reptest
