#include "cli/command_line.h"
#include "cli/command_table.h"
#include "history/key_history.h"
#include "storage/journal.h"
#include "workflows/workflow_fixture.h"

#include <QDir>
#include <QProcess>

#include <thread>

#include <csignal>
#include <sys/stat.h>

namespace {

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

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
        io.environmentKey = environmentKey;
        io.errorIsTerminal = errorIsTerminal;
        result.status = runCommandLine(arguments, engine, io);
        return result;
    }
};

// Arguments, standard input and the environment in; exit status and output out. Each step
// runs on the home the steps before it left; a step that does not succeed changes nothing.
// The engine's own texts are its tests' business: here only where they go and the status.
TEST_F(CommandLineTest, EachCommandGivesItsStatusAndWritesOnlyWhenItSucceeds)
{
    makeAccountHome();
    temp.write("key.txt", "sk-from.file\n");
    // A key written as an argument is refused wherever it stands, ids and --key-file included.
    for (const QStringList& arguments : {QStringList{"switch", "api", "sk-secret.value"}, {"check-key", "sk-secret.value"},
                                         {"switch", "api", "--key", "sk-secret.value"}, {"switch", "api", "--key=sk-secret.value"},
                                         {"switch", "api", "--key-file=sk-secret.value"}, {"backups", "restore", "sk-secret.value"}}) {
        const Outcome result = run(arguments);
        EXPECT_EQ(result.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.startsWith("不接受写在命令行参数里的 TEVRUN API")) << arguments.join(' ').toStdString();
        EXPECT_FALSE(result.err.contains("secret.value"));
    }
    const struct {
        QStringList arguments;
        std::optional<QByteArray> input; // none: standard input is a terminal
        QString environmentKey;
        std::function<void()> arrange;
        int status;
        QString err; // what standard error starts with; empty: nothing
        std::optional<QString> key{}; // in auth.json afterwards
        int inputError = 0;
    } steps[] = {
        {{"switch", "api"}, {}, {}, {}, 2, "没有拿到 TEVRUN API"},
        {{"switch", "api", "--key-file", temp.path("missing.txt")}, {}, {}, {}, 2, "无法读取“missing.txt”：文件或目录不存在。"},
        {{"switch", "api", "--key-file", temp.codexHome()}, {}, {}, {}, 2, "无法读取“.codex”：目标是一个目录。"},
        // Read no further than a key can be long.
        {{"switch", "api", "--key-file", "/dev/zero"}, {}, {}, {}, 2, "无法读取“zero”：内容超过 64 KiB"},
        {{"switch", "api"}, QByteArray(64 * 1024 + 1, 'k'), {}, {}, 2, "标准输入内容超过 64 KiB"},
        // Standard input that cannot be read is not taken for none: the environment's key may be another.
        {{"switch", "api"}, QByteArray(), "sk-from.env", {}, 2, "无法读取“标准输入”：目标是一个目录。", {}, EISDIR},
        {{"switch", "sideways"}, {}, {}, {}, 2, "switch 后面要接 api 或 account。"},
        {{"backups", "restore"}, {}, {}, {}, 2, "backups 后面要接"},
        {{"sideways"}, {}, {}, {}, 2, "未知的命令。"},
        {{"status", "extra"}, {}, {}, {}, 2, "参数过多。"},
        {{}, {}, {}, {}, 2, "缺少命令。"},
        {{"--frobnicate"}, {}, {}, {}, 2, "无法识别的选项"},
        {{"switch", "api"}, "pk-nope", {}, {}, 2, "TEVRUN API 必须以 sk- 开头。"}, // the engine's refusal
        {{"switch", "api"}, "sk-refused", {}, [this] { relay.enqueue({401, R"({"error":{"message":"令牌无效"}})"}); }, 1,
         "TEVRUN API 校验失败"},
        {{"switch", "account"}, {}, {}, [this] { workspace.startCodex(808); }, 3, "已检测到 Dock 里的 Codex 正在运行"},
        // Asked to, it quits Codex the way the window does and goes on.
        {{"check-key", "--quit-codex", "--key-file", temp.path("key.txt")}, {}, {}, [this] { workspace.quitEndsProcesses = true; }, 0, ""},
        {{"switch", "api", "--key-file", temp.path("key.txt")}, {}, {}, {}, 0, "", "sk-from.file"},
        {{"switch", "api"}, "  sk-from.stdin\n", {}, {}, 0, "", "sk-from.stdin"},
        {{"switch", "api"}, QByteArray(), "sk-from.env", {}, 0, "", "sk-from.env"},
        {{"repair", "api"}, {}, "sk-repaired", {}, 0, "", "sk-repaired"},
        {{"switch", "account"}, {}, {}, {}, 0, ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.arguments.join(' ').toStdString());
        if (step.arrange)
            step.arrange();
        const QMap<QString, QByteArray> before = snapshot();
        const size_t asked = relay.requests().size();
        const Outcome result = run(step.arguments, step.input, step.environmentKey, false, step.inputError);
        EXPECT_EQ(result.status, step.status);
        EXPECT_TRUE(step.err.isEmpty() ? result.err.isEmpty() : result.err.startsWith(step.err)) << result.err.toStdString();
        EXPECT_EQ(result.out.isEmpty(), step.status != 0); // the result goes to standard output
        if (step.status != 0) {
            EXPECT_EQ(snapshot(), before);
        }
        if (step.status == 2) {
            EXPECT_EQ(relay.requests().size(), asked);
        }
        if (step.key) {
            EXPECT_EQ(authJson(), Json({{"OPENAI_API_KEY", toUtf8(*step.key)}}));
        }
    }
    EXPECT_EQ(workspace.terminated, QList<qint32>{808});
    EXPECT_TRUE(authJson().contains("tokens"));
    EXPECT_EQ(workspace.openedApplications.size(), 4);
    EXPECT_EQ(run({"--help"}).status, 0);
}

