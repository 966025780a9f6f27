// The program's exported entry points, reached through the dynamic linker as another module would.
#include "RephooksTools.h"

#include "ExceptionLog.h"
#include "OEvents.h"

#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace rephooks_errors {
struct EExported : std::runtime_error {
    using std::runtime_error::runtime_error;
};
} // namespace rephooks_errors

namespace {

using namespace rephooks;
using rephooks_errors::EExported;

[[gnu::noinline]] void ThrowExported() {
    throw EExported("exported");
}

template <typename F> F Export(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

class Exports : public testing::Test {
protected:
    TStartedReporter m_reporter;
    TRecordingProcessor m_processor;
};

TEST_F(Exports, EveryEntryPointIsInTheProgramsDynamicSymbols) {
    for (const char* name :
         {"OstrelLog_PasswordRequestEvent", "OstrelLog_PasswordRequestEventEx",
          "OstrelLog_ExceptionNotifyEvent", "OstrelLog_ExceptionActionNotifyEvent",
          "OstrelLog_ExceptionErrorNotifyEvent", "OstrelLog_CustomDataRequestEvent",
          "OstrelLog_AttachedFilesRequestEvent", "OstrelLog_CustomFieldsRequestEvent",
          "OstrelLog_CallGeneralRaise", "OstrelLog_CallExceptObject", "OstrelLog_CallCreateThread",
          "OstrelLog_CallResumeThread", "OstrelLog_CallExitThread", "ExceptionManager"})
        EXPECT_NE(nullptr, dlsym(RTLD_DEFAULT, name)) << name;
}

TEST_F(Exports, ThePasswordNeverOverrunsTheCallersBuffer) {
    auto handler = std::make_shared<reporter::TOstrelLogHandler>();
    std::string seen;
    handler->OnPasswordRequest = [&](const reporter::TOstrelExceptionRecord&, std::string& password) {
        seen = password;
        password = "a-password-much-longer-than-the-buffer";
    };
    reporter::HandlerList()->Add(handler);
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    std::memcpy(buffer, "start", 6);
    Export<void (*)(char*, int)>("OstrelLog_PasswordRequestEvent")(buffer, 10);
    EXPECT_EQ("start", seen);
    EXPECT_STREQ("a-passwor", buffer);
    for (size_t i = 10; i < sizeof buffer; ++i)
        EXPECT_EQ('#', buffer[i]) << i;
}

TEST_F(Exports, EventsRunLastHandlerFirstThenTheGlobalProcedureAndMayStopTheReport) {
    static std::string order;
    order.clear();
    auto a = std::make_shared<reporter::TOstrelLogHandler>();
    a->OnExceptionNotify = [](const reporter::TOstrelExceptionRecord&, bool&) { order += "A"; };
    auto b = std::make_shared<reporter::TOstrelLogHandler>();
    b->OnExceptionNotify = [](const reporter::TOstrelExceptionRecord& record, bool& go) {
        order += "B";
        EXPECT_EQ("the caller's report", record.ReportText);
        go = false;
    };
    reporter::HandlerList()->Add(a);
    reporter::HandlerList()->Add(b);
    reporter::HandlerList()->Add(std::make_shared<reporter::TOstrelLogHandler>()); // handles nothing
    reporter::GlobalEvents().ExceptionNotify = [](const reporter::TOstrelExceptionRecord&, bool&) {
        order += "G";
    };

    reporter::CurrentExceptionRecord().ReportText = "this module's report";
    reporter::TOstrelExceptionRecord callers;
    callers.ReportText = "the caller's report";
    uint8_t go = 1;
    Export<void (*)(const reporter::TOstrelExceptionRecord*, uint8_t*)>("OstrelLog_ExceptionNotifyEvent")(
        &callers, &go);
    EXPECT_EQ("BAG", order);
    EXPECT_EQ(0, go);
    EXPECT_EQ("this module's report", reporter::CurrentExceptionRecord().ReportText);

    // No handler: the flags come back as they went in.
    reporter::HandlerList()->Remove(a);
    reporter::HandlerList()->Remove(b);
    reporter::GlobalEvents().ExceptionNotify = nullptr;
    uint8_t execute = 1;
    Export<void (*)(const reporter::TOstrelExceptionRecord*, int, uint8_t*)>(
        "OstrelLog_ExceptionActionNotifyEvent")(&callers, 0, &execute);
    EXPECT_EQ(1, execute);
}

TEST_F(Exports, ExceptionManagerReportsACaughtExceptionWithItsRaise) {
    auto manager = Export<uint8_t (*)(void*, uintptr_t, int, uintptr_t)>("ExceptionManager");
    ASSERT_NE(nullptr, manager);
    TRecordingProcessor::SetResult(0);
    uint8_t result = 1;
    int notAnException = 0;
    try {
        ThrowExported();
    } catch (const EExported& e) {
        result = manager(const_cast<EExported*>(&e), 0, 1, 0);
        // What is no exception object stands for the exception the thread is handling.
        manager(&notAnException, 0, 2, 0);
    }
    EXPECT_EQ(0, result);
    const auto records = m_processor.Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("rephooks_errors::EExported", records[0].ClassName);
    EXPECT_EQ(1, records[0].DialogType);
    EXPECT_EQ(1, records[0].RaiseKind);
    const auto start = reinterpret_cast<uintptr_t>(&ThrowExported);
    EXPECT_TRUE(records[0].Address > start && records[0].Address - start < 256);
    EXPECT_EQ("rephooks_errors::EExported", records[1].ClassName);

    // Once the handler has ended, that exception is freed: nothing stands for it any more.
    EXPECT_EQ(1, manager(&notAnException, 0, 2, 0));
    EXPECT_EQ(2u, m_processor.Records().size());
}

TEST(ExportsStopped, ExceptionManagerDoesNothingWhileTheReporterIsStopped) {
    TRecordingProcessor processor;
    try {
        ThrowExported();
    } catch (const EExported& e) {
        EXPECT_EQ(1, ::ExceptionManager(const_cast<EExported*>(&e), 0, 1, 0));
    }
    EXPECT_TRUE(processor.Records().empty());
}

} // namespace
