#pragma once
// The program's windows in a chosen start-up language (the registry value "lang"), with the catalogues
// built beside the test binary. With VEXADAXO_SCREENSHOTS set to a folder, Shot() saves what the screen
// shows (run under a real X server to look at the windows).
#include "app/Globals.h"
#include "app/Language.h"
#include "app/Main.h"
#include "classlib/Translation.h"
#include "platform/Registry.h"
#include "tests/app/AppFixture.h"
#include "ui_Main.h"
#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

class UiFixture : public ::testing::Test {
public:
    void TearDown() override {
        app.Stop();
        UseLanguage(QString());
        UseQtCatalogue(QString());
    }

    // Writes the registry value "lang" (none for an empty language) and creates the windows.
    void StartIn(const QString& language) {
        WriteRegistryLanguage(language);
        app.Start();
    }

    static void WriteRegistryLanguage(const QString& language) {
        QFile store(TRegistry::StoreFileName());
        ASSERT_TRUE(store.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (!language.isEmpty())
            store.write("[HKEY_LOCAL_MACHINE\\Software\\Korvane Devavuru\\Vexa Daxo Soft]\nlang=" +
                        language.toUtf8() + "\n");
    }

    // Saves the screen (or the part around one window) as <folder>/<name>.png when screenshots are
    // asked for.
    static void Shot(const QString& name, const QWidget* window = nullptr) {
        const QString folder = qEnvironmentVariable("VEXADAXO_SCREENSHOTS");
        if (folder.isEmpty())
            return;
        // Painted now, not after some time: each window shown on the screen paints before the grab.
        // Repainting changes nothing the window holds, hence the cast.
        for (QWidget* shown :
             window ? QWidgetList{const_cast<QWidget*>(window)} : QApplication::topLevelWidgets()) {
            if (!shown->isVisible())
                continue;
            ASSERT_TRUE(QTest::qWaitForWindowExposed(shown, 10000)) << name.toStdString();
            shown->repaint();
        }
        QScreen* screen = QGuiApplication::primaryScreen();
        ASSERT_NE(screen, nullptr);
        const QRect area = window ? window->frameGeometry().adjusted(-8, -8, 8, 8) : QRect(0, 0, -1, -1);
        EXPECT_TRUE(screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                        .save(folder + QLatin1Char('/') + name + QStringLiteral(".png")));
    }

protected:
    Ui::TFormMain& Ui() const { return FormMain->ui(); }

    TAppFixture app;
};
