#include "cli/command_line.h"
#include "cli/command.h"
#include "cli/command_docs.h"
#include "history/key_history.h"
#include "storage/journal.h"
#include "support/held_lock.h"
#include "support/named_cases.h"
#include "workflows/workflow_fixture.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

#include <thread>

#include <sys/stat.h>

namespace {

struct Outcome { int status = -1; QString out, err; };

Json jsonOf(const Outcome& result) { return parseJson(result.out.toUtf8()).value_or(Json()); }

} // namespace

class CommandLineTest : public WorkflowTest {
public:
    // Standard input is a terminal unless input is given; a read of it fails with
    // inputError when that is set.
    Outcome run(const QStringList& arguments, const std::optional<QByteArray>& input = std::nullopt,
            const QString& environmentKey = QString(), bool errorIsTerminal = false, int inputError = 0)
    {
        Outcome result;
        QTextStream out(&result.out);
        QTextStream err(&result.err);
        CommandLineIo io{out, err};
        io.inputIsTerminal = !input.has_value();
        io.readInput = [input, inputError]() -> std::optional<QByteArray> {
            errno = inputError;
            return inputError ? std::nullopt : input;
        };
        io.environmentKey = environmentKey.toUtf8();
        io.errorIsTerminal = errorIsTerminal;
        result.status = runCommandLine(arguments, engine, io);
        return result;
    }

    // One command run on the home the steps before it left: what it is given, what it must end
    // with, and what it must leave; a step that does not succeed changes nothing.
    struct Step {
        QStringList arguments; // "ID" stands for the id a step before kept in id
        std::optional<QByteArray> input; // none: standard input is a terminal
        QString environmentKey;
        std::function<void()> arrange;
        int status;
        QString err; // what standard error starts with; empty: nothing
        std::optional<QString> key{}; // in auth.json afterwards
        std::function<void(const Outcome&)> check{};
        bool terminal = false; // standard error is a terminal
    };
    QString id; // a saved key's or a restore point's, as a step listed it

    // The real program on the test's home, with these variables set.
    Outcome realProgram(const QStringList& arguments, const std::map<QString, QString>& variables)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", temp.userHome());
        environment.remove("CODEX_HOME");
        for (const auto& [name, value] : variables)
            environment.insert(name, value);
        process.setProcessEnvironment(environment);
        process.start(MORVANE_CLI, arguments);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(10000));
        return Outcome{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                       QString::fromUtf8(process.readAllStandardError())};
    }

    void runSteps(const std::vector<Step>& steps)
    {
        for (const Step& step : steps) {
            QStringList arguments = step.arguments;
            SCOPED_TRACE(arguments.join(' ').toStdString());
            if (step.arrange)
                step.arrange();
            arguments.replaceInStrings(QRegularExpression("^ID$"), id);
            const QMap<QString, QByteArray> before = snapshot();
            const Outcome result = run(arguments, step.input, step.environmentKey, step.terminal);
            EXPECT_EQ(result.status, step.status);
            EXPECT_TRUE(step.err.isEmpty() ? result.err.isEmpty() : result.err.startsWith(step.err)) << result.err.toStdString();
            // The result goes to standard output; a refusal or a failure to standard error alone.
            EXPECT_EQ(result.out.isEmpty(), step.status != 0 && !step.check) << result.out.toStdString();
            EXPECT_TRUE(step.status == 0 || snapshot() == before);
            if (step.key) {
                EXPECT_EQ(authJson(), Json({{"OPENAI_API_KEY", toUtf8(*step.key)}}));
            }
            if (step.check)
                step.check(result);
        }
    }
};

