#pragma once
// The simulator's modules on a scripted line instead of its TCP server: each request is handed to the
// bus as it is sent, and its answer arrives its delay after the answer before it ended (the server answers
// in order), however long a busy machine would keep a server thread from writing it.
#include <algorithm>
#include <chrono>
#include <optional>
#include <span>
#include <thread>

#include "tests/support/ScriptedLine.h"
#include "tools/sim/SimBus.h"

class TSimBusLine final : public TScriptedLine {
public:
    // The simulator's own time for an answer.
    static constexpr std::chrono::milliseconds Turn{2};

    explicit TSimBusLine(vdsim::TSimBus& bus) : m_bus(bus) {}

    bool Send(const std::uint8_t* data, int count) override {
        const Clock::time_point now = Clock::now();
        const vdsim::TSimResponse response = m_bus.Handle(std::span(data, std::size_t(count)), std::nullopt);
        m_bus.FrameDone();
        m_free = std::max(m_free, now) + Turn + response.Delay;
        const std::size_t split = std::min(response.Split, response.Bytes.size());
        if (split > 0) {
            Put(m_free, vdsim::TBytes(response.Bytes.begin(), response.Bytes.begin() + split));
            m_free += response.SplitPause;
        }
        if (split < response.Bytes.size())
            Put(m_free, vdsim::TBytes(response.Bytes.begin() + split, response.Bytes.end()));
        return true;
    }
    // Until every answer put on the line has arrived: nothing from the bus is still on its way.
    void WaitAllArrived() const { std::this_thread::sleep_until(m_free); }

private:
    vdsim::TSimBus& m_bus;
    Clock::time_point m_free{};
};
