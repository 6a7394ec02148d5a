// Measures one whole conversation migration (backup, index, rollout rewrite) on a
// synthetic Codex home against the floor of copying the same rollout files twice with cp,
// then the space the backups take after ten switches back and forth.
//
//   bench_migration [--threads N] [--rollout-kb K] [--keep DIR] [--migration-only]
//
// --keep leaves every file of the run, the floor's copies too, in a new folder named
// after DIR. --migration-only stops after the migration, without the switches for the
// backups' size.
//
// The migration runs in a child process so that its peak memory is its own.

#include "codexapp/thread_locks.h"
#include "core/codex_home.h"
#include "core/files/file_tree.h"
#include "migration/migration_space.h"
#include "migration/thread_migration.h"
#include "workflows/conversation_backup.h"
#include "storage/home_lock.h"
#include "storage/journal.h"
#include "bench/codex_home_builder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct Options {
    int threads = 2000;
    qsizetype rolloutBytes = 512 * 1024;
    QString keep;
    bool migrationOnly = false;
};

[[noreturn]] void die(const char* message)
{
    std::fprintf(stderr, "bench_migration: %s\n", message);
    std::exit(2);
}

void runOrDie(const QString& program, const QStringList& arguments)
{
    if (QProcess::execute(program, arguments) != 0)
        die(qPrintable(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) + QStringLiteral(" failed")));
}

// Codex as a heavy user has it: every thread on "openai", one rollout file each with the
// reasoning of its turns (and in some a compaction), a few archived and a few already on the
// target.
void generateHome(const QString& userHome, const Options& options)
{
    CodexHomeBuilder builder(userHome + QStringLiteral("/.codex"));
    builder.createThreadIndex();
    builder.execute(QStringLiteral("PRAGMA journal_mode = WAL"));
    for (int i = 0; i < options.threads; ++i) {
        ThreadSpec spec = threadSpec(QStringLiteral("019e763f-4a0c-7d21-9f3e-%1").arg(i, 12, 10, QLatin1Char('0')),
                                     i % 100 == 3 ? QStringLiteral("tevrun") : QStringLiteral("openai"),
                                     1'780'000'000 + i * 37, i % 50 == 7);
        spec.rollout.approximateSize = options.rolloutBytes;
        spec.rollout.sealedItems = true;
        spec.rollout.compacted = i % 3 == 0;
        builder.addThread(spec);
    }
}

double secondsOf(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

struct ChildRun {
    double seconds;
    long peakKiB;
    int exitCode;
};

ChildRun runMigrationChild(const QString& userHome)
{
    const QByteArray self = QFile::encodeName(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());
    const QByteArray home = QFile::encodeName(userHome);
    char* argv[] = {const_cast<char*>(self.constData()), const_cast<char*>("--migrate"),
                    const_cast<char*>(home.constData()), nullptr};
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, self.constData(), nullptr, nullptr, argv, environ) != 0)
        die("cannot start the migration");
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid)
        die("cannot wait for the migration");
    return {double(timer.nsecsElapsed()) / 1e9, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 255};
}

// As a switch moves the conversations: under the home's lock and Codex's locks on every
// visible thread, after the space check, with its journal written before and removed after.
int migrate(const QString& userHome)
{
    const CodexHome home(userHome);
    QElapsedTimer timer;
    timer.start();
    const HomeLock lock(home);
    if (!lock.held()) {
        std::fprintf(stderr, "migration failed: %s\n", qPrintable(lock.error().message));
        return 1;
    }
    const QString target = QStringLiteral("tevrun");
    std::optional<CodexThreadLocks> codexLocks(std::in_place, home);
    QStringList ids;
    for (const ThreadRecord& thread : threadsToMove(home, target).value_or(ThreadRecords()))
        ids << thread.id;
    const double reading = double(timer.nsecsElapsed()) / 1e6;
    const Expected<MovedConversations> moved = [&]() -> Expected<MovedConversations> {
        if (Expected<> claimed = codexLocks->claim(ids); !claimed)
            return std::unexpected(claimed.error());
        std::printf("Codex's locks on %lld threads: %.1f ms to take", static_cast<long long>(ids.size()),
                    double(timer.nsecsElapsed()) / 1e6 - reading);
        timer.restart();
        if (Expected<> room = enoughSpaceToMigrate(home, target); !room)
            return std::unexpected(room.error());
        if (Expected<> journal = writeJournal(home, {QStringLiteral("bench"), QStringLiteral("bench-point"), {}}); !journal)
            return std::unexpected(journal.error());
        std::printf(", lock, space check and journal: %.1f ms\n", reading + double(timer.nsecsElapsed()) / 1e6);
        const Expected<MovedConversations> done
            = moveConversationsBackedUp(home, target, BackupKind::MoveConversations, QString());
        if (Expected<> removed = done ? removeJournal(home) : Expected<>(); !removed)
            return std::unexpected(removed.error());
        return done;
    }();
    timer.restart();
    codexLocks.reset();
    std::printf("Codex's locks let go: %.1f ms\n", double(timer.nsecsElapsed()) / 1e6);
    if (!moved) {
        std::fprintf(stderr, "migration failed: %s\n", qPrintable(moved.error().message));
        return 1;
    }
    std::printf("moved %lld threads, %lld of them without their sealed items\n", static_cast<long long>(moved->listed),
                static_cast<long long>(moved->withoutSealedItems));
    return 0;
}