namespace {

// A command refused for its words or its input, on an account home: exit status 2, the reason
// on standard error (never the key), and nothing written or asked of the relay.
struct RefusalCase {
    const char* name;
    QString err; // what standard error starts with
    QStringList arguments; // "HOME" stands for the Codex home
    std::optional<QByteArray> input = {}; // none: standard input is a terminal
    QByteArray environmentKey = {};
    std::function<void(WorkflowTest&)> arrange = {};
    int inputError = 0;
};

const RefusalCase refusalCases[] = {
    {"no key anywhere", "没有拿到 TEVRUN API", {"switch", "api"}},
    {"an empty standard input and no key", "没有拿到 TEVRUN API", {"switch", "api"}, QByteArray()},
    {"a 100 KiB key in the environment", "环境变量 TEVRUN_API_KEY 的内容超过 64 KiB", {"switch", "api"}, QByteArray(), "sk-" + QByteArray(100 * 1024, 'k')},
    {"an unknown saved key", "没有这个已保存的 TEVRUN API。", {"keys", "forget", "../../auth"}},
    {"an unknown restore point", "没有找到备份“nothing-here”。", {"backups", "restore", "nothing-here"}},
    {"a missing key file", "无法读取“missing.txt”：文件或目录不存在。", {"switch", "api", "--key-file", "HOME/missing.txt"}},
    {"a folder for a key file", "无法读取“.codex”：目标是一个目录。", {"switch", "api", "--key-file", "HOME"}},
    {"an endless key file", "无法读取“zero”：内容超过 64 KiB", {"switch", "api", "--key-file", "/dev/zero"}},
    {"a standard input longer than a key", "标准输入内容超过 64 KiB", {"switch", "api"}, QByteArray(64 * 1024 + 1, 'k')},
    {"an empty key file", "无法读取“empty.txt”：内容是空的", {"check-key", "--key-file", "HOME/empty.txt"}, {}, {}, [](WorkflowTest& t) { t.temp.write("empty.txt", " \n"); }},
    {"a standard input that is not text", "标准输入内容不是文本", {"switch", "api"}, QByteArray("sk-\xff\xfe")},
    // Standard input that cannot be read is not taken for none: the environment's key may be another.
    {"an unreadable standard input", "无法读取“标准输入”：目标是一个目录。", {"switch", "api"}, QByteArray(), "sk-from.environment", {}, EISDIR},
    {"an unknown word after a command", "switch 后面要接 api 或 account。", {"switch", "sideways"}},
    {"a command without its ID", "backups 后面要接", {"backups", "restore"}},
    {"an unknown command", "未知的命令。", {"sideways"}},
    {"too many words", "参数过多。", {"status", "extra"}},
    {"an option the command does not take", "status 不接受选项 --keep。", {"status", "--keep", "3"}},
    {"no command", "缺少命令。", {}},
    {"an unknown option", "无法识别的选项", {"--frobnicate"}},
    {"prune without --keep", "请用 --keep N", {"backups", "prune"}},
    {"prune keeping fewer than none", "请用 --keep N", {"backups", "prune", "--keep", "-1"}},
    {"verifying an unknown point", "没有找到备份“nothing-here”。", {"backups", "verify", "nothing-here"}},
    // A key written as an argument is refused wherever it stands, ids and --key-file included.
    {"a key as the ID of a switch", "不接受写在命令行参数里的 TEVRUN API", {"switch", "api", "sk-secret.value"}},
    {"a key after check-key", "不接受写在命令行参数里的 TEVRUN API", {"check-key", "sk-secret.value"}},
    {"a key after --key", "不接受写在命令行参数里的 TEVRUN API", {"switch", "api", "--key", "sk-secret.value"}},
    {"a key in --key=", "不接受写在命令行参数里的 TEVRUN API", {"switch", "api", "--key=sk-secret.value"}},
    {"a key for a key file", "不接受写在命令行参数里的 TEVRUN API", {"switch", "api", "--key-file=sk-secret.value"}},
    {"a key as a restore point", "不接受写在命令行参数里的 TEVRUN API", {"backups", "restore", "sk-secret.value"}},
};

} // namespace

