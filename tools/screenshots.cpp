// Writes pictures of the window for people to look at: API mode, account mode, and
// Codex running with its alert.   morvane_screenshots DIR

#include "support/fake_workspace.h"
#include "support/temp_home.h"
#include "gui/app_delegate.h"

#include <QApplication>
#include <QDir>
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
    AppDelegate delegate(home.path(), RelayEndpoint::standard(), workspace);
    delegate.launch();
    delegate.selectMode(ModeApi, false);
    delegate.setApiFieldText(QStringLiteral("sk-example0123456789"));
    QTest::qWait(100);
    bool ok = save(delegate.window()->grab(), directory + QStringLiteral("/api-mode.png"));

    delegate.selectMode(ModeAccount, false);
    QTest::qWait(100);
    ok = save(delegate.window()->grab(), directory + QStringLiteral("/account-mode.png")) && ok;

    workspace.startCodex(4242);
    // The alert shows when the user asks for work while Codex runs.
    delegate.checkApiKey();
    if (!QTest::qWaitFor([&delegate] { return !delegate.isSwitching(); }))
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
    return ok ? 0 : 1;
}