TEST_F(CommandLineTest, BackupsAreListedVerifiedRestoredAndPrunedOnlyWhenAsked)
{
    makeAccountHome();
    ASSERT_EQ(run({"switch", "api"}, QByteArray("sk-first")).status, 0);
    ASSERT_EQ(run({"switch", "account"}).status, 0);
    const Json list = parseJson(run({"backups", "list", "--json"}).out.toUtf8()).value_or(Json());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]["kind"], "switch-api");
    EXPECT_GT(list[1]["size_bytes"].get<qint64>(), 0);
    EXPECT_TRUE(list[1]["contents"].is_string());
    const QString first = fromUtf8(list[1]["id"].get<std::string>());
    const QDateTime created = QDateTime::fromString(fromUtf8(list[1]["created_at"].get<std::string>()), Qt::ISODate);
    EXPECT_TRUE(run({"backups", "list"}).out.split('\n').value(1).startsWith(first + "  " + created.toString("yyyy-MM-dd HH:mm:ss")));

    const struct {
        QStringList arguments;
        int status;
    } steps[] = {
        {{"backups", "restore", "nothing-here"}, 2}, {{"backups", "prune"}, 2}, {{"backups", "prune", "--keep", "-1"}, 2},
        {{"backups", "verify", "nothing-here"}, 2},  {{"backups", "verify", first}, 0}, {{"backups", "restore", first}, 0},
        {{"backups", "prune", "--keep", "1"}, 0},
    };
    for (const auto& step : steps)
        EXPECT_EQ(run(step.arguments).status, step.status) << step.arguments.join(' ').toStdString();
    EXPECT_EQ(temp.read("auth.json"), accountAuth); // as it was before the first switch
    ASSERT_EQ(engine.listBackups().size(), 1u);
    const RestorePoint kept = engine.listBackups()[0];
    writeFileAt(kept.loginDirectory + "/config.toml", "model = \"altered\"\n");
    const Outcome damaged = run({"backups", "verify"});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.out, kept.id + "  已损坏：“config.toml”\n");
    workspace.startCodex(41);
    EXPECT_EQ(run({"backups", "restore", kept.id}).status, 3);
}