class CommandLineRefusal : public CommandLineTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(CommandLineRefusal, ExitsWithStatus2AndWritesNothing)
{
    const RefusalCase& refusal = GetParam();
    makeAccountHome();
    if (refusal.arrange)
        refusal.arrange(*this);
    const QMap<QString, QByteArray> before = snapshot();
    QStringList arguments = refusal.arguments;
    arguments.replaceInStrings(QRegularExpression("^HOME"), temp.codexHome());
    const Outcome result = run(arguments, refusal.input, refusal.environmentKey, false, refusal.inputError);
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.err.startsWith(refusal.err)) << result.err.toStdString();
    EXPECT_FALSE(result.err.contains("secret.value"));
    EXPECT_EQ(result.out, QString());
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(QFile::exists(temp.path("morvane"))); // not even Morvane's folder
    EXPECT_TRUE(relay.requests().empty());
}

INSTANTIATE_TEST_SUITE_P(CommandLine, CommandLineRefusal, ::testing::ValuesIn(refusalCases), CaseName());

// A relay's refusal, a running Codex, and a Codex quit when asked; a configuration the lines
// cannot edit safely, named by its line with the repair that rewrites it.
TEST_F(CommandLineTest, RefusesWhileCodexRunsQuitsItWhenAskedAndNamesWhatStopsAWorkflow)
{
    makeAccountHome();
    temp.write("key.txt", "sk-from.the.file.01\n");
    runSteps({
    {{"switch", "api"}, "sk-refused", {}, [this] { relay.enqueue({401, R"({"error":{"message":"令牌无效"}})"}); }, 1,
     "TEVRUN API 校验失败"},
    {{"switch", "account"}, {}, {}, [this] { workspace.startCodex(808); }, 3, "已检测到 Dock 里的 Codex 正在运行"},
    // Asked to, it quits Codex the way the window does and goes on.
    {{"check-key", "--quit-codex", "--key-file", temp.path("key.txt")}, {}, {}, [this] { workspace.quitEndsProcesses = true; }, 0, "",
     {}, [this](const Outcome&) { EXPECT_EQ(workspace.terminated, QList<qint32>{808}); }},
    });
    temp.write("config.toml", "model_providers.tevrun.x = 1\n");
    const QMap<QString, QByteArray> unsafe = snapshot();
    const Outcome refused = run({"switch", "api"}, "sk-unsafe");
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains("第 1 行") && refused.err.contains("morvane-cli repair api")) << refused.err.toStdString();
    EXPECT_EQ(snapshot(), unsafe);
}

