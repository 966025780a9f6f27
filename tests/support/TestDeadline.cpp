#include "TestDeadline.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace testtools {
namespace {

class TDeadlineListener : public ::testing::EmptyTestEventListener {
public:
    explicit TDeadlineListener(std::chrono::seconds limit) : m_limit(limit), m_watch([this] { Watch(); }) {}
    ~TDeadlineListener() override {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_watch.join();
    }

    void OnTestStart(const ::testing::TestInfo& test) override {
        {
            const std::lock_guard lock(m_mutex);
            m_name = std::string(test.test_suite_name()) + "." + test.name();
            m_deadline = std::chrono::steady_clock::now() + m_limit;
            m_running = true;
        }
        m_changed.notify_all();
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        {
            const std::lock_guard lock(m_mutex);
            m_running = false;
        }
        m_changed.notify_all();
    }

private:
    void Watch() {
        std::unique_lock lock(m_mutex);
        while (!m_stop) {
            if (!m_running) {
                m_changed.wait(lock);
            } else if (m_changed.wait_until(lock, m_deadline) == std::cv_status::timeout && m_running &&
                       std::chrono::steady_clock::now() >= m_deadline) {
                // The test's own thread is stuck: only ending the process reports it.
                std::fprintf(stderr, "%s did not finish within %lld s\n", m_name.c_str(),
                             static_cast<long long>(m_limit.count()));
                std::fflush(stderr);
                std::_Exit(1);
            }
        }
    }

    const std::chrono::seconds m_limit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_name;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_running = false;
    bool m_stop = false;
    std::thread m_watch;
};

} // namespace

void InstallTestDeadline(std::chrono::seconds limit) {
    ::testing::UnitTest::GetInstance()->listeners().Append(new TDeadlineListener(limit));
}

} // namespace testtools
