// The master against a slave that answers in order, whatever goes wrong on the way: no read reports
// success with another read's values, and once the fault ends the module is read again at once.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "comm/ModbusSerialTCPMaster.h"
#include "tests/commorder/InOrderPeer.h"

namespace {

constexpr int kTimeout = 50;
constexpr int kReads = 200;
// The reads taken as "after the fault": every one of them must succeed but for one a busy machine may
// make late.
constexpr int kAfter = 10;
// Where a fault that comes again and again ends (requests counted with the fences): well before the
// last kAfter reads.
constexpr std::size_t kFaultEnds = 150;
// However busy the machine, the slave puts the copies it owes on the line within this.
constexpr int kCopyDeadlineMs = 10000;

struct TReads {
    int Ok = 0;
    int Wrong = 0;
    int OkAfter = 0; // of the last kAfter reads
    std::string FirstError;
};

void PointAt(TModbusSerialTCPMaster& master, const InOrderPeer& peer, int retries) {
    master.ConnectionType = 1;
    master.Socket->Host = QStringLiteral("127.0.0.1");
    master.Socket->Port = peer.Port();
    master.SerialPort->BaudRate = 57600;
    master.Timeout = kTimeout;
    master.Retries = retries;
}

// Back-to-back reads of two registers at changing addresses: a good result must hold that address's
// values (register r holds 1000 + r). Each read goes once the copies the slave owes are on the line.
TReads ReadInTurn(TModbusSerialTCPMaster& master, InOrderPeer& peer, int count) {
    TReads reads;
    for (int i = 0; i < count; ++i) {
        if (!peer.SendCopies(kCopyDeadlineMs)) {
            reads.FirstError = "a copy never went";
            break;
        }
        const int address = 10 * (i % 5);
        if (!master.ReadHoldingRegisters(1, address, 2)) {
            if (reads.FirstError.empty())
                reads.FirstError = master.ErrorText().toStdString();
            continue;
        }
        ++reads.Ok;
        if (i >= count - kAfter)
            ++reads.OkAfter;
        if (master.Registers.GetValue(0) != 1000 + address || master.Registers.GetValue(1) != 1001 + address)
            ++reads.Wrong;
    }
    return reads;
}

// Answers in 2 ms; requests first..first+count-1 (fences included: the slave stalls whatever it works
// on) wait `times` Timeouts.
InOrderPeer::Script Stalls(int count, double times) {
    return [=](std::size_t n, const rtu::Frame&) {
        TPeerAction a;
        if (n >= 20 && n < std::size_t(20 + count))
            a.DelayMs = int(times * kTimeout);
        return a;
    };
}

// The read that is the 21st request never reaches the slave.
InOrderPeer::Script LostOnce(int trailing = 0) {
    return [=](std::size_t n, const rtu::Frame&) {
        TPeerAction a;
        a.Lose = n == 20;
        a.TrailingBytes = trailing;
        return a;
    };
}

// Answers in 12 ms; the chosen answers come twice, the copy once the read that took the answer has ended
// and before the next read goes (ReadInTurn lets it go), as a gateway's own retry on its way before that
// read: however busy the machine, never read together with its answer nor later than the next one.
InOrderPeer::Script Duplicates(int every) {
    return [=](std::size_t n, const rtu::Frame&) {
        TPeerAction a;
        a.DelayMs = 12;
        a.DuplicateBetweenReads =
            n >= 20 && n < kFaultEnds && (every == 0 ? n == 20 : n % std::size_t(every) == 0);
        return a;
    };
}

// Every tenth answer comes behind a copy of the answer before it, both in one read, as a master that
// was kept from the line until both had come finds them.
InOrderPeer::Script CopiesReadTogether() {
    return [](std::size_t n, const rtu::Frame&) {
        TPeerAction a;
        a.LastAnswerBefore = n >= 20 && n < kFaultEnds && n % 10 == 0;
        return a;
    };
}

// Lateness creeping from 0.5 to 3 Timeouts over 25 requests, then answers in time again.
InOrderPeer::Script Creeping() {
    return [](std::size_t n, const rtu::Frame&) {
        TPeerAction a;
        if (n >= 20 && n < 45)
            a.DelayMs = int((0.5 + 2.5 * double(n - 20) / 25.0) * kTimeout);
        return a;
    };
}

struct TRow {
    std::string What;
    InOrderPeer::Script Script;
    bool OtherAddress = false;
    TFenceAnswer Fence = TFenceAnswer::Echo;
    // Another slave's frame read with nothing of this one misleads nothing and needs no fence: a busy
    // machine's master may meet the row's only fault so.
    bool MayNeedNoFence = false;
};

std::vector<TRow> Rows() {
    std::vector<TRow> rows;
    for (int count : {2, 3})
        for (double times : {5.0, 6.0, 7.0, 10.0, 15.0})
            rows.push_back({std::to_string(count) + " stalls of " + std::to_string(int(times)) + " x Timeout",
                            Stalls(count, times)});
    rows.push_back({"a lost request", LostOnce()});
    rows.push_back({"one duplicated answer", Duplicates(0)});
    rows.push_back({"every tenth answer duplicated", Duplicates(10)});
    rows.push_back(
        {"every tenth answer behind a copy of the one before, read at once", CopiesReadTogether()});
    rows.push_back({"trailing bytes and a lost request", LostOnce(2)});
    rows.push_back({"frames of another address", nullptr, true, TFenceAnswer::Echo, true});
    rows.push_back({"lateness creeping from 0.5 to 3 x Timeout", Creeping()});
    rows.push_back({"3 stalls of 7 x Timeout, fences refused", Stalls(3, 7), false, TFenceAnswer::Exception});
    rows.push_back(
        {"every tenth answer duplicated, fences refused", Duplicates(10), false, TFenceAnswer::Exception});
    rows.push_back({"a lost request, fences never answered", LostOnce(), false, TFenceAnswer::Silent});
    return rows;
}

void RunRow(const TRow& row, int retries) {
    const std::string what = row.What + ", retries " + std::to_string(retries);
    InOrderPeer peer;
    peer.SetScript(row.Script);
    peer.SetFenceAnswer(row.Fence);
    if (row.OtherAddress)
        peer.InterleaveOtherAddress(60, 300);
    TModbusSerialTCPMaster master;
    PointAt(master, peer, retries);
    ASSERT_TRUE(master.Connect()) << what;
    // Frames of another address come at their own pace: the reads run long enough to meet some.
    const int reads = row.OtherAddress ? 2 * kReads : kReads;
    TReads result = ReadInTurn(master, peer, reads);
    if (row.OtherAddress) {
        peer.InterleaveOtherAddress(0, 0);
        result.OkAfter = ReadInTurn(master, peer, kAfter).OkAfter;
    }
    EXPECT_EQ(result.Wrong, 0) << what;
    EXPECT_GE(result.OkAfter, kAfter - 1) << what << ": " << result.FirstError;
    EXPECT_GT(result.Ok, reads / 2) << what << ": " << result.FirstError;
    // Every row's fault reached the master.
    if (!row.MayNeedNoFence) {
        EXPECT_GT(peer.Fences(), 0u) << what;
    }
}

// The two retry settings of a row run side by side, each with its own slave and master.
TEST(MasterAgainstAnInOrderSlave, NoReadCarriesAnotherReadsValues) {
    for (const TRow& row : Rows()) {
        std::thread other([&] { RunRow(row, 2); });
        RunRow(row, 0);
        other.join();
    }
}

} // namespace