// doctor: 1 with each problem and the fix, which mends the home; 0 once it is healthy.
TEST_F(CommandLineTest, DoctorNamesEachProblemWithTheCommandThatMendsIt)
{
    makeAccountHome();
    runSteps({
    {{"doctor"}, {}, {}, {}, 1, "", {}, [](const Outcome& r) { EXPECT_TRUE(r.out.contains("  修复：morvane-cli move-conversations\n")); }},
    {{"doctor", "--json"}, {}, {}, {}, 1, "", {}, [&](const Outcome& r) {
         const Json problems = jsonOf(r);
         ASSERT_TRUE(problems.is_array() && problems.size() == 1u) << problems.dump();
         EXPECT_EQ(problems[0]["code"], "conversations-elsewhere");
         EXPECT_NE(problems[0]["message"].get<std::string>().find("1 条对话"), std::string::npos);
         EXPECT_EQ(problems[0]["fix"], "morvane-cli move-conversations");
     }},
    {{"move-conversations"}, {}, {}, {}, 0, "", {}, [](const Outcome& r) { EXPECT_TRUE(r.out.startsWith("已把 1 条对话")); }},
    {{"doctor", "--json"}, {}, {}, {}, 0, "", {}, [](const Outcome& r) { EXPECT_EQ(r.out, "[]\n"); }},
    {{"doctor"}, {}, {}, [this] { QFile::setPermissions(temp.path("auth.json"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther); },
     1, "", {}, [this](const Outcome& r) {
         EXPECT_TRUE(r.out.contains(QStringLiteral("  修复：chmod 600 '%1'\n").arg(temp.path("auth.json")))) << r.out.toStdString();
         QFile::setPermissions(temp.path("auth.json"), QFile::ReadOwner | QFile::WriteOwner);
     }},
    {{"repair", "account"}, {}, {}, {}, 0, ""},
    });
}

// The key from a file, a pipe, standard input and the environment; a terminal sees one
// progress line that updates in place.
TEST_F(CommandLineTest, TheKeyComesFromAFileAPipeStandardInputOrTheEnvironment)
{
    makeAccountHome();
    temp.write("key.txt", "sk-from.the.file.01\n");
    const QString pipe = temp.path("key-pipe");
    runSteps({
    {{"switch", "api", "--key-file", temp.path("key.txt")}, {}, {}, {}, 0,
     "\r\033[K正在切到 TEVRUN API...\r\033[K正在切到 TEVRUN API... 0/5", "sk-from.the.file.01",
     [this](const Outcome& r) {
         EXPECT_TRUE(r.err.endsWith(" 5/5\r\033[K") && !r.err.contains('\n'));
         EXPECT_EQ(workspace.openedApplications.size(), 1);
     },
     true},
    {{"check-key", "--key-file", pipe}, {}, {},
     [&pipe] {
         ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
         std::thread([pipe] {
             QFile end(pipe);
             if (end.open(QIODevice::WriteOnly))
                 end.write("sk-from.a.pipe.0001\n");
         }).detach();
     },
     0, "", {}, [this](const Outcome&) {
         EXPECT_EQ(relay.requests().back().headers.value("authorization"), "Bearer sk-from.a.pipe.0001");
     }},
    {{"switch", "api"}, "  sk-from.standard.in\n", {}, {}, 0, "", "sk-from.standard.in"},
    {{"switch", "api"}, QByteArray(), "sk-from.environment", {}, 0, "", "sk-from.environment"},
    {{"repair", "api"}, {}, "sk-abcdefghijklmnop1234", {}, 0, "", "sk-abcdefghijklmnop1234"},
    });
}

// status in both forms, a Codex known by the conversation it holds open, and the saved keys:
// newest first, shortened, forgotten one at a time.
TEST_F(CommandLineTest, StatusAndTheSavedKeysShowNoKey)
{
    makeAccountHome();
    ASSERT_TRUE(saveApiKeyToHistory(temp.home(), "sk-from.the.file.01"));
    ASSERT_EQ(engine.repair(ModeApi, "sk-abcdefghijklmnop1234").outcome, WorkflowResult::Outcome::Done);
    std::optional<HeldLock> codexOfAnotherName;
    runSteps({
    {{"status", "--json"}, {}, {},
     [&] {
         workspace.startCodex(41);
         workspace.applications.push_back({42, "codex", "", "", "/usr/local/bin/codex"});
         codexOfAnotherName.emplace(temp.path("thread-writer-locks/t-b.lock"));
     },
     0, "", {}, [&](const Outcome& r) {
         Json status = jsonOf(r);
         EXPECT_GT(status["backups"]["size_bytes"].get<qint64>(), 0);
         status["backups"].erase("size_bytes");
         EXPECT_EQ(status, Json::parse(QStringLiteral(R"({"mode": "api", "key": "sk-abcd…1234", "config_provider": "tevrun",
             "conversations": {"tevrun": 4}, "codex_running": true, "codex": [{"pid": 41, "kind": "app"},
             {"pid": 42, "kind": "terminal"}], "backups": {"count": %1}, "thread_indexes": [{"conversations": {"tevrun": 4},
             "path": "%2"}], "open_conversations": [{"id": "t-b", "title": "对话 t-b"}], "codex_home": "%3", "login_store": "file"})")
                                         .arg(engine.listBackups().size()).arg(temp.path("state_5.sqlite"), temp.codexHome()).toStdString()));
     }},
    {{"status"}, {}, {}, {}, 0, "", {}, [](const Outcome& r) { EXPECT_FALSE(r.out.contains("efghijklmnop")); }},
    // Codex known by the conversation it holds open, whatever its process is called.
    {{"switch", "account"}, {}, {}, [this] { workspace.stopAll(); }, 3, "已检测到 Codex 正开着 1 条对话"},
    {{"doctor"}, {}, {}, {}, 1, "", {}, [](const Outcome& r) { EXPECT_TRUE(r.out.contains("Codex 正开着 1 条对话：“对话 t-b”（t-b）。")); }},
    // Saved keys: newest first, shortened, forgotten one at a time.
    {{"keys", "list"}, {}, {},
     [&] {
         codexOfAnotherName.reset();
         setModificationTime(*historyPathForKey(temp.home(), "sk-from.the.file.01"), QDateTime(QDate(2026, 11, 2), QTime(9, 30)));
     },
     0, "", {}, [](const Outcome& r) {
         const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
         ASSERT_EQ(lines.size(), 2);
         EXPECT_TRUE(lines[0].contains("  sk-abcd…1234  ")) << lines[0].toStdString();
         EXPECT_TRUE(lines[1].endsWith("  sk-from…e.01  2026-11-02 09:30")) << lines[1].toStdString();
         EXPECT_FALSE(r.out.contains("from.the"));
     }},
    {{"keys", "list", "--json"}, {}, {}, {}, 0, "", {}, [&](const Outcome& r) {
         const Json keys = jsonOf(r);
         ASSERT_EQ(keys.size(), 2u);
         EXPECT_EQ(keys[1]["key"], "sk-from…e.01");
         id = fromUtf8(keys[1]["id"].get<std::string>());
     }},
    {{"keys", "forget", "ID"}, {}, {}, {}, 0, "", {}, [this](const Outcome&) {
         EXPECT_EQ(engine.savedKeys().size(), 1u);
         EXPECT_FALSE(QFile::exists(*historyPathForKey(temp.home(), "sk-from.the.file.01")));
     }},
    });
}