TEST_F(CommandLineTest, AKeyFileMayBeAPipe)
{
    const QString pipe = temp.path("key-pipe");
    temp.makeDirectory(QString());
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    std::thread writer([&pipe] {
        QFile end(pipe);
        if (end.open(QIODevice::WriteOnly))
            end.write("sk-from.pipe\n");
    });
    const Outcome result = run({"check-key", "--key-file", pipe});
    writer.join();
    EXPECT_EQ(result.status, 0);
    ASSERT_EQ(relay.requests().size(), 1u);
    EXPECT_EQ(relay.requests()[0].headers.value("authorization"), "Bearer sk-from.pipe");
}

TEST_F(CommandLineTest, ATerminalSeesOneUpdatingProgressLine)
{
    makeAccountHome();
    const Outcome result = run({"switch", "api"}, QByteArray("sk-key"), QString(), true);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.err.startsWith("\r\033[K正在切到 TEVRUN API...\r\033[K正在切到 TEVRUN API... 0/3"))
        << result.err.toStdString();
    EXPECT_TRUE(result.err.endsWith("正在切到 TEVRUN API... 3/3\r\033[K"));
    EXPECT_FALSE(result.err.contains('\n'));
}

TEST_F(CommandLineTest, StatusTellsWhatTheHomeIsSetTo)
{
    makeApiHome(QStringLiteral("sk-abcdefghijklmnop1234"));
    ASSERT_EQ(run({"repair", "api"}, QByteArray("sk-abcdefghijklmnop1234")).status, 0);
    workspace.startCodex(41);
    workspace.applications.push_back({42, "codex", "", "", "/usr/local/bin/codex"});
    const Outcome text = run({"status"});
    EXPECT_EQ(text.status, 0);
    const QStringList lines = text.out.split('\n');
    EXPECT_EQ(lines.value(1), "TEVRUN API：sk-abcd…1234");
    EXPECT_EQ(lines.value(3), "可见对话：tevrun 4 条");
    EXPECT_EQ(lines.value(4), "Codex：正在运行（pid 41 应用，pid 42 终端或编辑器）");
    EXPECT_FALSE(text.out.contains("efghijklmnop"));

    const Json json = parseJson(run({"status", "--json"}).out.toUtf8()).value_or(Json());
    EXPECT_EQ(json["mode"], "api");
    EXPECT_EQ(json["key"], "sk-abcd…1234");
    EXPECT_EQ(json["config_provider"], "tevrun");
    EXPECT_EQ(json["conversations"], Json({{"tevrun", 4}}));
    EXPECT_EQ(json["codex_running"], true);
    EXPECT_EQ(json["codex"], Json::parse(R"([{"pid":41,"kind":"app"},{"pid":42,"kind":"terminal"}])"));
    EXPECT_EQ(json["backups"]["count"], 1);
    EXPECT_GT(json["backups"]["size_bytes"].get<qint64>(), 0);
}

// doctor: 0 when healthy, 1 with every problem and its fix, as text or a JSON array.
TEST_F(CommandLineTest, DoctorListsEachProblemWithItsFix)
{
    makeAccountHome();
    const Outcome text = run({"doctor"});
    EXPECT_EQ(text.status, 1);
    EXPECT_TRUE(text.out.contains("  修复：morvane-cli repair account\n")) << text.out.toStdString();
    const Json problems = parseJson(run({"doctor", "--json"}).out.toUtf8()).value_or(Json());
    ASSERT_TRUE(problems.is_array() && problems.size() == 1u) << problems.dump();
    EXPECT_EQ(problems[0]["code"], "conversations-elsewhere");
    EXPECT_TRUE(problems[0]["message"].get<std::string>().find("1 条对话") != std::string::npos);
    EXPECT_EQ(problems[0]["fix"], "morvane-cli repair account");
    ASSERT_EQ(run({"repair", "account"}).status, 0); // the fix it named
    EXPECT_EQ(run({"doctor", "--json"}).out, "[]\n");
    EXPECT_EQ(run({"doctor"}).status, 0);
    EXPECT_EQ(run({"doctor", "extra"}).status, 2);
    EXPECT_EQ(run({"--version"}).out, "morvane-cli " MORVANE_VERSION "\n");

    // A home that cannot be read is no unconfigured one.
    QDir(temp.codexHome()).removeRecursively();
    writeFileAt(temp.codexHome(), "not a folder");
    const Outcome status = run({"status"});
    EXPECT_EQ(status.status, 1);
    EXPECT_TRUE(status.err.startsWith("无法读取“.codex”：")) << status.err.toStdString();
}

