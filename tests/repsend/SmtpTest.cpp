// The SMTP client against a loopback sink that decodes what it receives with Python's own MIME parser.
#include "Peers.h"

#include "OBase64.h"
#include "OLastError.h"
#include "OMXLookup.h"
#include "OSmtpClient.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace reporter;
using namespace repsend;

namespace {

class SmtpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sink = new TPeer("smtp"); }
    static void TearDownTestSuite() {
        delete sink;
        sink = nullptr;
    }
    void SetUp() override { ClearLastErrorCode(); }

    // The number of the next dialogue the sink will record.
    static int NextDialogue() { return ++dialogues; }

    static TPeer* sink;
    static int dialogues;
    TTempDir files;
};
TPeer* SmtpTest::sink = nullptr;
int SmtpTest::dialogues = 0;

TEST_F(SmtpTest, MessageCarriesTextAndAttachmentsByteForByte) {
    const std::string binary = RandomText(5000, 7);
    const std::string png = "\x89PNG\r\n\x1a\n" + RandomText(300, 8);
    WriteText(files.File("data.bin"), binary);
    WriteText(files.File("shot.png"), png);
    // Lines that begin with "." (one of them a lone ".") must not end the data early.
    const std::string body = "Report follows.\r\n.\r\n.hidden line\r\nlast line";
    const int n = NextDialogue();
    ASSERT_TRUE(SendSMTP(
        "127.0.0.1", sink->Port(), "app@example.org", "support@example.org", "", "", "Crash\r\nreport", body,
        {{files.File("data.bin"), "data_20240101.bin"}, {files.File("shot.png"), "Screenshot.png"}}))
        << LastErrorMessage();

    const std::string folder = "message-" + std::to_string(n) + "/";
    EXPECT_EQ(ReadText(sink->File(folder + "att-data_20240101.bin")), binary);
    EXPECT_EQ(ReadText(sink->File(folder + "att-Screenshot.png")), png);
    EXPECT_EQ(ReadText(sink->File(folder + "text.txt")), body + "\r\n");

    const std::string message = ReadText(sink->File("message-" + std::to_string(n) + ".eml"));
    EXPECT_NE(message.find("From: <app@example.org>\r\n"), std::string::npos);
    EXPECT_NE(message.find("To: <support@example.org>\r\n"), std::string::npos);
    EXPECT_NE(message.find("Subject: Crash report\r\n"), std::string::npos);
    EXPECT_NE(message.find("MIME-Version: 1.0\r\n"), std::string::npos);
    EXPECT_NE(message.find("Content-Type: image/png;\r\n        name=\"Screenshot.png\""), std::string::npos);
    EXPECT_NE(message.find("Content-Type: application/octet-stream;\r\n        name=\"data_20240101.bin\""),
              std::string::npos);
    for (size_t at = message.find('\n'); at != std::string::npos; at = message.find('\n', at + 1))
        ASSERT_TRUE(at > 0 && message[at - 1] == '\r') << "a line without CR LF at " << at;

    const std::string transcript = sink->WaitForFile("transcript-" + std::to_string(n) + ".txt");
    EXPECT_EQ(transcript.substr(0, 5), "HELO ");
    EXPECT_NE(transcript.find("\nRSET\nMAIL FROM:<app@example.org>\nRCPT TO:<support@example.org>\nDATA\n"),
              std::string::npos)
        << transcript;
    EXPECT_EQ(transcript.find("AUTH"), std::string::npos);
}

TEST_F(SmtpTest, AttachmentLinesAreSeventySixCharactersEachEndedByCrLf) {
    // 114 bytes are 152 Base64 characters: two full lines; one byte more starts a third.
    WriteText(files.File("a.bin"), RandomText(114, 1));
    const std::string part = MimeAttachmentPart({files.File("a.bin"), "a.bin"});
    const std::string data = part.substr(part.find("\r\n\r\n", 2) + 4);
    ASSERT_EQ(data.size(), 156u);
    EXPECT_EQ(data.substr(76, 2), "\r\n");
    EXPECT_EQ(data.substr(154), "\r\n");
    EXPECT_EQ(data.substr(0, 76) + data.substr(78, 76), Base64Encode(RandomText(114, 1)));
    WriteText(files.File("b.bin"), RandomText(115, 1));
    const std::string longer = MimeAttachmentPart({files.File("b.bin"), "b.bin"});
    const std::string more = longer.substr(longer.find("\r\n\r\n", 2) + 4);
    ASSERT_EQ(more.size(), 156u + 4 + 2);
    EXPECT_EQ(more.substr(154, 2), "\r\n");
    EXPECT_EQ(part.substr(0, 4 + std::string(MessageBoundary).size()),
              "\r\n--" + std::string(MessageBoundary));
    // A name that could break the header is made harmless.
    const std::string odd = MimeAttachmentPart({files.File("a.bin"), "x\"\r\nBcc: y.bin"});
    EXPECT_NE(odd.find("name=\"x' Bcc: y.bin\""), std::string::npos);
}

