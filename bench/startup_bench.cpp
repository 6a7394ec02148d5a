// Measures the window's start: from starting the process to the window's first paint, on
// a Codex home with many conversations in the thread index and many saved keys.
//
//   bench_startup [--threads N] [--keys K] [--starts S]
//
// Each start is a new process, run offscreen, that opens the real window and ends at its
// first paint; the median of the starts is printed.

#include "bench/codex_home_builder.h"
#include "codexapp/system_workspace.h"
#include "gui/app_delegate.h"
#include "gui/main_window.h"
#include "history/key_history.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

// Quits the application at the first paint of the watched window.
class FirstPaint : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return false;
    }
};

int openWindow(int argc, char** argv, const QString& userHome)
{
    QApplication application(argc, argv);
    const std::unique_ptr<Workspace> workspace = makeSystemWorkspace();
    AppDelegate delegate(CodexHome(userHome), RelayEndpoint::standard(), *workspace);
    FirstPaint firstPaint;
    delegate.launch();
    delegate.window()->installEventFilter(&firstPaint);
    return application.exec();
}

void generateHome(const QString& userHome, int threads, int keys)
{
    CodexHomeBuilder builder(userHome + QStringLiteral("/.codex"));
    builder.createThreadIndex();
    builder.execute(QStringLiteral("PRAGMA journal_mode = WAL"));
    for (int i = 0; i < threads; ++i) {
        ThreadSpec spec = threadSpec(QStringLiteral("019e763f-4a0c-7d21-9f3e-%1").arg(i, 12, 10, QLatin1Char('0')),
                                     QStringLiteral("openai"), 1'780'000'000 + i * 37);
        spec.rollout.approximateSize = 2048;
        builder.addThread(spec);
    }
    const CodexHome home(userHome);
    for (int i = 0; i < keys; ++i)
        saveApiKeyToHistory(home, QStringLiteral("sk-bench.%1").arg(i, 8, 10, QLatin1Char('0')));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--open")
        return openWindow(argc, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    int threads = 20000;
    int keys = 1000;
    int starts = 7;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        const int value = arguments[i + 1].toInt();
        if (arguments[i] == QLatin1String("--threads"))
            threads = value;
        else if (arguments[i] == QLatin1String("--keys"))
            keys = value;
        else if (arguments[i] == QLatin1String("--starts"))
            starts = value;
    }
    QTemporaryDir scratch;
    if (!scratch.isValid() || starts <= 0) {
        std::fprintf(stderr, "usage: bench_startup [--threads N] [--keys K] [--starts S]\n");
        return 2;
    }
    std::printf("generating %d threads and %d saved keys\n", threads, keys);
    std::fflush(stdout);
    generateHome(scratch.path(), threads, keys);

    std::vector<double> times;
    for (int i = 0; i < starts; ++i) {
        QProcess window;
        QElapsedTimer timer;
        timer.start();
        window.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--open"), scratch.path()});
        if (!window.waitForFinished(30000) || window.exitCode() != 0) {
            std::fprintf(stderr, "bench_startup: the window did not start\n%s", window.readAllStandardError().constData());
            return 1;
        }
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("startup: %.0f ms\n", times[times.size() / 2]);
    return 0;
}
