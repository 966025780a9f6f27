// The calibration panel: opened with "g" for an analog device, unlocked by the access code, and its
// buttons sending the calibration coils with the store command to the module simulator.
#include "DiagFixture.h"

class CalibrationPanelTest : public DiagFixture {
protected:
    void SelectInTree(QObject* object) {
        TTreeNode* node = nullptr;
        if (auto* device = qobject_cast<TRemoteIO*>(object))
            node = device->Node();
        else if (auto* group = qobject_cast<TChannelIO*>(object))
            node = group->Node();
        ASSERT_NE(node, nullptr);
        Ui().tvNetwork->setCurrentIndex(node->index());
    }
    void TypeInTree(char key) { QTest::keyClick(Ui().tvNetwork, key); }
    void Unlock() {
        Ui().edtPassword->setText(QString::fromLatin1(TCalibrationPanel::AccessCode));
        Ui().btOK->click();
    }
    std::array<std::uint32_t, 6> Calibrations(int address) { return Module(address).Calibrations; }
    QList<QPushButton*> Buttons() const {
        return {Ui().btCalibrationZero,  Ui().btCalibrationMax,         Ui().btCalibrationC1Zero,
                Ui().btCalibrationC1Max, Ui().btCalibrateAnalogicC0Out, Ui().btCalibrateAnalogicC1Out};
    }
    QList<bool> Enabled() const {
        QList<bool> enabled;
        for (QPushButton* b : Buttons())
            enabled << b->isEnabled();
        return enabled;
    }
};

TEST_F(CalibrationPanelTest, KeyOpensTheBoxAfterTheDevicesAnalogGroups) {
    StartBus({{2, 62}});
    TRemoteIO* inOut = AddDevice(2, 62);
    TRemoteIO* inputsOnly = AddDevice(3, 56);
    TRemoteIO* digital = AddDevice(4, 0);

    SelectInTree(inOut);
    TypeInTree('g');
    EXPECT_TRUE(Ui().gbCalibration->isVisible());
    EXPECT_EQ(Ui().btCalibrationZero->text(), "Calibrate C0 with 0");
    EXPECT_EQ(Ui().btCalibrationMax->text(), "Calibrate C0 with Max");
    EXPECT_EQ(Enabled(), QList<bool>({true, true, true, true, true, true}));
    EXPECT_EQ(Calibration.CalibrationMode, 1);
    EXPECT_TRUE(Ui().gbPassword->isVisible());
    EXPECT_FALSE(Ui().toolbtnLog->isVisible());

    SelectInTree(inputsOnly);
    TypeInTree('G');
    EXPECT_EQ(Ui().btCalibrationZero->text(), "Calibrate with 0");
    EXPECT_EQ(Ui().btCalibrationMax->text(), "Calibrate with Max");
    EXPECT_EQ(Enabled(), QList<bool>({true, true, false, false, false, false}));
    EXPECT_EQ(Calibration.CalibrationMode, 0);

    // A device without analog groups hides the box on selection, and the key does not bring it back.
    SelectInTree(digital);
    EXPECT_FALSE(Ui().gbCalibration->isVisible());
    TypeInTree('g');
    EXPECT_FALSE(Ui().gbCalibration->isVisible());
    EXPECT_EQ(Enabled(), QList<bool>({false, false, false, false, false, false}));

    // Any other character, and "g" on a group, are no calibration requests.
    EXPECT_TRUE(Messages().isEmpty());
    TypeInTree('x');
    EXPECT_EQ(Messages(), QStringList({"Select a remote I/O."}));
    app.presenter->requests.clear();
    SelectInTree(inOut->AnalogicInput());
    TypeInTree('g');
    EXPECT_TRUE(Messages().isEmpty());
    // Typing the code into the password box is no key press of the form.
    SelectInTree(inOut);
    TypeInTree('g');
    QTest::keyClicks(Ui().edtPassword, QStringLiteral("abc"));
    EXPECT_TRUE(Messages().isEmpty());
}

