// A report sent by a thread of its own (SendFlags 0x0080) about a fault that ends the process: the process
// stays until the sending is over, so the mail is at the sink when the process has ended, and a report
// that could not be sent is kept beside the log.
#include "ExceptionLog.h"
#include "OOptions.h"
#include "Peers.h"
#include "tests/support/ChildScenario.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

using testtools::TChildResult;
using testtools::TChildScenario;

// In a child: the reporter started, its log in the folder the parent named, the report mailed in the
// background to the port named, an unsent report kept.
void StartSendingReporter() {
    reporter::StartOstrelLog();
    reporter::TOstrelModuleOptionsEx& options = *reporter::CurrentOptions();
    options.SetLogFileLocation(std::string(std::getenv("BGSEND_FOLDER")) + "/reports.olf");
    options.SetSendFlags(0x0080);
    options.SetProcessingFlags(options.ProcessingFlags() | 0x40);
    options.SetMailSendMode(2);
    options.SetSMTPServer("127.0.0.1");
    options.SetSMTPPort(uint16_t(std::atoi(std::getenv("BGSEND_PORT"))));
    options.SetMailRecipient("support@example.org");
}

TChildScenario segv("segv", [] {
    StartSendingReporter();
    volatile int* volatile target = reinterpret_cast<int*>(16);
    *target = 1;
});

TChildScenario uncaught("uncaught", [] {
    StartSendingReporter();
    throw std::runtime_error("background send uncaught");
});

TEST(BackgroundSend, AFatalFaultEndsTheProcessOnlyAfterItsReportWasSentOrKept) {
    struct TCase {
        const char* Scenario;
        bool SinkUp;
    };
    for (const TCase& c :
         {TCase{"segv", true}, TCase{"segv", false}, TCase{"uncaught", true}, TCase{"uncaught", false}}) {
        SCOPED_TRACE(std::string(c.Scenario) + (c.SinkUp ? " sink up" : " sink down"));
        repsend::TTempDir folder;
        repsend::TPeer sink("smtp");
        const uint16_t port = c.SinkUp ? sink.Port() : repsend::ClosedPort();
        const TChildResult child = testtools::RunChild(
            c.Scenario, {"BGSEND_FOLDER=" + folder.Path(), "BGSEND_PORT=" + std::to_string(port)});
        SCOPED_TRACE(child.Output);
        // The fault's own end, as without sending.
        if (std::strcmp(c.Scenario, "segv") == 0)
            EXPECT_EQ(SIGSEGV, child.Signal);
        else
            EXPECT_EQ(1, child.ExitCode);
        const std::vector<std::string> kept = repsend::ListFolder(folder.Path());
        // Looked at once the process has ended: nothing may still be on its way.
        if (c.SinkUp) {
            EXPECT_TRUE(repsend::FileExists(sink.File("message-1/att-reports.olf")));
            EXPECT_EQ(std::vector<std::string>{"reports.olf"}, kept);
        } else {
            // The unsent report, with the record of the order in which reports were kept.
            EXPECT_EQ((std::vector<std::string>{".CompressFiles.order", "CompressFiles.tgz", "reports.olf"}),
                      kept);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        if (!testtools::RunChildScenario(argv[2])) {
            std::fprintf(stderr, "no scenario %s\n", argv[2]);
            return 99;
        }
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
