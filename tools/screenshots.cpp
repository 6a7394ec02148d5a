// Writes pictures of the window for people to look at: API mode, account mode, Codex
// running with its alert, and a switch of 2,000 conversations under way.
//   morvane_screenshots DIR

#include "bench/codex_home_builder.h"
#include "gui/app_delegate.h"
#include "gui/main_window.h"
#include "support/fake_workspace.h"
#include "support/local_relay.h"
#include "support/queued_calls.h"
#include "support/temp_home.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPainter>
#include <QTest>

#include <cstdio>

namespace {

bool save(const QPixmap& picture, const QString& path)
{
    if (!picture.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// Launches the window and waits until it shows, once the start-up state has been read.
bool launched(AppDelegate& delegate)
{
    delegate.launch();
    if (QTest::qWaitFor([&delegate] { return delegate.window()->isVisible(); }))
        return true;
    std::fprintf(stderr, "the window did not show\n");
    return false;
}

// The window while it moves 2,000 conversations: caught when the status row has counted
// past the first files.
bool saveSwitchUnderWay(const QString& path)
{
    QTemporaryDir home;
    const CodexHomeBuilder builder(home.path() + QStringLiteral("/.codex"));
    builder.createThreadIndex();
    for (int i = 0; i < 2000; ++i)
        builder.addThread(threadSpec(QStringLiteral("t-%1").arg(i), QStringLiteral("openai"), 1'780'000'000 + i));
    FakeWorkspace workspace;
    LocalRelay relay;
    AppDelegate delegate(CodexHome(home.path()), relay.endpoint(), workspace);
    if (!launched(delegate))
        return false;
    delegate.window()->setKeyText(QStringLiteral("sk-example0123456789"));
    auto* status = delegate.window()->findChild<QLabel*>(QStringLiteral("statusLabel"));
    QPixmap picture;
    const QueuedCallWatcher watcher(delegate.window(), [&] {
        const QString text = status->text();
        if (picture.isNull() && text.endsWith(QStringLiteral("/2000")) && text.section(QLatin1Char(' '), -1).section(QLatin1Char('/'), 0, 0).toInt() >= 600)
            picture = delegate.window()->grab();
    });
    Q_EMIT delegate.window()->actionRequested();
    if (!QTest::qWaitFor([&delegate] { return !delegate.isWorking(); }, 60'000) || picture.isNull()) {
        std::fprintf(stderr, "the switch was not caught under way: %s\n", qPrintable(status->text()));
        return false;
    }
    return save(picture, path);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: morvane_screenshots DIR\n");
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(directory);

    QTemporaryDir home;
    QDir().mkpath(home.path() + QStringLiteral("/.codex"));
    writeFileAt(home.path() + QStringLiteral("/.codex/auth.json"), R"({"OPENAI_API_KEY": null, "tokens": {}})");
    FakeWorkspace workspace;
    AppDelegate delegate(CodexHome(home.path()), RelayEndpoint::standard(), workspace);
    if (!launched(delegate))
        return 1;
    // The user's choice puts the cursor in the key field; the picture shows the field at rest.
    QTest::qWait(100);
    QWidget* focused = QApplication::focusWidget();
    Q_EMIT delegate.window()->modeChosen(ModeApi);
    if (focused)
        focused->setFocus();
    delegate.window()->setKeyText(QStringLiteral("sk-example0123456789"));
    QTest::qWait(100);
    bool ok = save(delegate.window()->grab(), directory + QStringLiteral("/api-mode.png"));

    Q_EMIT delegate.window()->modeChosen(ModeAccount);
    QTest::qWait(100);
    ok = save(delegate.window()->grab(), directory + QStringLiteral("/account-mode.png")) && ok;

    workspace.startCodex(4242);
    // The alert shows when the user asks for work while Codex runs.
    Q_EMIT delegate.window()->checkKeyRequested();
    if (!QTest::qWaitFor([&delegate] { return !delegate.isWorking(); }))
        return 1;
    QTest::qWait(200);
    QPixmap running = delegate.window()->grab();
    if (auto* alert = delegate.window()->findChild<QMessageBox*>(QStringLiteral("codexRunningAlert"))) {
        QPainter painter(&running);
        // A sheet drops from the title bar, on its own background, with a thin border.
        QPixmap sheet(alert->size());
        sheet.fill(alert->palette().color(QPalette::Window));
        alert->render(&sheet);
        const QPoint at((running.width() - sheet.width()) / 2, 24);
        painter.drawPixmap(at, sheet);
        painter.setPen(QColor(0, 0, 0, 60));
        painter.drawRect(QRect(at, sheet.size()).adjusted(0, 0, -1, -1));
    }
    ok = save(running, directory + QStringLiteral("/codex-running.png")) && ok;
    ok = saveSwitchUnderWay(directory + QStringLiteral("/switching.png")) && ok;
    return ok ? 0 : 1;
}
