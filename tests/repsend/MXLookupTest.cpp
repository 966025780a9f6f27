// The MX query and reply parser, against a loopback DNS responder written with Python's standard library.
#include "Peers.h"

#include "OClientSocket.h"
#include "OMXLookup.h"

#include <gtest/gtest.h>
#include <random>

using namespace reporter;
using namespace repsend;

namespace {

class MXLookupTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dns = new TPeer("dns"); }
    static void TearDownTestSuite() {
        delete dns;
        dns = nullptr;
    }
    static std::string Lookup(const std::string& address, uint32_t timeoutMs = 600) {
        return GetMXServerFrom(address, {{"127.0.0.1", dns->Port()}}, timeoutMs);
    }
    static TPeer* dns;
};
TPeer* MXLookupTest::dns = nullptr;

TEST(MXQueryTest, QueryIsTheStandardRecursiveMXQuestion) {
    const std::vector<uint8_t> expected = {0x41, 0x41, 0x01, 0x00, 0,   1,   0,   0,   0,   0,
                                           0,    0,    7,    'e',  'x', 'a', 'm', 'p', 'l', 'e',
                                           3,    'c',  'o',  'm',  0,   0,   15,  0,   1};
    EXPECT_EQ(BuildMXQuery("example.com", 0x4141), expected);
    EXPECT_EQ(BuildMXQuery("example.com.", 0x4141), expected);
}

TEST(MXQueryTest, NamesNoQueryCanCarryAreRefused) {
    for (const std::string& bad : {std::string(), std::string("a..b"), std::string(".a"),
                                   std::string(64, 'x') + ".com", std::string(300, 'a')}) {
        EXPECT_THROW(BuildMXQuery(bad, 1), EOstrelSocketError) << bad;
    }
    EXPECT_NO_THROW(BuildMXQuery(std::string(63, 'x') + ".com", 1));
}

TEST(MXQueryTest, MailDomainIsTheTextAfterTheFirstAt) {
    EXPECT_EQ(MailDomain("user@example.org"), "example.org");
    EXPECT_EQ(MailDomain("example.org"), "example.org");
    EXPECT_EQ(MailDomain("a@b@c"), "b@c");
}

TEST_F(MXLookupTest, AnswersGiveTheMostPreferredExchanger) {
    EXPECT_EQ(Lookup("someone@good.test"), "mx.good.test");
    EXPECT_EQ(Lookup("good.example.test"), "mx.good.example.test"); // no "@": the whole address
    EXPECT_EQ(Lookup("a@multi.test"), "primary.multi.test");
    EXPECT_EQ(Lookup("a@cname.test"), "mail.cname.test");
    EXPECT_EQ(Lookup("a@longowner.test"), "mx.longowner.test");
    // A truncated reply serves when its MX record arrived whole.
    EXPECT_EQ(Lookup("a@tc.test"), "mx.tc.test");
    // A reply with another id is passed over in favour of the real one.
    EXPECT_EQ(Lookup("a@wrongid.test"), "mx.wrongid.test");
    const std::string queries = ReadText(dns->File("dns-queries.txt"));
    EXPECT_NE(queries.find("good.test flags=0100 qd=1 type=15 class=1 len=27"), std::string::npos) << queries;
}

TEST_F(MXLookupTest, MalformedAndErrorRepliesAreRejected) {
    for (const char* kind : {"cut", "loop", "overrun", "badlabel", "notreply", "nxdomain"}) {
        const std::string domain = std::string(kind) + ".test";
        try {
            const std::string exchange = Lookup("a@" + domain);
            ADD_FAILURE() << domain << " gave " << exchange;
        } catch (const EOstrelSocketError& e) {
            EXPECT_STREQ(e.what(), ("Cannot resolve the \"" + domain + "\" MX record.").c_str());
        }
    }
}

TEST_F(MXLookupTest, SilentAndRefusingServersAreSkipped) {
    // The first server refuses (nothing listens on its port), the second answers.
    EXPECT_EQ(GetMXServerFrom("a@good.test", {{"127.0.0.1", ClosedPort()}, {"127.0.0.1", dns->Port()}}, 300),
              "mx.good.test");
    EXPECT_THROW(Lookup("a@silent.test", 60), EOstrelSocketError);
}

TEST(MXReplyTest, RandomBytesNeverReadPastTheReply) {
    // Replies built on a valid header with random bytes after it, and random cuts of a valid reply.
    std::mt19937 generator(42);
    const std::vector<uint8_t> query = BuildMXQuery("example.com", 0x1234);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> reply = {0x12, 0x34, 0x81, 0x80, 0, 1, 0, uint8_t(generator() % 4), 0, 0, 0, 0};
        if (round % 2 == 0)
            reply.insert(reply.end(), query.begin() + 12, query.end());
        const size_t extra = generator() % 80;
        for (size_t i = 0; i < extra; ++i)
            reply.push_back(uint8_t(generator() % 5 == 0 ? 0xC0 | (generator() & 0x3F) : generator()));
        std::vector<uint8_t> copy(reply.begin(), reply.begin() + long(generator() % (reply.size() + 1)));
        std::string exchange;
        ParseMXReply(copy.data(), copy.size(), 0x1234, exchange);
        EXPECT_LE(exchange.size(), 255u);
    }
}

TEST(ResolverConfigTest, IPv4NameServersInOrder) {
    TTempDir folder;
    WriteText(folder.File("resolv.conf"), "# comment\nsearch example.org\nnameserver 10.0.0.2\n"
                                          "nameserver ::1\nnameserver 0.0.0.0\n  nameserver\t192.168.1.1 \n"
                                          "nameserver not-an-address\n");
    const std::vector<TDNSServer> servers = ReadResolverConfig(folder.File("resolv.conf"));
    ASSERT_EQ(servers.size(), 2u);
    EXPECT_EQ(servers[0].Address, "10.0.0.2");
    EXPECT_EQ(servers[1].Address, "192.168.1.1");
    EXPECT_EQ(servers[1].Port, 53);
    EXPECT_TRUE(ReadResolverConfig(folder.File("missing.conf")).empty());
    EXPECT_EQ(DNSServers().back().Port, 53); // the public resolver closes the list
}

} // namespace
