// A CGI program that fails, run by a real web server on 127.0.0.1: the browser gets the HTML error page
// with a proper header instead of the raw report, and the report still reaches the log.
#include "RepprocTools.h"

#include "OOptions.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <regex>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using namespace repproc;

constexpr const char* WebServer = "/usr/sbin/lighttpd";
constexpr const char* CgiMessage = "repproc <cgi> failure & more";

[[gnu::noinline]] void FailInCgi() {
    throw std::runtime_error(CgiMessage);
}

TChildScenario cgi("cgi", [] {
    StartReporterForChild();
    FailInCgi();
});

uint16_t FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (s >= 0)
        ::close(s);
    return port;
}

int Connect(uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return s;
    if (s >= 0)
        ::close(s);
    return -1;
}

// The web server with mod_cgi, serving "fail.cgi": this binary run as the "cgi" scenario.
class TWebServer {
public:
    explicit TWebServer(const TTempFolder& folder) {
        const std::string www = folder.Path() + "/www";
        ::mkdir(www.c_str(), 0700);
        const std::string script = www + "/fail.cgi";
        std::ofstream(script) << "#!/bin/sh\nREPPROC_LOG_FOLDER='" << folder.Path() << "' exec '"
                              << std::filesystem::read_symlink("/proc/self/exe").string()
                              << "' --child cgi\n";
        ::chmod(script.c_str(), 0700);
        for (int attempt = 0; attempt < 3 && m_pid < 0; ++attempt) {
            m_port = FreePort();
            const std::string config = folder.Path() + "/lighttpd.conf";
            std::ofstream(config) << "server.document-root = \"" << www << "\"\n"
                                  << "server.bind = \"127.0.0.1\"\n"
                                  << "server.port = " << m_port << "\n"
                                  << "server.modules = (\"mod_cgi\")\n"
                                  << "cgi.assign = (\".cgi\" => \"\")\n"
                                  << "server.errorlog = \"" << folder.Path() << "/server.log\"\n";
            std::string program = WebServer, foreground = "-D", file = "-f", path = config;
            char* argv[] = {program.data(), foreground.data(), file.data(), path.data(), nullptr};
            pid_t pid = -1;
            if (posix_spawn(&pid, WebServer, nullptr, nullptr, argv, environ) != 0)
                return;
            // Ready once it accepts connections; a server that ended lost the port to someone else.
            for (int i = 0; i < 100; ++i) {
                if (const int s = Connect(m_port); s >= 0) {
                    ::close(s);
                    m_pid = pid;
                    break;
                }
                int status = 0;
                if (::waitpid(pid, &status, WNOHANG) == pid)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (m_pid < 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    }
    ~TWebServer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool Running() const { return m_pid > 0; }

    // The whole answer to a GET of the path.
    std::string Get(const std::string& path) const {
        const int s = Connect(m_port);
        if (s < 0)
            return std::string();
        timeval limit{30, 0};
        ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        std::string answer;
        if (::send(s, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
            char chunk[4096];
            for (ssize_t n; (n = ::recv(s, chunk, sizeof chunk, 0)) > 0;)
                answer.append(chunk, size_t(n));
        }
        ::close(s);
        return answer;
    }

private:
    pid_t m_pid = -1;
    uint16_t m_port = 0;
};

std::string Header(const std::string& headers, const std::string& name) {
    const std::regex line("(^|\r\n)" + name + ": ([^\r\n]*)", std::regex::icase);
    std::smatch match;
    return std::regex_search(headers, match, line) ? match[2].str() : "<none>";
}

TEST(WebErrorPage, AFailingCgiProgramAnswersWithTheErrorPage) {
    TTempFolder folder;
    const TWebServer server(folder);
    ASSERT_TRUE(server.Running()) << ReadFile(folder.Path() + "/server.log");
    const std::string answer = server.Get("/fail.cgi");
    const size_t end = answer.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos) << answer << ReadFile(folder.Path() + "/server.log");
    const std::string headers = answer.substr(0, end);
    const std::string page = answer.substr(end + 4);

    EXPECT_TRUE(headers.starts_with("HTTP/1.0 200 ")) << headers;
    EXPECT_EQ(Header(headers, "Content-Type"), "text/html");
    EXPECT_EQ(Header(headers, "Content-Length"), std::to_string(page.size())) << headers;
    // The page is the default template with the escaped message, a title, the back button and its ID.
    EXPECT_TRUE(page.starts_with("<title>Error.</title><html>")) << page;
    EXPECT_NE(page.find("repproc &lt;cgi&gt; failure &amp; more"), std::string::npos) << page;
    EXPECT_NE(page.find("<input type=button value=\"Ok\" OnClick=\"history.go(-1)\""), std::string::npos);
    EXPECT_TRUE(std::regex_search(page, std::regex("</html><!-- OstrelLog ID: [0-9A-F]{8} -->$"))) << page;
    // Nothing of the report itself reaches the browser; it went to the log.
    EXPECT_EQ(page.find("Call Stack"), std::string::npos);
    // The server may close the connection once the page is complete, while the program still logs.
    std::vector<std::string> reports;
    for (int i = 0; i < 200 && reports.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        reports = StoredReports(folder.LogFile());
    }
    ASSERT_EQ(reports.size(), 1u) << ReadFile(folder.Path() + "/server.log");
    EXPECT_NE(reports[0].find(CgiMessage), std::string::npos);
}

} // namespace
