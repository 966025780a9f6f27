// A report sent by a thread of its own (SendFlags 0x0080) about a fault that ends the process: the process
// stays until the sending is over, so the mail is at the sink when the process has ended, and a report
// that could not be sent is kept beside the log. A server that answers late is waited for while the
// sending gets on; one that answers never or a byte at a time ends the sending at its overall bound.
#include "ExceptionLog.h"
#include "OOptions.h"
#include "OReportProgress.h"
#include "OSendBudget.h"
#include "Peers.h"
#include "tests/support/ChildScenario.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
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
    const uint16_t port = uint16_t(std::atoi(std::getenv("BGSEND_PORT")));
    if (const char* web = std::getenv("BGSEND_WEB"); web != nullptr && *web == '1') {
        options.SetUploadMode(1);
        options.SetUploadURL("http://127.0.0.1/upload.php");
        options.SetUploadPort(port);
    } else {
        options.SetMailSendMode(2);
        options.SetSMTPServer("127.0.0.1");
        options.SetSMTPPort(port);
        options.SetMailRecipient("support@example.org");
    }
    // Test settings of the bounds: the sending's overall one, and how long a report may stand still.
    if (const char* limit = std::getenv("BGSEND_LIMIT_MS"))
        reporter::SetSendTimeLimit(std::chrono::milliseconds(std::atoi(limit)));
    if (const char* stall = std::getenv("BGSEND_STALL_MS"))
        reporter::SetReportStallLimitMs(std::atoi(stall));
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

// Servers that answer late, never, or a byte at a time, each run beside the others. The sending waits for
// its peer longer than a report may stand still in these children (1.5 s), except for the web upload,
// whose library tells of its waits about once a second and keeps the program's own bound.
TEST(BackgroundSend, ASlowServerIsWaitedForWithinTheSendingsBound) {
    struct TCase {
        const char* Name;
        const char* Kind;
        std::vector<std::string> PeerOptions;
        const char* LimitMs; // the sending's overall bound, nullptr: the default two minutes
        const char* StallMs;
        bool Sent; // else: kept
    };
    const std::vector<TCase> cases = {
        {"mail 2 s late", "smtp", {"--delay", "2"}, nullptr, "1500", true},
        {"mail 2 s late past the bound", "smtp", {"--delay", "2"}, "5000", "1500", false},
        {"mail never answered", "smtp", {"--silent", "1"}, "4000", "1500", false},
        {"mail a byte every 0.5 s", "smtp", {"--trickle", "0.5"}, "4000", "1500", false},
        {"upload answered 8 s late", "http", {"--delay", "8"}, nullptr, nullptr, true},
        {"upload answered 8 s late past the bound", "http", {"--delay", "8"}, "4000", nullptr, false},
    };
    struct TRun {
        std::unique_ptr<repsend::TTempDir> Folder;
        std::unique_ptr<repsend::TPeer> Peer;
        std::future<TChildResult> Child;
    };
    std::vector<TRun> runs;
    for (const TCase& c : cases) {
        TRun run;
        run.Folder = std::make_unique<repsend::TTempDir>();
        run.Peer = std::make_unique<repsend::TPeer>(c.Kind, c.PeerOptions);
        std::vector<std::string> environment = {
            "BGSEND_FOLDER=" + run.Folder->Path(), "BGSEND_PORT=" + std::to_string(run.Peer->Port()),
            std::string("BGSEND_WEB=") + (c.Kind == std::string("http") ? "1" : "0")};
        if (c.LimitMs != nullptr)
            environment.push_back(std::string("BGSEND_LIMIT_MS=") + c.LimitMs);
        if (c.StallMs != nullptr)
            environment.push_back(std::string("BGSEND_STALL_MS=") + c.StallMs);
        run.Child = std::async(std::launch::async,
                               [environment] { return testtools::RunChild("segv", environment); });
        runs.push_back(std::move(run));
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        const TCase& c = cases[i];
        TRun& run = runs[i];
        SCOPED_TRACE(c.Name);
        const TChildResult child = run.Child.get();
        SCOPED_TRACE(child.Output);
        EXPECT_EQ(SIGSEGV, child.Signal);
        EXPECT_EQ(std::string::npos, child.Output.find("abandoned"));
        const std::vector<std::string> kept = repsend::ListFolder(run.Folder->Path());
        const std::string arrived =
            c.Kind == std::string("http") ? "post-1/field-ol_upload_file_0" : "message-1/att-reports.olf";
        if (c.Sent) {
            EXPECT_TRUE(repsend::FileExists(run.Peer->File(arrived)));
            EXPECT_EQ(std::vector<std::string>{"reports.olf"}, kept);
        } else {
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