// The code is typed right after the key that opens the box: it goes to the code field, the key does not.
TEST_F(CalibrationPanelTest, TheCodeFieldTakesTheFocusWhenTheKeyOpensTheBox) {
    StartBus({{2, 62}});
    TRemoteIO* inOut = AddDevice(2, 62);
    TRemoteIO* inputsOnly = AddDevice(3, 56);
    for (TRemoteIO* device : {inOut, inputsOnly}) {
        SelectInTree(device);
        Ui().tvNetwork->setFocus();
        ASSERT_EQ(FormMain->focusWidget(), Ui().tvNetwork);
        TypeInTree('g');
        ASSERT_TRUE(Ui().gbCalibration->isVisible());
        EXPECT_EQ(FormMain->focusWidget(), Ui().edtPassword) << device->Name().toStdString();
        EXPECT_TRUE(Ui().edtPassword->text().isEmpty());
        QTest::keyClicks(FormMain->focusWidget(), QString::fromLatin1(TCalibrationPanel::AccessCode));
        QTest::keyClick(Ui().btOK, Qt::Key_Space);
        EXPECT_FALSE(Ui().gbPassword->isVisible()) << device->Name().toStdString();
        Ui().btClose->click();
    }
    // Without analog groups the key opens nothing and the focus stays.
    TRemoteIO* digital = AddDevice(4, 0);
    SelectInTree(digital);
    Ui().tvNetwork->setFocus();
    TypeInTree('g');
    EXPECT_EQ(FormMain->focusWidget(), Ui().tvNetwork);
}

TEST_F(CalibrationPanelTest, AccessCodeUnlocksTheButtonsAndTheLogUntilTheBoxIsClosed) {
    StartBus({{2, 62}});
    TRemoteIO* d = AddDevice(2, 62);
    SelectInTree(d);
    TypeInTree('g');
    Ui().edtPassword->setText(QStringLiteral("QUILLNET"));
    Ui().btOK->click();
    EXPECT_TRUE(Ui().lbMessage->isVisible());
    EXPECT_TRUE(Ui().gbPassword->isVisible());
    EXPECT_FALSE(Ui().toolbtnLog->isVisible());

    Unlock();
    EXPECT_FALSE(Ui().gbPassword->isVisible());
    EXPECT_TRUE(Ui().pbCalibration->isVisible());
    EXPECT_TRUE(Ui().toolbtnLog->isVisible());

    Ui().btClose->click();
    EXPECT_FALSE(Ui().gbCalibration->isVisible());
    EXPECT_FALSE(Ui().toolbtnLog->isVisible());
    EXPECT_FALSE(CalibrationBoxRestore);
    EXPECT_TRUE(Ui().edtPassword->text().isEmpty());
    TypeInTree('g');
    EXPECT_TRUE(Ui().gbPassword->isVisible()); // the code is asked again
}

