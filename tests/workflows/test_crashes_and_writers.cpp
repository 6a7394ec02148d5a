#include "core/files/staging.h"
#include "credentials/mode_detection.h"
#include "migration/thread_migration.h"
#include "storage/journal.h"
#include "support/held_lock.h"
#include "workflows/workflow_fixture.h"
#include "support/named_cases.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <future>
#include <sys/resource.h>
#include <thread>

using Outcome = WorkflowResult::Outcome;

namespace {

// Staging files anywhere in the home but the backups, which keep their own.
QStringList stagingFilesIn(const QString& codexHome)
{
    QStringList found;
    QDirIterator it(codexHome, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (files::isStagingName(it.fileName()) && !path.contains("/morvane/backups/"))
            found << path;
    }
    return found;
}

// What a finished workflow leaves, independent of where the home is.
struct Outcomes {
    QByteArray auth;
    QByteArray config;
    std::map<QString, QString> providers;
    bool operator==(const Outcomes&) const = default;
};

// The home where a conversation opens once the switch has begun, and the lock Codex takes on it.
WorkflowTest* lateHome = nullptr;
std::unique_ptr<HeldLock> lateLock;

Outcomes outcomesOf(const WorkflowTest& test)
{
    Outcomes outcomes{test.temp.read("auth.json"), test.temp.read("config.toml"), {}};
    for (const IndexRow& row : test.builder.indexRows())
        outcomes.providers[row.id] = row.provider.value_or(QString());
    return outcomes;
}

} // namespace

// Two engines on one home, as the window and the command line: the second writer is turned
// away while the first holds the home, and the home ends in the first one's mode.
TEST_F(WorkflowTest, ASecondWriterIsRefusedWhileTheFirstHoldsTheHome)
{
    makeAccountHome();
    LocalRelay::Reply slow;
    slow.delayMs = 700;
    relay.enqueue(slow);
    std::promise<void> writing;
    QObject::connect(&engine, &Workflows::progress, [&writing, first = true]() mutable {
        if (std::exchange(first, false))
            writing.set_value();
    });
    WorkflowResult firstResult;
    std::thread first([&] { firstResult = engine.switchToApi(QStringLiteral("sk-first.writer")); });
    writing.get_future().wait();
    Workflows second{temp.home(), relay.endpoint(), workspace};
    const WorkflowResult refused = second.switchToAccount();
    first.join();

    expectResult(refused, Outcome::Failed, QStringLiteral("另一个 Morvane 正在修改 Codex 配置，请等它完成后再试。"));
    EXPECT_EQ(firstResult.outcome, Outcome::Done) << outcomeText(firstResult).toStdString();
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeApi);
    for (const QString id : {"t-a", "t-b", "t-c", "t-moved"})
        EXPECT_EQ(providerOf(id), QStringLiteral("tevrun")) << id.toStdString();
}

namespace {

// Runs the workflow in a child that dies after its killAfter-th write (0: runs to its end):
// how it ended, and how many writes it made.
std::pair<QProcess::ExitStatus, int> runChild(const WorkflowTest& t, const QString& workflow, int killAfter)
{
    QProcess child;
    QStringList arguments{t.temp.userHome(), t.relay.endpoint().baseURL.toString(), workflow, QString::number(killAfter)};
    if (workflow == "restore")
        arguments << t.engine.listBackups().back().id;
    child.start(CRASH_CHILD, arguments);
    EXPECT_TRUE(child.waitForFinished(20000));
    return std::make_pair(child.exitStatus(), QString::fromUtf8(child.readAllStandardOutput()).trimmed().toInt());
}

// Killed after any write, a workflow under way is put back byte for byte by the next start,
// with no staging or lock file left; killed before the journal or after it, the home is whole as is.
struct KilledWorkflowCase {
    const char* name;
    std::function<void(WorkflowTest&)> arrange;
};

const KilledWorkflowCase killedWorkflows[] = {
    {"switch-api", [](WorkflowTest& t) { t.makeAccountHome(); }},
    {"switch-account", [](WorkflowTest& t) { t.makeApiHome("sk-before"); t.recordAccountProfile(); }},
    {"repair-account", [](WorkflowTest& t) { t.makeApiHome("sk-before"); }},
    {"restore", [](WorkflowTest& t) {
         t.makeAccountHome();
         ASSERT_EQ(t.engine.switchToApi("sk-switched").outcome, Outcome::Done);
     }},
};

} // namespace

