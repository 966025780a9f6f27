#include "model/DeviceModelTable.h"
#include "classlib/Translation.h"
#include <algorithm>
#include <array>

namespace {

// code, model, digital inputs, digital outputs, temperature inputs, analog outputs, analog inputs
constexpr std::array<TDeviceModel, 19> kModels{{
    {0, "7610.00 - 8E N/P 24Vcc + 4S RELÉ", 8, 4, 0, 0, 0},
    {14, "7610.14 - 4E N/P 24Vcc + 4S RELÉ", 4, 4, 0, 0, 0},
    {20, "7610.20 - 16E N/P 24Vcc", 16, 0, 0, 0, 0},
    {24, "7610.24 - 4E N/P 24Vcc", 4, 0, 0, 0, 0},
    {28, "7610.28 - 8E N/P 24Vcc", 8, 0, 0, 0, 0},
    {40, "7610.40 - 16S P", 0, 16, 0, 0, 0},
    {44, "7610.44 - 4S RELÉ", 0, 4, 0, 0, 0},
    {48, "7610.48 - 8S RELÉ", 0, 8, 0, 0, 0},
    {50, "7610.50 - 16S N", 0, 16, 0, 0, 0},
    {55, "7610.60 - 4E Analógicas", 0, 0, 0, 0, 4},
    {56, "7610.62E - 2E Analógicas", 0, 0, 0, 0, 2},
    {57, "7610.62S - 2S Analógicas", 0, 0, 0, 2, 0},
    {62, "7610.62 - 2E/2S Analógicas", 0, 0, 0, 2, 2},
    {63, "7610.65 - 4E Temperaturas(Termopar)", 0, 0, 4, 0, 0},
    {64, "7610.75 - 4E Temperaturas(PT100)", 0, 0, 4, 0, 0},
    {99, "7610.70 - CANJ", 0, 0, 0, 0, 0},
    {100, "PLUVERAM", 0, 0, 0, 0, 0},
    {128, "PLUVEK08", 8, 0, 0, 0, 0},
    {148, "PLUVAS08", 0, 8, 0, 0, 0},
}};

} // namespace

std::span<const TDeviceModel> DeviceModels() {
    return kModels;
}

const TDeviceModel* FindDeviceModel(int code) {
    const auto it = std::find_if(kModels.begin(), kModels.end(),
                                 [code](const TDeviceModel& m) { return m.code == code; });
    return it == kModels.end() ? nullptr : &*it;
}

QString DeviceModelText(int code) {
    const TDeviceModel* model = FindDeviceModel(code);
    return model ? QString::fromUtf8(model->model) : _("Not Identified");
}
