#pragma once

#include "support/fake_workspace.h"
#include "support/local_relay.h"
#include "support/temp_home.h"
#include "gui/app_delegate.h"
#include "gui/main_window.h"
#include "gui/views.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <functional>
#include <memory>

// The real window on a temporary Codex home, a local relay and a fake workspace.
class WindowTest : public ::testing::Test {
protected:
    TempHome temp;
    FakeWorkspace workspace;
    LocalRelay relay;
    std::unique_ptr<AppDelegate> app;
    int beeps = 0;

    void TearDown() override;

    // Builds and starts everything, as the program does at launch.
    void launch();

    template <typename T = QWidget>
    T* widget(const char* name) const
    {
        T* found = app->window()->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << "no widget " << name;
        return found;
    }

    QPushButton* actionButton() const { return widget<QPushButton>("actionButton"); }
    QLineEdit* secureField() const { return widget<QLineEdit>("secureField"); }
    QLineEdit* plainField() const { return widget<QLineEdit>("plainField"); }
    SegmentedControl* modeControl() const { return widget<SegmentedControl>("modeControl"); }
    QString status() const { return widget<QLabel>("statusLabel")->text(); }
    QString pill() const { return widget<QLabel>("pillLabel")->text(); }
    bool apiPanelShown() const { return widget<QWidget>("apiPanel")->isVisible(); }
    // The gate: only the action button, which then quits Codex, takes input.
    bool gateShown() const { return actionButton()->isEnabled() && !modeControl()->isEnabled(); }

    void clickSegment(int segment) const;
    void click(const char* name) const;
    // Waits until the work under way has been shown.
    void settle() const;
};

