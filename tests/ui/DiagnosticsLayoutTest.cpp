// The main window while diagnostics run against the module simulator, for a device of each kind of
// channel group, in each language: every caption and grid text fits and nothing overlaps.
#include "tests/diag/DiagFixture.h"
#include "tests/support/LayoutCheck.h"
#include "tests/ui/UiFixture.h"

namespace {

class DiagnosticsLayout : public DiagFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void TearDown() override {
        DiagFixture::TearDown();
        UseLanguage(QString());
    }
};

TEST_P(DiagnosticsLayout, EveryKindOfDeviceShowsWhole) {
    // Analog inputs and outputs, digital inputs and outputs, model-128 inputs, CAN values, temperatures
    // and the energy meter.
    const int models[] = {62, 0, 128, 99, 63, 100};
    std::vector<vdsim::TSimModuleDef> modules;
    for (std::size_t i = 0; i < std::size(models); ++i)
        modules.push_back({int(i) + 1, models[i]});
    UiFixture::WriteRegistryLanguage(QString::fromLatin1(GetParam()));
    StartBus(modules);
    for (std::size_t i = 0; i < std::size(models); ++i) {
        TRemoteIO* device = AddDevice(int(i) + 1, models[i]);
        StartDiagnostics(device);
        ASSERT_TRUE(ServeResults(2)) << models[i];
        const QStringList problems = CheckSettledWidgetTree(*FormMain);
        EXPECT_TRUE(problems.isEmpty()) << "model " << models[i] << " in " << GetParam() << ":\n"
                                        << problems.join(QLatin1Char('\n')).toStdString();
        UiFixture::Shot(QStringLiteral("%1-diagnostics-%2").arg(QLatin1String(GetParam())).arg(models[i]),
                        FormMain);
        StopDiagnostics();
    }
}

// The calibration box opened after diagnostics comes whole, whatever room the grids took meanwhile.
TEST_P(DiagnosticsLayout, TheCalibrationBoxIsWholeAfterDiagnostics) {
    UiFixture::WriteRegistryLanguage(QString::fromLatin1(GetParam()));
    StartBus({{1, 62}, {2, 0}});
    TRemoteIO* analog = AddDevice(1, 62);
    TRemoteIO* digital = AddDevice(2, 0);
    StartDiagnostics(digital);
    ASSERT_TRUE(ServeResults(2));
    StopDiagnostics();
    Ui().tvNetwork->setCurrentIndex(analog->Node()->index());
    FormMain->CalibrationPanel()->FormKeyPress(QLatin1Char('g'));
    Ui().edtPassword->setText(QLatin1String(TCalibrationPanel::AccessCode));
    FormMain->CalibrationPanel()->btOKClick();
    ASSERT_TRUE(Ui().gbCalibration->isVisible());
    const QStringList problems = CheckSettledWidgetTree(*FormMain);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
    UiFixture::Shot(QStringLiteral("%1-calibration-after-diagnostics").arg(QLatin1String(GetParam())),
                    FormMain);
}

INSTANTIATE_TEST_SUITE_P(Languages, DiagnosticsLayout, ::testing::Values("en_US", "pt_BR"));

} // namespace