TEST_F(SmtpTest, MessageDataIsNormalisedAndDotStuffed) {
    EXPECT_EQ(PrepareMessageData(".a\nb\r.\r\n..c\r\nd"), "..a\r\nb\r\n..\r\n...c\r\nd");
}

TEST_F(SmtpTest, SeveralRecipientsGetOneDialogueEachAndOneSuccessSuffices) {
    const int first = NextDialogue();
    NextDialogue();
    NextDialogue();
    EXPECT_TRUE(SendSMTPDirect(false, "app@example.org", "127.0.0.1", {}, "text", "subject",
                               "one@example.org; reject@example.org ,two@example.org", "", "", sink->Port()));
    EXPECT_TRUE(FileExists(sink->File("message-" + std::to_string(first) + ".eml")));
    EXPECT_FALSE(FileExists(sink->File("message-" + std::to_string(first + 1) + ".eml")));
    EXPECT_TRUE(FileExists(sink->File("message-" + std::to_string(first + 2) + ".eml")));
    // The refused one is still the last error, with the dialogue up to the refusal.
    EXPECT_EQ(LastErrorCode(), TOstrelLogErrorCode::eeEmailSMTPError);
    EXPECT_NE(LastErrorMessage().find("[SMTP] "), std::string::npos);
    EXPECT_NE(LastErrorMessage().find("550 no such user"), std::string::npos);

    NextDialogue();
    EXPECT_FALSE(SendSMTPDirect(false, "app@example.org", "127.0.0.1", {}, "text", "subject",
                                "reject@example.org", "", "", sink->Port()));
}

TEST_F(SmtpTest, FailuresBecomeTheLastError) {
    EXPECT_FALSE(SendSMTP("127.0.0.1", ClosedPort(), "a@b", "c@d", "", "", "s", "b", {}));
    EXPECT_EQ(LastErrorCode(), TOstrelLogErrorCode::eeEmailSMTPError);
    EXPECT_NE(LastErrorMessage().find("Connection error: "), std::string::npos) << LastErrorMessage();

    EXPECT_FALSE(SendSMTP("no-such-host.invalid", sink->Port(), "a@b", "c@d", "", "", "s", "b", {}));
    EXPECT_NE(LastErrorMessage().find("Cannot resolve"), std::string::npos) << LastErrorMessage();

    EXPECT_FALSE(SendSMTP("127.0.0.1", sink->Port(), "a@b", "c@d", "", "", "s", "b",
                          {{files.File("missing.bin"), "missing.bin"}}));
    EXPECT_NE(LastErrorMessage().find("missing.bin"), std::string::npos);
    NextDialogue();
}

TEST_F(SmtpTest, SilentServerTimesOut) {
    // A listening socket whose connections are never served: the greeting never comes.
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(s, 4), 0);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    TOstrelClientSMTP client("127.0.0.1", 200, ntohs(address.sin_port));
    try {
        client.Connect();
        FAIL() << "no greeting, yet connected";
    } catch (const EOstrelSocketError& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, 15), "Socket timeout.");
        EXPECT_NE(std::string(e.what()).find("Socket log:\r\nConnected to 127.0.0.1 port"),
                  std::string::npos);
    }
    // A server that hangs up instead of greeting is told apart from a silent one.
    TOstrelClientSMTP hungUp("127.0.0.1", 2000, ntohs(address.sin_port));
    std::thread closer([s] {
        for (int i = 0; i < 2; ++i) // the first client's connection still waits in the queue
            ::close(::accept(s, nullptr, nullptr));
    });
    EXPECT_THROW(
        {
            try {
                hungUp.Connect();
            } catch (const EOstrelSocketError& e) {
                EXPECT_EQ(std::string(e.what()).substr(0, 30), "Connection closed by the peer.");
                throw;
            }
        },
        EOstrelSocketError);
    closer.join();
    ::close(s);
}

class SmtpAuthTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sink = new TPeer("smtp", {"--user", "reporter", "--password", "s3cret"}); }
    static void TearDownTestSuite() {
        delete sink;
        sink = nullptr;
    }
    static TPeer* sink;
    static int dialogues;
};
TPeer* SmtpAuthTest::sink = nullptr;
int SmtpAuthTest::dialogues = 0;

TEST_F(SmtpAuthTest, LogsInWithEhloAndAuthLogin) {
    const int n = ++dialogues;
    ASSERT_TRUE(SendSMTP("127.0.0.1", sink->Port(), "a@b.c", "d@e.f", "reporter", "s3cret", "s", "b", {}))
        << LastErrorMessage();
    const std::string transcript = sink->WaitForFile("transcript-" + std::to_string(n) + ".txt");
    EXPECT_EQ(transcript.substr(0, 5), "EHLO ");
    EXPECT_NE(transcript.find("\nRSET\nAUTH LOGIN\nAUTH-USER " + Base64Encode(std::string("reporter")) +
                              "\nAUTH-PASSWORD " + Base64Encode(std::string("s3cret")) +
                              "\nMAIL FROM:<a@b.c>\n"),
              std::string::npos)
        << transcript;
}

TEST_F(SmtpAuthTest, RefusedLoginFailsWithoutShowingThePassword) {
    ++dialogues;
    ClearLastErrorCode();
    EXPECT_FALSE(SendSMTP("127.0.0.1", sink->Port(), "a@b.c", "d@e.f", "reporter", "wrong", "s", "b", {}));
    EXPECT_NE(LastErrorMessage().find("535 authentication failed"), std::string::npos) << LastErrorMessage();
    EXPECT_EQ(LastErrorMessage().find(Base64Encode(std::string("wrong"))), std::string::npos);
}

TEST_F(SmtpAuthTest, UserWithoutPasswordFails) {
    ++dialogues;
    ClearLastErrorCode();
    EXPECT_FALSE(SendSMTP("127.0.0.1", sink->Port(), "a@b.c", "d@e.f", "reporter", "", "s", "b", {}));
    EXPECT_EQ(LastErrorCode(), TOstrelLogErrorCode::eeEmailSMTPError);
    EXPECT_NE(LastErrorMessage().find("needs both a user name and a password"), std::string::npos);
}

TEST(SmtpReplyTest, RecipientAcceptedWith251AndGreetingOtherThan220Refused) {
    TPeer forwarding("smtp", {"--rcpt-code", "251"});
    EXPECT_TRUE(SendSMTP("127.0.0.1", forwarding.Port(), "a@b.c", "d@e.f", "", "", "s", "b", {}))
        << LastErrorMessage();

    TPeer busy("smtp", {"--greeting-code", "554"});
    ClearLastErrorCode();
    EXPECT_FALSE(SendSMTP("127.0.0.1", busy.Port(), "a@b.c", "d@e.f", "", "", "s", "b", {}));
    EXPECT_NE(LastErrorMessage().find("554 sink ready"), std::string::npos) << LastErrorMessage();
}

// Straight to the mail exchanger: the exchanger comes from a loopback DNS responder, and no login is
// used there whatever the options say.
uint16_t gDNSPort = 0;
std::string LoopbackResolver(const std::string& address, uint32_t) {
    return GetMXServerFrom(address, {{"127.0.0.1", gDNSPort}}, 600);
}

TEST(SmtpDirectTest, SendsToTheRecipientsMailExchangerWithoutLogin) {
    TPeer dns("dns");
    TPeer sink("smtp", {"--user", "x", "--password", "y"});
    gDNSPort = dns.Port();
    SetMXResolver(&LoopbackResolver);
    const bool sent = SendSMTPDirect(true, "a@b.c", "unused.example", {}, "b", "s", "someone@loopback.test",
                                     "x", "y", sink.Port());
    SetMXResolver(nullptr);
    EXPECT_TRUE(sent) << LastErrorMessage();
    EXPECT_EQ(sink.WaitForFile("transcript-1.txt").substr(0, 5), "HELO ");
    EXPECT_NE(ReadText(dns.File("dns-queries.txt")).find("loopback.test flags=0100"), std::string::npos);
}

} // namespace