// Backups: listed, verified, restored and pruned only when asked.
TEST_F(CommandLineTest, BackupsAreListedVerifiedRestoredAndPrunedOnlyWhenAsked)
{
    makeAccountHome();
    ASSERT_EQ(engine.moveVisibleConversations().outcome, WorkflowResult::Outcome::Done);
    ASSERT_EQ(engine.repair(ModeAccount, QString()).outcome, WorkflowResult::Outcome::Done);
    ASSERT_EQ(engine.moveVisibleConversations().outcome, WorkflowResult::Outcome::Done); // nothing to move: no point
    runSteps({
    {{"backups", "list", "--json"}, {}, {}, {}, 0, "", {}, [&](const Outcome& r) {
         const Json list = jsonOf(r);
         ASSERT_EQ(list.size(), 2u);
         const Json& first = list.back();
         EXPECT_EQ(first["kind"], "move-conversations");
         EXPECT_GT(first["size_bytes"].get<qint64>(), 0);
         EXPECT_TRUE(first["contents"].is_string());
         id = fromUtf8(first["id"].get<std::string>());
         const QDateTime created = QDateTime::fromString(fromUtf8(first["created_at"].get<std::string>()), Qt::ISODate);
         EXPECT_TRUE(run({"backups", "list"}).out.split('\n').value(qsizetype(list.size()) - 1).startsWith(
             id + "  " + created.toString("yyyy-MM-dd HH:mm:ss")));
     }},
    {{"backups", "verify", "ID"}, {}, {}, {}, 0, ""},
    // Back to the home as the account's repair left it.
    {{"backups", "restore", "ID"}, {}, {}, {}, 0, "", {}, [this](const Outcome&) { EXPECT_EQ(temp.read("auth.json"), accountAuth); }},
    {{"backups", "prune", "--keep", "1"}, {}, {}, {}, 0, "", {}, [&](const Outcome&) {
         ASSERT_EQ(engine.listBackups().size(), 1u);
         id = engine.listBackups()[0].id;
     }},
    {{"backups", "verify"}, {}, {}, [&] { writeFileAt(engine.listBackups()[0].loginDirectory + "/config.toml", "model = \"x\"\n"); },
     1, "", {}, [&](const Outcome& r) { EXPECT_EQ(r.out, id + "  已损坏：“config.toml”\n"); }},
    {{"backups", "restore", "ID"}, {}, {}, [this] { workspace.startCodex(43); }, 3, "已检测到 Dock 里的 Codex 正在运行"},
    });
}