TEST_F(CalibrationPanelTest, EachButtonSendsItsCalibrationCoilAndTheStoreCommand) {
    StartBus({{2, 62}});
    TRemoteIO* d = AddDevice(2, 62);
    SelectInTree(d);
    TypeInTree('g');
    Unlock();
    const auto stores = Module(2).Counters.Stores;

    Ui().btCalibrationZero->click();
    EXPECT_EQ(Calibrations(2), (std::array<std::uint32_t, 6>{1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Module(2).Counters.Stores, stores + 1);
    ASSERT_EQ(app.presenter->requests.size(), 2);
    EXPECT_EQ(app.presenter->requests.at(0).text,
              "IT CONFIRMS THAT THE VALUE OF THE INPUT THIS IN 0V or 0 ma.");
    EXPECT_EQ(app.presenter->requests.at(0).type, TMsgDlgType::mtCustom);
    EXPECT_EQ(app.presenter->requests.at(1).text, "End of Calibration.");
    EXPECT_EQ(app.presenter->requests.at(1).buttons, TMsgDlgButtons(mbOK));
    EXPECT_FALSE(Calibration.Calibrating);
    EXPECT_EQ(Panel(3), "Save config ok.");
    // Only the coil and the store command went out: the device's configuration stays in the model.
    const auto& log = Module(2).Log;
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.at(log.size() - 2).Function, 5);
    EXPECT_EQ(log.at(log.size() - 2).Address, 200);
    EXPECT_EQ(log.back().Address, 515);

    Ui().btCalibrationMax->click();
    Ui().btCalibrationC1Zero->click();
    Ui().btCalibrationC1Max->click();
    Ui().btCalibrateAnalogicC0Out->click();
    Ui().btCalibrateAnalogicC1Out->click();
    EXPECT_EQ(Calibrations(2), (std::array<std::uint32_t, 6>{1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(Module(2).Counters.Stores, stores + 6);

    // After an output calibration an input button calibrates its input again.
    Ui().btCalibrationZero->click();
    EXPECT_EQ(Calibrations(2)[0], 2u);
    EXPECT_EQ(Calibrations(2)[4] + Calibrations(2)[5], 2u);
    EXPECT_EQ(Calibration.CalibrationMode, 1);
    EXPECT_EQ(Messages().count("End of Calibration."), 7);
}

TEST_F(CalibrationPanelTest, ButtonWithoutASelectedDeviceSendsNothing) {
    StartBus({{2, 62}});
    TRemoteIO* d = AddDevice(2, 62);
    SelectInTree(d);
    TypeInTree('g');
    Unlock();
    // The box stays open over a channel selection.
    Ui().tvNetwork->setCurrentIndex(d->AnalogicInput()->GetChannel(0)->Node()->index());
    ASSERT_TRUE(Ui().gbCalibration->isVisible());
    const auto requests = Module(2).Counters.Requests;
    Ui().btCalibrationMax->click();
    EXPECT_EQ(Messages(), QStringList({"Select a remote I/O."}));
    EXPECT_EQ(Module(2).Counters.Requests, requests);
    EXPECT_FALSE(Calibration.Calibrating);
}

TEST_F(CalibrationPanelTest, DiagnosticsHideTheOpenBoxAndStoppingThemBringsItBack) {
    StartBus({{2, 62}});
    TRemoteIO* d = AddDevice(2, 62);
    SelectInTree(d);
    TypeInTree('g');
    StartDiagnostics(d);
    EXPECT_FALSE(Ui().gbCalibration->isVisible());
    StopDiagnostics();
    EXPECT_TRUE(Ui().gbCalibration->isVisible());
}

TEST_F(CalibrationPanelTest, OnlyTheCalibrationsAModelsChannelsAllowAreOffered) {
    StartBus({});
    // Model code, box opened by the key, the six buttons' states.
    struct TCase {
        int model;
        bool box;
        QList<bool> enabled;
    };
    const QList<bool> none{false, false, false, false, false, false};
    const QList<bool> inputs{true, true, false, false, false, false};
    const TCase cases[] = {{0, false, none},
                           {14, false, none},
                           {20, false, none},
                           {24, false, none},
                           {28, false, none},
                           {40, false, none},
                           {44, false, none},
                           {48, false, none},
                           {50, false, none},
                           {55, true, inputs},
                           {56, true, inputs},
                           {57, true, {false, false, false, false, true, true}},
                           {62, true, {true, true, true, true, true, true}},
                           {63, false, none},
                           {64, false, none},
                           {99, false, none},
                           {100, false, none},
                           {128, false, none},
                           {148, false, none},
                           {77, false, none}};
    for (const TCase& c : cases) {
        SCOPED_TRACE("model " + std::to_string(c.model));
        TRemoteIO* d = AddDevice(c.model + 1, c.model);
        Ui().gbCalibration->hide();
        SelectInTree(d);
        TypeInTree('g');
        EXPECT_EQ(Ui().gbCalibration->isVisible(), c.box);
        EXPECT_EQ(Enabled(), c.enabled);
    }
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(CalibrationPanelTest, ACalibrationTheDeviceCannotDoIsRefusedBeforeAnythingIsSent) {
    StartBus({{2, 62}, {3, 57}});
    TRemoteIO* inOut = AddDevice(2, 62);
    TRemoteIO* outputsOnly = AddDevice(3, 57);
    SelectInTree(inOut);
    TypeInTree('g');
    Unlock();
    // The box stays open, its buttons as they were, over a device without analog inputs.
    SelectInTree(outputsOnly);
    ASSERT_TRUE(Ui().gbCalibration->isVisible());
    const auto requests = Module(3).Counters.Requests;
    Ui().btCalibrationZero->click();
    Ui().btCalibrationC1Max->click();
    EXPECT_EQ(Messages(), QStringList({"This device cannot perform this calibration.",
                                       "This device cannot perform this calibration."}));
    EXPECT_EQ(app.presenter->requests.at(0).type, TMsgDlgType::mtError);
    EXPECT_EQ(Module(3).Counters.Requests, requests);
    EXPECT_FALSE(Calibration.Calibrating);

    // Its own outputs it calibrates.
    app.presenter->requests.clear();
    Ui().btCalibrateAnalogicC1Out->click();
    EXPECT_EQ(Calibrations(3), (std::array<std::uint32_t, 6>{0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(Messages().last(), "End of Calibration.");
    EXPECT_EQ(Module(3).Counters.Exceptions, 0u);
}

TEST_F(CalibrationPanelTest, AFailedCalibrationSaysSoInAMessageBox) {
    StartBus({{2, 62}});
    TRemoteIO* d = AddDevice(2, 62);
    SelectInTree(d);
    TypeInTree('g');
    Unlock();
    sim->SetFault(ModuleIndex(2), {vdsim::TSimFaultKind::Exception, 4, 0});
    Ui().btCalibrationMax->click();
    const QStringList messages = Messages();
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(messages.at(0), "IT CONFIRMS THAT THE VALUE OF THE INPUT THIS IN 10V or 20 ma");
    EXPECT_TRUE(messages.at(1).startsWith("The calibration failed: ")) << messages.at(1).toStdString();
    EXPECT_EQ(messages.at(1), "The calibration failed: " + ModbusMaster->ErrorText());
    EXPECT_FALSE(ModbusMaster->ErrorText().isEmpty());
    EXPECT_EQ(app.presenter->requests.at(1).type, TMsgDlgType::mtError);
    EXPECT_EQ(messages.at(2), "End of Calibration.");
    EXPECT_EQ(Panel(3), ModbusMaster->ErrorText());
    EXPECT_FALSE(Calibration.Calibrating);
    sim->SetFault(ModuleIndex(2), {});
    EXPECT_EQ(Calibrations(2)[1], 0u);
}

namespace {
// Answers every box at once and notes where the calibration bar stood when it came.
class BarWatcher : public IMessagePresenter {
public:
    explicit BarWatcher(QProgressBar* bar) : m_bar(bar) {}
    int Present(const TMessageRequest& request) override {
        shown << request.text + QStringLiteral(" at %1/%2").arg(m_bar->value()).arg(m_bar->maximum());
        return mrOk;
    }
    QStringList shown;

private:
    QProgressBar* m_bar;
};
} // namespace

TEST_F(CalibrationPanelTest, TheSettlingBarRunsToItsEnd) {
    StartBus({{3, 56}});
    TRemoteIO* d = AddDevice(3, 56);
    SelectInTree(d);
    TypeInTree('g');
    Unlock();
    auto watcher = std::make_unique<BarWatcher>(Ui().pbCalibration);
    BarWatcher* bar = watcher.get();
    auto previous = SetMessagePresenter(std::move(watcher));
    Ui().btCalibrationZero->click(); // a zero point settles for 3 s
    const QStringList shown = bar->shown;
    SetMessagePresenter(std::move(previous));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown.at(1), "End of Calibration. at 3/3");
    EXPECT_EQ(Ui().pbCalibration->value(), 0);
    EXPECT_EQ(Calibrations(3)[0], 1u);
}
