#include "tools/sim/ModelTable.h"

#include <array>

namespace vdsim {

namespace {

constexpr std::array<TSimModel, 19> Models{{
    // code, label, DI, DO, temperatures, AO, AI
    {0, "7610.00", 8, 4, 0, 0, 0},       {14, "7610.14", 4, 4, 0, 0, 0},   {20, "7610.20", 16, 0, 0, 0, 0},
    {24, "7610.24", 4, 0, 0, 0, 0},      {28, "7610.28", 8, 0, 0, 0, 0},   {40, "7610.40", 0, 16, 0, 0, 0},
    {44, "7610.44", 0, 4, 0, 0, 0},      {48, "7610.48", 0, 8, 0, 0, 0},   {50, "7610.50", 0, 16, 0, 0, 0},
    {55, "7610.60", 0, 0, 0, 0, 4},      {56, "7610.62E", 0, 0, 0, 0, 2},  {57, "7610.62S", 0, 0, 0, 2, 0},
    {62, "7610.62", 0, 0, 0, 2, 2},      {63, "7610.65", 0, 0, 4, 0, 0},   {64, "7610.75", 0, 0, 4, 0, 0},
    {99, "7610.70 CANJ", 0, 0, 0, 0, 0}, {100, "PLUVERAM", 0, 0, 0, 0, 0}, {128, "PLUVEK08", 8, 0, 0, 0, 0},
    {148, "PLUVAS08", 0, 8, 0, 0, 0},
}};

} // namespace

TSimModel FindSimModel(int code) {
    for (const TSimModel& model : Models) {
        if (model.Code == code) {
            return model;
        }
    }
    return TSimModel{code, "unknown", 0, 0, 0, 0, 0};
}

std::span<const TSimModel> SimModels() {
    return Models;
}

} // namespace vdsim
