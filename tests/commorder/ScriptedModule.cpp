#include "tests/commorder/ScriptedModule.h"

#include <algorithm>
#include <thread>

#include "tests/commorder/InOrderPeer.h"

namespace {
constexpr std::uint8_t kDiagnostics = 0x08;
// The other slave's traffic is put on the line this far ahead of the time it is looked at.
constexpr std::chrono::seconds kOtherAhead{1};
} // namespace

TScriptedModule::TScriptedModule(std::uint8_t address) : m_address(address), m_core(address) {
    for (int r = 0; r < 256; ++r)
        m_core.SetHoldingRegister(r, std::uint16_t(1000 + r));
}

void TScriptedModule::InterleaveOtherAddress(Clock::duration least, Clock::duration most) {
    m_otherLeast = least;
    m_otherMost = std::max(least, most);
    m_nextOther = Clock::now() + least;
}

void TScriptedModule::Close() {
    m_sent.reset();
    TScriptedLine::Close();
}

bool TScriptedModule::Send(const std::uint8_t* data, int count) {
    Schedule();
    const rtu::Frame request(data, data + count);
    TScriptStep step;
    if (!Steps.empty()) {
        step = Steps.front();
        Steps.pop_front();
    } else if (m_script) {
        step = m_script(m_requests, request);
    }
    ++m_requests;
    rtu::Frame answer = m_core.Answer(request);
    const bool fence = request.size() > 1 && request[1] == kDiagnostics;
    if (fence) {
        ++m_fences;
        if (m_fenceAnswer == TFenceAnswer::Exception)
            answer = rtu::ExceptionReply(m_address, kDiagnostics, 1);
        else if (m_fenceAnswer == TFenceAnswer::Silent)
            answer.clear();
    }
    m_sent = TSent{step, std::move(answer), Clock::now(), fence};
    if (step.MasterKept)
        std::this_thread::sleep_for(*step.MasterKept);
    return true;
}

void TScriptedModule::Schedule() {
    const Clock::time_point now = Clock::now();
    if (m_otherMost > Clock::duration::zero()) {
        std::uniform_int_distribution<Clock::rep> gap(m_otherLeast.count(), m_otherMost.count());
        for (; m_nextOther <= now + kOtherAhead; m_nextOther += Clock::duration(gap(m_random)))
            Put(m_nextOther, OtherAddressFrame(m_address));
    }
    if (!m_sent)
        return;
    const TSent sent = std::move(*m_sent);
    m_sent.reset();
    const TScriptStep& step = sent.Step;
    const auto at = [&](Clock::duration offset) { return sent.At + offset; };
    if (step.OldRefusal)
        Put(at(*step.OldRefusal), rtu::ExceptionReply(m_address, kDiagnostics, 1));
    if (step.OldAnswer && !m_lastAnswer.empty())
        Put(at(*step.OldAnswer), m_lastAnswer);
    if (step.Owed) {
        Put(at(*step.Owed), m_withheld);
        m_free = std::max(m_free, at(*step.Owed));
    }
    if (step.Lose)
        return;
    // Nothing at all: a module that ignores the request still takes its turn over it.
    m_free = std::max(m_free, sent.At) + step.Turn.value_or(Turn);
    if (sent.Answer.empty())
        return;
    if (step.Withhold) {
        m_withheld = sent.Answer;
        return;
    }
    rtu::Frame piece;
    if (step.OtherAddressBefore)
        piece = OtherAddressFrame(m_address);
    if (step.LastAnswerBefore)
        piece.insert(piece.end(), m_lastAnswer.begin(), m_lastAnswer.end());
    piece.insert(piece.end(), sent.Answer.begin(), sent.Answer.end());
    if (step.CopyWith)
        piece.insert(piece.end(), sent.Answer.begin(), sent.Answer.end());
    for (int i = 0; i < step.TrailingBytes; ++i)
        piece.push_back(std::uint8_t(0x01 + i));
    if (step.OtherAddressAfter) {
        const rtu::Frame other = OtherAddressFrame(m_address);
        piece.insert(piece.end(), other.begin(), other.end());
    }
    Put(m_free, std::move(piece));
    if (step.CopyAfter)
        Put(m_free + *step.CopyAfter, sent.Answer);
    // A gateway's copies are of the module's data, not of the master's fences.
    if (!sent.Fence)
        m_lastAnswer = sent.Answer;
}