class KilledWorkflow : public WorkflowTest, public ::testing::WithParamInterface<KilledWorkflowCase> {};

TEST_P(KilledWorkflow, IsPutBackByTheNextStart)
{
    const KilledWorkflowCase& row = GetParam();
    // An uninterrupted run counts the writes and shows where the workflow ends.
    Home whole;
    row.arrange(whole);
    const auto [status, writes] = runChild(whole, row.name, 0);
    ASSERT_EQ(status, QProcess::NormalExit);
    ASSERT_GT(writes, 3);
    const Outcomes finished = outcomesOf(whole);

    for (int killAfter = 1; killAfter <= writes; ++killAfter) {
        SCOPED_TRACE(killAfter);
        Home t;
        row.arrange(t);
        const auto before = t.codexFiles();
        EXPECT_EQ(runChild(t, row.name, killAfter).first, QProcess::CrashExit);
        const bool underWay = hasJournal(t.temp.home());

        Workflows next{t.temp.home(), t.relay.endpoint(), t.workspace};
        EXPECT_TRUE(next.hasCutOffWork() || !underWay);
        const WorkflowResult recovered = next.putBackCutOffWork();
        EXPECT_EQ(outcomeText(recovered), underWay ? QStringLiteral("上次的操作没有完成，已恢复到开始前的状态。") : QString());
        EXPECT_FALSE(hasJournal(t.temp.home()));
        EXPECT_EQ(stagingFilesIn(t.temp.codexHome()), QStringList());
        // Nor the lock files of the threads it held.
        EXPECT_EQ(entriesOf(t.temp.path("thread-writer-locks")).filter(QRegularExpression("^[^.]")), QStringList());
        EXPECT_FALSE(next.hasCutOffWork());
        const auto after = t.codexFiles();
        if (underWay || after == before) {
            EXPECT_EQ(differingFiles(before, after), QStringList());
        } else {
            EXPECT_EQ(outcomesOf(t), finished);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Workflows, KilledWorkflow, ::testing::ValuesIn(killedWorkflows), CaseName());

// A staging file alone, without a journal, is cleared up too; a link of such a name is no
// half-written file of ours and stays.
TEST_F(WorkflowTest, AStagingFileAloneIsClearedUpAndALinkOfItsNameStays)
{
    ASSERT_TRUE(QFile::link(temp.path("config.toml"), temp.path(".config.toml.morvane-0123456789ab")));
    EXPECT_FALSE(engine.hasCutOffWork());
    temp.write(".auth.json.morvane-0123456789ab", "half");
    EXPECT_TRUE(engine.hasCutOffWork());
    engine.putBackCutOffWork();
    EXPECT_FALSE(temp.exists(".auth.json.morvane-0123456789ab"));
    EXPECT_TRUE(QFileInfo(temp.path(".config.toml.morvane-0123456789ab")).isSymLink());
}

// Codex appends to a conversation after the switch read it: the switch stops and puts
// everything back, and the conversation keeps what Codex wrote.
TEST_F(WorkflowTest, ACodexWriteDuringTheSwitchStopsItAndKeepsTheWrite)
{
    makeAccountHome();
    const ThreadRecords threads = threadsToMove(temp.home(), "tevrun").value();
    const QString last = std::find_if(threads.rbegin(), threads.rend(), [](const ThreadRecord& t) { return t.moves; })->rolloutPath;
    const QByteArray appended = R"({"timestamp":"2026-12-08T10:00:00Z","type":"event_msg","payload":{}})" "\n";
    QObject::connect(&engine, &Workflows::progress, [&](WorkflowTask, qint64 done, qint64 total) {
        if (total > 0 && done == total - 1) { // the last file was read and is being staged
            QFile file(last);
            ASSERT_TRUE(file.open(QIODevice::Append));
            file.write(appended);
        }
    });
    auto before = codexFiles();
    before[QDir(temp.codexHome()).relativeFilePath(last)] += appended;

    expectResult(engine.switchToApi(QStringLiteral("sk-during")), Outcome::Failed,
                 QStringLiteral("Codex 在切换过程中写入了对话，已恢复到切换前的状态。请先退出 Codex 再切换。"));
    EXPECT_EQ(differingFiles(before, codexFiles()), QStringList());
    EXPECT_EQ(engine.verifyBackups(QString())->front().second, QStringList()); // the backup stays whole
}

// Codex's locks, held by a process of any name: a conversation open (an archived one too: it
// moves), or the coordination or maintenance lock kept past the wait, refuses the switch with
// nothing changed; a stale one, one of a conversation no thread index holds, or an id that is
// no file name, does not.
TEST_F(WorkflowTest, ConversationsCodexHasOpenKeepEveryMoveAway)
{
    const struct {
        QStringList held; // lock files under thread-writer-locks/, without ".lock"
        QString message;  // empty: the switch goes on
        rlim_t spareDescriptors = 0; // too few to hold a lock each: the coordination lock is kept instead
    } rows[] = {
        {{"t-b"}, "已检测到 Codex 正开着 1 条对话，请先退出 Codex 再试。"},
        {{"t-a", "t-moved", "t-archived"}, "已检测到 Codex 正开着 3 条对话，请先退出 Codex 再试。"},
        {{".coordination"}, "Codex 正在打开或关闭对话，等了几秒还没好，请稍后再试。"},
        {{"../.tmp/rollout-maintenance"}, "Codex 正在整理对话文件，请等它整理完再试。"},
        {{"t-unindexed"}, ""},
        {{"t-unindexed"}, "", 100},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.held.join(' ').toStdString());
        Home t;
        t.makeAccountHome();
        t.temp.write("thread-writer-locks/.coordination.lock", {});
        if (row.message.isEmpty()) {
            t.temp.write("thread-writer-locks/t-c.lock", {}); // left by a Codex that was killed
            ThreadSpec odd = threadSpec("x/../../../escape", "openai", 1'780'000'500);
            odd.rolloutFileMissing = true;
            t.builder.addThread(odd);
        }
        std::vector<std::unique_ptr<HeldLock>> codex;
        for (const QString& name : row.held)
            codex.push_back(std::make_unique<HeldLock>(t.temp.path("thread-writer-locks/" + name + ".lock")));
        const QMap<QString, QByteArray> before = t.snapshot();
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        const rlim_t allowed = rlim_t(QDir("/dev/fd").count()) + row.spareDescriptors; // root may raise it back
        const rlimit few{allowed, allowed};
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, row.spareDescriptors ? &few : &limit), 0);
        bool coordinationKept = false; // during the move, as a Codex opening a conversation sees it
        QObject::connect(&t.engine, &Workflows::progress, [&](WorkflowTask, qint64, qint64 total) {
            if (total > 0)
                coordinationKept = QProcess::execute("flock", {"-n", "-E", "9", t.temp.path("thread-writer-locks/.coordination.lock"), "true"}) == 9;
        });
        const WorkflowResult result = t.engine.switchToApi(QStringLiteral("sk-locks.test"));
        ::setrlimit(RLIMIT_NOFILE, &limit);
        if (!row.message.isEmpty()) {
            expectResult(result, Outcome::CodexRunning, row.message);
            EXPECT_EQ(t.snapshot(), before);
            continue;
        }
        EXPECT_EQ(result.outcome, Outcome::Done) << outcomeText(result).toStdString();
        EXPECT_EQ(coordinationKept, row.spareDescriptors > 0);
        EXPECT_EQ(entriesOf(t.temp.path("thread-writer-locks")), QStringList({".coordination.lock", "t-unindexed.lock"}));
    }
}

