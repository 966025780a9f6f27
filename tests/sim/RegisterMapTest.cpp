// The simulator's map and framing on their own: the register map must never give one address two
// meanings on any model, and the slave's framing must follow the line as a module does.
#include "tools/sim/RegisterMap.h"
#include "tools/sim/FrameAssembler.h"

#include <gtest/gtest.h>

#include <map>

using namespace vdsim;

TEST(SimRegisterMap, NoAddressHasTwoMeaningsOnAnyModel) {
    std::vector<TSimModel> models(SimModels().begin(), SimModels().end());
    models.push_back(FindSimModel(77)); // a code not in the table: information block only
    for (const TSimModel& model : models) {
        std::map<std::tuple<TSimTable, TSimUnit, int>, const char*> owner;
        for (const TRegisterBlock& block : RegisterMap()) {
            for (int i = 0; i < BlockSize(block, model); ++i) {
                const auto key = std::make_tuple(block.Table, block.Unit, block.Base + i);
                const auto [it, fresh] = owner.emplace(key, block.What);
                EXPECT_TRUE(fresh) << "model " << model.Code << ": address " << block.Base + i << " is both "
                                   << it->second << " and " << block.What;
            }
        }
        // Every model carries the whole information block the search reads in one request.
        for (int address = 512; address <= 528; ++address) {
            EXPECT_TRUE(FindRegister(TSimTable::Holding, static_cast<std::uint16_t>(address), model,
                                     TSimUnit::Module))
                << "model " << model.Code << " register " << address;
        }
    }
}

TEST(SimRtu, CrcOfAKnownRequest) {
    const TBytes request = BuildRequest(1, 3, 0, 1);
    ASSERT_EQ(request.size(), 8u);
    EXPECT_EQ(request[6], 0x84);
    EXPECT_EQ(request[7], 0x0A);
    EXPECT_TRUE(HasValidCrc(request));
    EXPECT_EQ(Crc16({}), 0xFFFF);
}

TEST(SimFrameAssembler, CutsRequestsAndDropsWhatFollowsABadCrcUntilSilence) {
    TFrameAssembler assembler;
    TBytes first = BuildRequest(1, 3, 512, 17);
    const TBytes second = BuildRequest(2, 5, 64, 0xFF00);
    TBytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    assembler.Push(both);
    TBytes frame;
    ASSERT_TRUE(assembler.Next(frame));
    EXPECT_EQ(frame, first);
    ASSERT_TRUE(assembler.Next(frame));
    EXPECT_EQ(frame, second);
    EXPECT_FALSE(assembler.Pending());

    // A damaged request loses the frame boundaries: the good request right behind it is lost too.
    first.back() ^= 0xFF;
    assembler.Push(first);
    assembler.Push(second);
    ASSERT_TRUE(assembler.Next(frame)); // handed on for the bus to ignore
    EXPECT_EQ(frame, first);
    EXPECT_FALSE(assembler.Next(frame));
    EXPECT_TRUE(assembler.Pending());
    assembler.Silence();
    assembler.Push(second);
    ASSERT_TRUE(assembler.Next(frame));
    EXPECT_EQ(frame, second);

    // Anything that is not an 8-byte request ends at a silence (the bus then checks its CRC).
    const TBytes other{1, 16, 0, 0};
    assembler.Push(other);
    EXPECT_FALSE(assembler.Next(frame));
    assembler.Silence();
    ASSERT_TRUE(assembler.Next(frame));
    EXPECT_EQ(frame, other);
}