// The version, the help, and a home that cannot be read, which is no unconfigured one.
TEST_F(CommandLineTest, AnUnreadableHomeIsReportedAsSuch)
{
    runSteps({
    {{"--version"}, {}, {}, {}, 0, "", {}, [](const Outcome& r) { EXPECT_EQ(r.out, "morvane-cli " MORVANE_VERSION "\n"); }},
    {{"--help"}, {}, {}, {}, 0, ""},
    // A home that cannot be read is no unconfigured one.
    {{"status"}, {}, {},
     [this] {
         QDir(temp.codexHome()).removeRecursively();
         writeFileAt(temp.codexHome(), "not a folder");
     },
     1, "无法读取“.codex”："},
    });
}

// The completions, made from the command table, offer what the table holds: bash the
// commands, their words and the options; zsh and fish each word with the summary of what it
// calls.
TEST(CommandLineCompletion, EachShellOffersTheCommandsOfTheTable)
{
    for (const Command& command : commands()) {
        const QStringList words = command.targets.isEmpty() ? QStringList{command.first} : command.targets;
        for (const QString& word : words) {
            EXPECT_TRUE(completionScript("zsh").contains("'" + word + ":" + command.summary + "'")) << word.toStdString();
            EXPECT_TRUE(completionScript("fish").contains("-a " + word + " -d '" + command.summary + "'")) << word.toStdString();
        }
    }
    EXPECT_EQ(completionScript("tcsh"), QString());
    TempHome temp;
    temp.write("completion.bash", completionScript("bash").toUtf8());
    const struct {
        QStringList words;
        QString offered;
    } cases[] = {
        {{"morvane-cli", "re"}, "repair"},
        {{"morvane-cli", "backups", ""}, "list restore verify prune"},
        {{"morvane-cli", "switch", ""}, "api account"},
        {{"morvane-cli", "doctor", "--j"}, "--json"},
    };
    for (const auto& c : cases) {
        QProcess bash;
        bash.start("bash", {"-c", QStringLiteral("source '%1'; COMP_WORDS=('%2'); COMP_CWORD=%3; _morvane_cli; echo \"${COMPREPLY[*]}\"")
                                      .arg(temp.path("completion.bash"), c.words.join("' '"))
                                      .arg(c.words.size() - 1)});
        ASSERT_TRUE(bash.waitForFinished(10000));
        EXPECT_EQ(QString::fromUtf8(bash.readAllStandardOutput()).trimmed(), c.offered) << c.words.join(' ').toStdString();
    }
}