// A conversation Codex opens mid-switch puts the switch back.
TEST_F(WorkflowTest, AConversationOpenedMidSwitchPutsItBack)
{
    lateHome = this;
    makeAccountHome();
    files::setAfterReplacing([] {
        if (lateLock)
            return;
        lateHome->builder.addThread(threadSpec("t-late", "openai", 1'780'000'400));
        lateLock = std::make_unique<HeldLock>(lateHome->temp.path("thread-writer-locks/t-late.lock"));
    });
    const WorkflowResult stopped = engine.switchToApi(QStringLiteral("sk-late.thread"));
    files::setAfterReplacing(nullptr);
    lateLock.reset();
    expectResult(stopped, Outcome::CodexRunning, "已检测到 Codex 正开着 1 条对话，请先退出 Codex 再试。 已恢复到切换前的状态。");
    EXPECT_EQ(temp.read("auth.json"), accountAuth);
}

// A writer that finds a workflow cut off puts it back first and says so; while it cannot be
// put back, only a restore may change anything.
TEST_F(WorkflowTest, AWriterFindingACutOffWorkflowPutsItBackFirst)
{
    makeAccountHome();
    ASSERT_EQ(engine.switchToApi(QStringLiteral("sk-first")).outcome, Outcome::Done);
    const QString first = engine.listBackups()[0].id;
    ASSERT_TRUE(writeJournal(temp.home(), {"switch-api", first, {}}));
    // Not while Codex runs: the journal waits for it to quit.
    workspace.startCodex(7);
    const QMap<QString, QByteArray> halfDone = snapshot();
    expectResult(engine.putBackCutOffWork(), Outcome::Failed,
                 QStringLiteral("上次的操作没有完成。Codex 正在运行，退出 Codex 后会恢复到开始前的状态。"));
    EXPECT_EQ(snapshot(), halfDone);
    workspace.stopAll();
    {
        const HeldLock codex(temp.path("thread-writer-locks/t-a.lock")); // a Codex of another name
        expectResult(engine.putBackCutOffWork(), Outcome::CodexRunning,
                     QStringLiteral("上次的操作没有完成，现在还不能恢复：已检测到 Codex 正开着 1 条对话，请先退出 Codex 再试。"));
        EXPECT_TRUE(hasJournal(temp.home()));
    }
    expectResult(engine.switchToAccount(), Outcome::Done, QStringLiteral("上次的操作没有完成，已恢复到开始前的状态。"));
    EXPECT_EQ(temp.read("auth.json"), accountAuth);

    ASSERT_EQ(engine.switchToApi(QStringLiteral("sk-second")).outcome, Outcome::Done);
    const RestorePoint second = engine.listBackups()[0];
    ASSERT_TRUE(writeJournal(temp.home(), {"switch-api", second.id, {}}));
    writeFileAt(second.loginDirectory + "/auth.json", "{}");
    const WorkflowResult refused = engine.pruneBackups(0);
    EXPECT_EQ(refused.outcome, Outcome::Failed);
    EXPECT_EQ(refused.restoreByHand, second.id) << outcomeText(refused).toStdString();
    EXPECT_TRUE(hasJournal(temp.home()));
    EXPECT_EQ(engine.listBackups().size(), 2u);
    EXPECT_EQ(engine.restoreBackup(first).outcome, Outcome::Done);
    EXPECT_FALSE(hasJournal(temp.home()));
    EXPECT_EQ(temp.read("auth.json"), accountAuth);

    // A journal that is not one is said so and kept, never taken for none.
    for (const char* journal : {"{\"workflow\": \"switch-api\", cut off", R"({"workflow": 1, "restore_point": "p", "created_files": []})",
                                R"({"workflow": "switch-api", "created_files": []})",
                                R"({"workflow": "switch-api", "restore_point": "p", "created_files": [7]})"}) {
        temp.write("morvane/journal.json", journal);
        const WorkflowResult unreadable = engine.putBackCutOffWork();
        EXPECT_EQ(unreadable.outcome, Outcome::Failed) << journal;
        EXPECT_TRUE(outcomeText(unreadable).startsWith(QStringLiteral("上次的操作没有完成，它的记录也读不出来：无法读取“journal.json”")))
            << outcomeText(unreadable).toStdString();
        EXPECT_EQ(temp.read("morvane/journal.json"), journal);
    }
}