Options parse(const QStringList& arguments)
{
    const char* const usage = "usage: bench_migration [--threads N] [--rollout-kb K] [--keep DIR] [--migration-only]";
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& name = arguments[i];
        if (name == QLatin1String("--migration-only")) {
            options.migrationOnly = true;
            continue;
        }
        if (i + 1 == arguments.size())
            die(usage);
        const QString& value = arguments[++i];
        if (name == QLatin1String("--threads"))
            options.threads = value.toInt();
        else if (name == QLatin1String("--rollout-kb"))
            options.rolloutBytes = value.toLongLong() * 1024;
        else if (name == QLatin1String("--keep"))
            options.keep = value;
        else
            die(usage);
    }
    if (options.threads <= 0 || options.rolloutBytes <= 0)
        die("threads and rollout size must be positive");
    return options;
}

// Switch 1 was the first migration, to the relay; the second moved nothing. Switches 2 to
// 10 go back and forth and end on the account's provider. The space of all backups then,
// against the rollout files'.
double backupRatioAfterTenSwitches(const QString& userHome)
{
    const CodexHome home(userHome);
    for (int i = 2; i <= 10; ++i) {
        const Expected<MovedConversations> moved = moveConversationsBackedUp(
            home, i % 2 == 0 ? QStringLiteral("openai") : QStringLiteral("tevrun"), BackupKind::MoveConversations, QString());
        if (!moved)
            die(qPrintable(moved.error().message));
    }
    return double(files::diskUsage({home.backupsPath()})) / double(files::diskUsage({home.file(QStringLiteral("sessions"))}));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--migrate")
        return migrate(QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    const Options options = parse(app.arguments());
    QTemporaryDir scratch(options.keep.isEmpty() ? QDir::tempPath() + QStringLiteral("/morvane-bench-XXXXXX")
                                                 : options.keep);
    if (!scratch.isValid())
        die("cannot create the scratch directory");
    scratch.setAutoRemove(options.keep.isEmpty());
    const QString userHome = scratch.path() + QStringLiteral("/home");

    std::printf("generating %d threads of %lld KiB in %s\n", options.threads,
                static_cast<long long>(options.rolloutBytes / 1024), qPrintable(userHome));
    std::fflush(stdout);
    generateHome(userHome, options);
    runOrDie(QStringLiteral("sync"), {});

    // The floor: the same rollout files copied twice, each copy written to disk like the
    // migration's own writes are.
    const QString sessions = userHome + QStringLiteral("/.codex/sessions");
    double floor = 0;
    for (const char* copy : {"/floor-1", "/floor-2"}) {
        floor += secondsOf([&] {
            runOrDie(QStringLiteral("cp"), {QStringLiteral("-R"), sessions, scratch.path() + QLatin1String(copy)});
            runOrDie(QStringLiteral("sync"), {});
        });
    }
    ChildRun first = runMigrationChild(userHome);
    runOrDie(QStringLiteral("sync"), {});
    const ChildRun second = runMigrationChild(userHome);
    if (first.exitCode != 0 || second.exitCode != 0)
        die("the migration failed");
    // Only now: an ext4 without a journal makes new files slower for minutes after many
    // were deleted, which would charge the floor's removal to the migration. A kept
    // scratch deletes nothing, so that a run that follows is not charged either.
    if (options.keep.isEmpty()) {
        for (const char* copy : {"/floor-1", "/floor-2"})
            QDir(scratch.path() + QLatin1String(copy)).removeRecursively();
    }

    long largest = 0;
    QDirIterator it(sessions, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        largest = std::max(largest, long(QFileInfo(it.next()).size()));
    const double peakMiB = double(first.peakKiB) / 1024.0;
    const double peakLimit = 64.0 + 2.0 * double(largest) / (1024.0 * 1024.0);

    std::printf("cp floor (two copies, synced): %.2f s\n", floor);
    std::printf("first migration: %.2f s\n", first.seconds);
    std::printf("second migration (nothing to move): %.2f s, %.3fx the floor\n", second.seconds, second.seconds / floor);
    std::printf("targets: at most 0.55x the floor; peak below %.1f MiB; backups at most 2x the rollout bytes\n", peakLimit);
    std::printf("migration: %.2fx the cp floor, peak %.1f MiB\n", first.seconds / floor, peakMiB);
    if (!options.migrationOnly)
        std::printf("backups after 10 switches: %.2fx the rollout bytes\n", backupRatioAfterTenSwitches(userHome));
    return 0;
}