// The bash completion, made from the command table, offers what the table holds.
TEST(CommandLineCompletion, BashOffersTheCommandsTheirWordsAndTheOptions)
{
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

TEST_F(CommandLineTest, SavedKeysAreListedShortenedAndForgottenOneAtATime)
{
    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-first.key.0000001"));
    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-second.key.000002"));
    setModificationTime(*historyPathForKey(temp.home(), QStringLiteral("sk-first.key.0000001")),
                        QDateTime(QDate(2026, 11, 2), QTime(9, 30)));
    const Outcome listed = run({"keys", "list"});
    const QStringList lines = listed.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains("  sk-seco…0002  ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith("  sk-firs…0001  2026-11-02 09:30")) << lines[1].toStdString();
    EXPECT_FALSE(listed.out.contains("key.000"));
    const Json json = parseJson(run({"keys", "list", "--json"}).out.toUtf8()).value_or(Json());
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[1]["key"], "sk-firs…0001");
    const QString id = fromUtf8(json[1]["id"].get<std::string>());

    for (const char* unknown : {"api-key-unknown", "../../auth"})
        EXPECT_EQ(run({"keys", "forget", unknown}).status, 2);
    EXPECT_EQ(run({"keys", "forget", id}).status, 0);
    ASSERT_EQ(engine.savedKeys().size(), 1u);
    EXPECT_EQ(engine.savedKeys()[0].apiKey, QStringLiteral("sk-second.key.000002"));
}

// Two real processes on one home: the one that comes second while the first writes is
// turned away, and the first one finishes the switch alone. A start after a workflow that
// was cut off puts it back first, even for a command that only reads.
TEST_F(CommandLineTest, RealProcessesTakeTurnsAndPutBackWhatWasCutOff)
{
    makeApiHome("sk-before");
    recordAccountProfile();
    for (int i = 0; i < 300; ++i)
        builder.addThread(threadSpec(QStringLiteral("t-more-%1").arg(i), "tevrun", 1'780'000'000 + i));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", temp.userHome());
    QProcess first;
    QProcess second;
    first.setProcessEnvironment(environment);
    second.setProcessEnvironment(environment);

    first.start(MORVANE_CLI, {"switch", "account"});
    ASSERT_TRUE(first.waitForStarted());
    // Held still while it writes: its journal shows that it holds the home.
    QElapsedTimer waited;
    waited.start();
    while (!hasJournal(temp.home()) && first.state() == QProcess::Running && waited.elapsed() < 20000)
        QThread::usleep(100);
    ASSERT_EQ(::kill(pid_t(first.processId()), SIGSTOP), 0) << "the switch ended before it was seen writing";
    second.start(MORVANE_CLI, {"repair", "account"});
    ASSERT_TRUE(second.waitForFinished(10000));
    ::kill(pid_t(first.processId()), SIGCONT);
    ASSERT_TRUE(first.waitForFinished(20000));

    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(QString::fromUtf8(second.readAllStandardError()), "另一个 Morvane 正在修改 Codex 配置，请等它完成后再试。\n");
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    for (const IndexRow& row : builder.indexRows())
        EXPECT_EQ(row.provider, QString(row.archived ? "tevrun" : "openai")) << row.id.toStdString();

    // The switch as if cut off just before it was done: status puts it back and says so.
    ASSERT_TRUE(writeJournal(temp.home(), {"switch-account", engine.listBackups()[0].id, {}}));
    first.start(MORVANE_CLI, {"status", "--json"});
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(first.readAllStandardError()), "上次的操作没有完成，已恢复到开始前的状态。\n");
    EXPECT_EQ(parseJson(first.readAllStandardOutput()).value_or(Json())["mode"], "api");
    EXPECT_EQ(providerOf("t-more-7"), QStringLiteral("tevrun"));
}