// The real program on a home whose last switch was cut off: a command refused for its words
// or its input writes nothing, not even the recovery; any other command, even one that only
// reads, puts it back first and says so on standard error, leaving standard output its own.
// Both programs find the thread indexes where CODEX_SQLITE_HOME says, as Codex does.
TEST_F(CommandLineTest, TheRealProgramRefusesBeforeWritingAndPutsBackACutOffWorkflowFirst)
{
    makeAccountHome();
    ASSERT_EQ(engine.switchToApi("sk-before.cut").outcome, WorkflowResult::Outcome::Done);
    ASSERT_TRUE(writeJournal(temp.home(), {"switch-api", engine.listBackups()[0].id, {}}));
    ASSERT_TRUE(QDir().mkpath(temp.path("databases")));
    ASSERT_TRUE(QFile::copy(temp.path("state_5.sqlite"), temp.path("databases/state_5.sqlite")));
    const auto cli = [this](const QStringList& arguments, const QByteArray& environmentKey = {}) {
        return realProgram(arguments, {{"CODEX_SQLITE_HOME", temp.path("databases")}, {"TEVRUN_API_KEY", environmentKey}});
    };
    const QMap<QString, QByteArray> cutOff = snapshot();
    for (const auto& [arguments, environmentKey, refusal] :
         std::initializer_list<std::tuple<QStringList, QByteArray, QString>>{
             {{"sideways"}, {}, "未知的命令。"},
             {{"switch", "api"}, "sk-" + QByteArray(100 * 1024, 'k'), "环境变量 TEVRUN_API_KEY 的内容超过 64 KiB"}}) {
        const Outcome refused = cli(arguments, environmentKey);
        EXPECT_EQ(refused.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(refused.err.startsWith(refusal)) << refused.err.toStdString();
        EXPECT_EQ(snapshot(), cutOff) << arguments.join(' ').toStdString();
    }
    const Outcome status = cli({"status", "--json"});
    EXPECT_EQ(status.status, 0);
    EXPECT_EQ(status.err, "上次的操作没有完成，已恢复到开始前的状态。\n");
    const Json json = parseJson(status.out.toUtf8()).value_or(Json());
    EXPECT_EQ(json["mode"], "account");
    EXPECT_EQ(json["thread_indexes"][0]["path"], toUtf8(temp.path("databases/state_5.sqlite"))) << json.dump();
    EXPECT_EQ(providerOf("t-a"), QStringLiteral("openai"));
}

// The real program works on the home CODEX_HOME names, by its canonical path, and says which;
// one that is no folder stops it. A login in a store that does not answer, or in memory only,
// refuses the switch before anything changes.
TEST_F(CommandLineTest, TheRealProgramWorksOnTheCodexHomeCodexUses)
{
    makeAccountHome();
    EXPECT_FALSE(run({"status"}).out.contains(temp.codexHome())); // ~/.codex goes unnamed
    const QString elsewhere = temp.userHome() + "/elsewhere";
    ASSERT_TRUE(QDir().rename(temp.codexHome(), elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, temp.userHome() + "/link"));
    const QMap<QString, QByteArray> before = snapshot();
    const Outcome refused = realProgram({"status"}, {{"CODEX_HOME", elsewhere + "/config.toml"}});
    EXPECT_TRUE(refused.status == 2 && refused.err.contains(elsewhere + "/config.toml")) << refused.err.toStdString();
    const Json status = jsonOf(realProgram({"status", "--json"}, {{"CODEX_HOME", temp.userHome() + "/link"}}));
    EXPECT_EQ(status["codex_home"], toUtf8(elsewhere));
    EXPECT_EQ(status["mode"], "account");
    EXPECT_TRUE(realProgram({"doctor"}, {{"CODEX_HOME", elsewhere}}).out.contains(elsewhere));
    EXPECT_EQ(snapshot(), before);
    for (const QByteArray store : {"keyring", "ephemeral"}) {
        writeFileAt(elsewhere + "/config.toml", "cli_auth_credentials_store = \"" + store + "\"\n" + userConfig);
        const QMap<QString, QByteArray> arranged = snapshot();
        const Outcome refused = realProgram({"switch", "api"}, {{"CODEX_HOME", elsewhere}, {"TEVRUN_API_KEY", "sk-unsent"},
                                                                {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"}});
        EXPECT_TRUE(refused.status == 2 && refused.err.contains(store == "keyring" ? "Secret Service" : "ephemeral"))
            << refused.err.toStdString();
        EXPECT_EQ(snapshot(), arranged);
    }
}
