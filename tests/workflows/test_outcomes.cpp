#include "config/config_document.h"
#include "config/config_text.h"
#include "history/key_history.h"
#include "support/named_cases.h"
#include "workflows/workflow_fixture.h"

#include <QFileInfo>

using Outcome = WorkflowResult::Outcome;

namespace {

using Snapshot = QMap<QString, QByteArray>;

QByteArray accountProfileAuth(const WorkflowTest& t)
{
    return readFileAt(t.temp.home().profilePath("account") + "/auth.json");
}

// Every conversation, archived ones too: brought back, Codex lists them on that provider.
void expectAllOn(const WorkflowTest& t, const QString& provider)
{
    for (const IndexRow& row : t.builder.indexRows()) {
        EXPECT_EQ(row.provider, provider) << row.id.toStdString();
        EXPECT_EQ(t.firstLineOf(row.id), sessionMetaLine(row.id, provider)) << row.id.toStdString();
    }
}

} // namespace

// Each workflow that succeeds, from the home it starts on: its message, what the window
// shows next, and what it leaves in the files.
namespace {

struct DoneCase {
    const char* name;
    std::function<void(WorkflowTest&)> arrange;
    std::function<WorkflowResult(WorkflowTest&)> call;
    QString message; // empty: composed from ids, checked in check
    std::optional<SwitchMode> pill;
    bool opensCodex;
    std::optional<QString> keyInUse; // what the key field shows next; nothing: it stays as it is
    std::function<void(WorkflowTest&, const WorkflowResult&, const Snapshot& before)> check;
};

const DoneCase doneCases[] = {
    {"switch from the account login", [](WorkflowTest& t) { t.makeAccountHome(); },
     [](WorkflowTest& t) { return t.engine.switchToApi("  sk-live.Key_1  "); },
     "已切到 TEVRUN API，GPT 账号 登陆状态已自动记录。 已同步 3 条对话记录。其中 3 条对话去掉了只有原来的登录方式才能读的推理记录。正在打开 Codex。",
     ModeApi, true, "sk-live.Key_1",
     [](WorkflowTest& t, const WorkflowResult&, const Snapshot&) {
         // The busy text first, then the visible conversations' files counted up.
         EXPECT_EQ(t.progress, (QStringList{"正在切到 TEVRUN API... 0/0", "正在切到 TEVRUN API... 0/5", "正在切到 TEVRUN API... 1/5",
                                            "正在切到 TEVRUN API... 2/5", "正在切到 TEVRUN API... 3/5", "正在切到 TEVRUN API... 4/5",
                                            "正在切到 TEVRUN API... 5/5"}));
         ASSERT_EQ(t.relay.requests().size(), 1u);
         EXPECT_EQ(t.relay.requests()[0].headers.value("authorization"), "Bearer sk-live.Key_1");
         EXPECT_EQ(t.authJson(), Json({{"OPENAI_API_KEY", "sk-live.Key_1"}}));
         EXPECT_EQ(modeOf(t.temp.path("auth.json")), 0600u);
         EXPECT_EQ(t.temp.read("auth_tevrun_last.json"), t.temp.read("auth.json"));
         // The user's own settings stay beside the relay's.
         const QString config = QString::fromUtf8(t.temp.read("config.toml"));
         EXPECT_EQ(topLevelConfigValue("model_provider", config), QStringLiteral("tevrun"));
         EXPECT_EQ(tableConfigValue("mcp_servers.files", "command", config), QStringLiteral("npx"));
         EXPECT_EQ(latestHistoricalApiKey(t.temp.home()), QStringLiteral("sk-live.Key_1"));
         // The backup holds the account login as it was; the profiles are the login to
         // come back to and the new API state.
         const QString backup = t.onlyBackupOfKind("switch-api");
         EXPECT_EQ(entriesOf(backup), (QStringList{".codex-global-state.json", "auth.json", "backup-info.json", "config.toml",
                                                   "models_cache.json"}));
         EXPECT_EQ(readFileAt(backup + "/auth.json"), WorkflowTest::accountAuth);
         EXPECT_EQ(readFileAt(backup + "/config.toml"), WorkflowTest::userConfig);
         EXPECT_EQ(t.backupsOfKind("switch-api-provider").size(), 1);
         EXPECT_EQ(accountProfileAuth(t), WorkflowTest::accountAuth);
         EXPECT_EQ(readFileAt(t.temp.home().profilePath("account") + "/config.toml"), WorkflowTest::userConfig);
         EXPECT_EQ(entriesOf(t.temp.home().profilePath("api")),
                   (QStringList{"auth.json", "auth_tevrun_last.json", "config.toml", "profile.json"}));
         expectAllOn(t, "tevrun");
         EXPECT_TRUE(t.workspace.openedApplications.isEmpty()); // the caller opens Codex
     }},
    {"switch again: only the key changes",
     [](WorkflowTest& t) {
         t.makeAccountHome();
         ASSERT_EQ(t.engine.switchToApi("sk-first").outcome, Outcome::Done);
     },
     [](WorkflowTest& t) { return t.engine.switchToApi("sk-second"); }, "已切到 TEVRUN API。正在打开 Codex。", ModeApi, true, "sk-second",
     [](WorkflowTest& t, const WorkflowResult&, const Snapshot&) {
         EXPECT_EQ(t.authJson(), Json({{"OPENAI_API_KEY", "sk-second"}}));
         EXPECT_EQ(accountProfileAuth(t), WorkflowTest::accountAuth);
         EXPECT_EQ(t.backupsOfKind("switch-api").size(), 2);
         EXPECT_EQ(t.backupsOfKind("switch-api-provider").size(), 1);
         EXPECT_EQ(historyItems(t.temp.home()).size(), 2u);
     }},
    {"switch an unconfigured home", [](WorkflowTest&) {}, [](WorkflowTest& t) { return t.engine.switchToApi("sk-new"); },
     "已切到 TEVRUN API。正在打开 Codex。", ModeApi, true, "sk-new",
     [](WorkflowTest& t, const WorkflowResult&, const Snapshot&) {
         EXPECT_FALSE(QFileInfo::exists(t.temp.home().profilePath("account")));
         const ConfigDocument config(t.temp.read("config.toml"));
         EXPECT_EQ(config.provider(), "tevrun");
         EXPECT_EQ(config.value(tevrunTable, "requires_openai_auth"), "true"); // else Codex sends no key
     }},
    {"switch back to the recorded login",
     [](WorkflowTest& t) {
         t.makeAccountHome();
         ASSERT_EQ(t.engine.switchToApi("sk-roundtrip").outcome, Outcome::Done);
         t.progress.clear();
     },
     [](WorkflowTest& t) { return t.engine.switchToAccount(); },
     "已切回 GPT 账号 登陆。 已同步 4 条对话记录。其中 1 条对话去掉了只有原来的登录方式才能读的推理记录。正在打开 Codex。", ModeAccount, true, std::nullopt,
     [](WorkflowTest& t, const WorkflowResult&, const Snapshot&) {
         EXPECT_EQ(t.progress.last(), QStringLiteral("正在切回 GPT 账号 登陆... 5/5"));
         EXPECT_EQ(t.temp.read("auth.json"), WorkflowTest::accountAuth);
         EXPECT_EQ(modeOf(t.temp.path("auth.json")), 0600u);
         EXPECT_EQ(t.temp.read("config.toml"), WorkflowTest::userConfig);
         EXPECT_EQ(t.backupsOfKind("switch-account").size(), 1);
         EXPECT_EQ(t.backupsOfKind("switch-account-provider").size(), 1);
         expectAllOn(t, "openai"); // Codex lists them all again
     }},
    {"switch back to a login on its own provider",
     [](WorkflowTest& t) {
         t.makeApiHome("sk-current");
         t.recordAccountProfile("model_provider = \"azure\" # work\n");
     },
     [](WorkflowTest& t) { return t.engine.switchToAccount(); },
     "已切回 GPT 账号 登陆。 已同步 4 条对话记录。其中 4 条对话去掉了只有原来的登录方式才能读的推理记录。正在打开 Codex。", ModeAccount, true, std::nullopt,
     [](WorkflowTest& t, const WorkflowResult&, const Snapshot&) {
         expectAllOn(t, "azure");
         expectResult(t.engine.switchToAccount(), Outcome::Done, "已切回 GPT 账号 登陆。正在打开 Codex。");
         EXPECT_EQ(t.backupsOfKind("switch-account-provider").size(), 1);
     }},
    {"an account login without profile is recorded, Codex untouched", [](WorkflowTest& t) { t.makeAccountHome(); },
     [](WorkflowTest& t) { return t.engine.switchToAccount(); }, "当前已经是 GPT 账号 登陆，已自动记录好后续切换需要的状态。",
     ModeAccount, false, std::nullopt,
     [](WorkflowTest& t, const WorkflowResult& result, const Snapshot& before) {
         EXPECT_EQ(toneOf(result), StatusTone::Ready);
         EXPECT_TRUE(t.progress.isEmpty()); // nothing that takes time
         EXPECT_FALSE(QFileInfo::exists(t.temp.home().backupsPath()));
         EXPECT_EQ(accountProfileAuth(t), WorkflowTest::accountAuth);
         Snapshot after = t.snapshot();
         after.removeIf([](const auto& file) { return file.key().contains("/morvane/"); });
         EXPECT_EQ(after, before);
     }},
    {"a fresh login", [](WorkflowTest& t) { t.makeApiHome("sk-old"); }, [](WorkflowTest& t) { return t.engine.switchToAccount(); },
     "已设置为 GPT 账号 登陆。 已同步 3 条对话记录。其中 3 条对话去掉了只有原来的登录方式才能读的推理记录。正在打开 Codex。请按提示登陆账号。", ModeAccount, true, std::nullopt,
     [](WorkflowTest& t, const WorkflowResult&, const Snapshot&) {
         EXPECT_EQ(t.authJson(), Json::object());
         const ConfigDocument config(t.temp.read("config.toml"));
         EXPECT_FALSE(config.provider() || config.namesRelay() || config.topLevelValue("disable_response_storage"));
         EXPECT_EQ(config.topLevelValue("preferred_auth_method"), "device_code");
         EXPECT_EQ(config.topLevelValue("model"), "gpt-5.5"); // the user's own settings stay
         EXPECT_EQ(parseJson(t.temp.read("auth_tevrun_last.json")).value_or(Json()), Json({{"OPENAI_API_KEY", "sk-old"}}));
         EXPECT_EQ(t.backupsOfKind("fresh-account").size(), 1);
         EXPECT_EQ(t.backupsOfKind("fresh-account-provider").size(), 1);
         expectAllOn(t, "openai");
         EXPECT_FALSE(QFileInfo::exists(t.temp.home().profilePath("account")));
     }},
    {"repair for the API with a diagnosis",
     [](WorkflowTest& t) {
         t.makeAccountHome();
         t.temp.write("config.toml", "model_provider = \"tevrun\"\nbearer = \"sk-leaked.secret\"\n");
         t.relay.enqueue({200, "{}"});
         t.relay.enqueue({200, R"({"output_text":"缺少 TEVRUN provider 表\n和 base_url"})"});
     },
     [](WorkflowTest& t) { return t.engine.repair(ModeApi, " sk-repair "); },
     "AI 诊断：缺少 TEVRUN provider 表 和 base_url 已按标准模板修复。 已同步 3 条对话记录。其中 3 条对话去掉了只有原来的登录方式才能读的推理记录。", ModeApi, false, "sk-repair",
     [](WorkflowTest& t, const WorkflowResult&, const Snapshot&) {
         EXPECT_EQ(t.progress.value(0), QStringLiteral("正在修复配置... 0/0"));
         // The diagnosis saw the configuration before the repair, with the key masked.
         ASSERT_EQ(t.relay.requests().size(), 2u);
         const QString input = fromUtf8(parseJson(t.relay.requests()[1].body).value_or(Json())["input"].get<std::string>());
         EXPECT_TRUE(input.contains("bearer = \"sk-***\"") && !input.contains("leaked")) << input.toStdString();
         EXPECT_EQ(t.authJson(), Json({{"OPENAI_API_KEY", "sk-repair"}}));
         EXPECT_EQ(latestHistoricalApiKey(t.temp.home()), QStringLiteral("sk-repair"));
         EXPECT_EQ(t.backupsOfKind("repair-config").size(), 1);
         EXPECT_EQ(t.backupsOfKind("repair-provider").size(), 1);
         EXPECT_TRUE(QFileInfo::exists(t.temp.home().profilePath("api") + "/auth.json"));
         expectAllOn(t, "tevrun");
     }},
    // Any mode but the account login repairs for the API.
    {"repair for the API without a diagnosis, one conversation to move",
     [](WorkflowTest& t) {
         t.builder.createThreadIndex();
         t.builder.addThread(threadSpec("t-one", "openai", 1'780'000'000));
         t.relay.enqueue({200, "{}"});
         t.relay.enqueue({500, "{}"});
     },
     [](WorkflowTest& t) { return t.engine.repair(ModeUnconfigured, "sk-repair"); },
     "TEVRUN API 已校验通过，配置已按标准模板修复。 已同步 1 条对话记录。", ModeApi, false, "sk-repair",
     [](WorkflowTest&, const WorkflowResult&, const Snapshot&) {}},
    {"repair for the account: the login line, the key remembered", [](WorkflowTest& t) { t.makeApiHome("sk-in-auth"); },
     [](WorkflowTest& t) { return t.engine.repair(ModeAccount, "sk-ignored"); },
     "GPT 账号 登陆配置已按标准模板修复。 已同步 3 条对话记录。其中 3 条对话去掉了只有原来的登录方式才能读的推理记录。现在可以重新打开 Codex 登陆。", ModeUnconfigured, false, "sk-in-auth",
     [](WorkflowTest& t, const WorkflowResult&, const Snapshot&) {
         EXPECT_EQ(t.temp.read("config.toml"), "preferred_auth_method = \"device_code\"\n");
         EXPECT_EQ(t.authJson(), Json::object());
         EXPECT_EQ(latestHistoricalApiKey(t.temp.home()), QStringLiteral("sk-in-auth"));
         EXPECT_TRUE(t.relay.requests().empty());
         expectAllOn(t, "openai");
     }},
    {"repair for the account with no key to remember, from an auth.json holding no object",
     [](WorkflowTest& t) { t.makeAccountHome(); t.temp.write("auth.json", "[]"); },
     [](WorkflowTest& t) { return t.engine.repair(ModeAccount, QString()); },
     "GPT 账号 登陆配置已按标准模板修复。 已同步 1 条对话记录。其中 1 条对话去掉了只有原来的登录方式才能读的推理记录。现在可以重新打开 Codex 登陆。", ModeUnconfigured, false, std::nullopt,
     [](WorkflowTest& t, const WorkflowResult&, const Snapshot&) { EXPECT_TRUE(historyItems(t.temp.home()).empty()); }},
    {"a key check remembers the key and touches nothing of Codex", [](WorkflowTest& t) { t.makeAccountHome(); },
     [](WorkflowTest& t) { return t.engine.checkKey(" sk-checked "); }, "TEVRUN API 可用，可以切换或修复配置。", std::nullopt, false,
     "sk-checked",
     [](WorkflowTest& t, const WorkflowResult&, const Snapshot& before) {
         EXPECT_EQ(t.progress, QStringList{"正在检查 TEVRUN API... 0/0"});
         EXPECT_EQ(latestHistoricalApiKey(t.temp.home()), QStringLiteral("sk-checked"));
         Snapshot after = t.snapshot();
         after.removeIf([](const auto& file) { return file.key().contains("/api-key-history/"); });
         EXPECT_EQ(after, before);
     }},
    {"a restore shows the restored key and mode",
     [](WorkflowTest& t) {
         t.makeAccountHome();
         ASSERT_EQ(t.engine.switchToApi("sk-first").outcome, Outcome::Done);
         t.relay.enqueue({200, "{}"});
         ASSERT_EQ(t.engine.repair(ModeApi, "sk-second").outcome, Outcome::Done);
     },
     [](WorkflowTest& t) { return t.engine.restoreBackup(t.engine.listBackups()[0].id); }, {}, ModeApi, false, "sk-first",
     [](WorkflowTest& t, const WorkflowResult&, const Snapshot&) {
         EXPECT_EQ(t.authJson(), Json({{"OPENAI_API_KEY", "sk-first"}}));
     }},
};

} // namespace

class WorkflowDone : public WorkflowTest, public ::testing::WithParamInterface<DoneCase> {};

TEST_P(WorkflowDone, EndsWithItsMessageAndItsFiles)
{
    const DoneCase& row = GetParam();
    row.arrange(*this);
    const Snapshot before = snapshot();
    const WorkflowResult result = row.call(*this);
    expectResult(result, Outcome::Done, row.message.isEmpty() ? outcomeText(result) : row.message);
    EXPECT_EQ(result.modeNow, row.pill);
    EXPECT_EQ(result.openCodex, row.opensCodex);
    EXPECT_EQ(result.keyInUse, row.keyInUse);
    row.check(*this, result, before);
}

INSTANTIATE_TEST_SUITE_P(Workflows, WorkflowDone, ::testing::ValuesIn(doneCases), CaseName());

// Refusals come before any work: a malformed key, or Codex running. Nothing is asked of the
// relay and nothing changes.
TEST_F(WorkflowTest, RefusalsComeBeforeAnyWork)
{
    makeAccountHome();
    recordAccountProfile();
    const QMap<QString, QByteArray> before = snapshot();
    for (const WorkflowResult& result :
         {engine.switchToApi(QString()), engine.switchToApi(QStringLiteral("ak-wrong")), engine.switchToApi(QStringLiteral("sk-has space")),
          engine.checkKey(QStringLiteral("sk-")), engine.repair(ModeApi, QString()), engine.repair(ModeUnconfigured, QStringLiteral("key"))}) {
        EXPECT_EQ(int(result.outcome), int(Outcome::Refused)) << outcomeText(result).toStdString();
        EXPECT_EQ(toneOf(result), StatusTone::Failure);
    }
    EXPECT_TRUE(progress.isEmpty());
    workspace.startCodex(808);
    for (const WorkflowResult& result :
         {engine.switchToApi(QStringLiteral("sk-key")), engine.switchToAccount(), engine.checkKey(QStringLiteral("sk-key")),
          engine.repair(ModeApi, QStringLiteral("sk-key")), engine.repair(ModeAccount, QString())}) {
        expectResult(result, Outcome::CodexRunning, QString());
        EXPECT_EQ(result.codex, (std::vector<CodexProcess>{{808, CodexKind::App}}));
        EXPECT_FALSE(result.openCodex);
    }
    EXPECT_TRUE(relay.requests().empty());
    EXPECT_EQ(snapshot(), before);

    // Nor when Codex starts while the relay checks the key: the look after the answer stops
    // the work before any write.
    workspace.stopAll();
    workspace.onListing = [this](int listing) {
        if (listing % 2 == 0)
            workspace.startCodex(4242);
        else
            workspace.stopAll();
    };
    for (const WorkflowResult& result : {engine.switchToApi(QStringLiteral("sk-key")), engine.repair(ModeApi, QStringLiteral("sk-key"))})
        EXPECT_EQ(result.outcome, Outcome::CodexRunning);
    EXPECT_EQ(relay.requests().size(), 3u); // both keys checked, the repair's diagnosis asked
    EXPECT_EQ(snapshot(), before);
}
