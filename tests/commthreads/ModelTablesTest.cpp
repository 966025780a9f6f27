// The program's device model table and the simulator's own table, written apart from each other, agree
// row by row: a wrong number on either side shows here instead of being mirrored.
#include <gtest/gtest.h>

#include "model/DeviceModelTable.h"
#include "tools/sim/ModelTable.h"

namespace {

// The catalogue number that starts a model text ("7610.62" of "7610.62 - 2E/2S Analógicas").
std::string CatalogueNumber(const std::string& text) {
    return text.substr(0, text.find(' '));
}

TEST(ModelTables, EveryRowAgreesWithTheSimulatorsTable) {
    const auto program = DeviceModels();
    const auto simulator = vdsim::SimModels();
    ASSERT_EQ(program.size(), simulator.size());
    for (const TDeviceModel& row : program) {
        const vdsim::TSimModel sim = vdsim::FindSimModel(row.code);
        ASSERT_EQ(sim.Code, row.code);
        EXPECT_EQ(CatalogueNumber(sim.Label), CatalogueNumber(row.model)) << row.code;
        EXPECT_EQ(sim.DigitalInputs, row.digitalInputs) << row.code;
        EXPECT_EQ(sim.DigitalOutputs, row.digitalOutputs) << row.code;
        EXPECT_EQ(sim.Temperatures, row.temperatureInputs) << row.code;
        EXPECT_EQ(sim.AnalogOutputs, row.analogOutputs) << row.code;
        EXPECT_EQ(sim.AnalogInputs, row.analogInputs) << row.code;
    }
}

} // namespace
