#include "config/config_text.h"
#include "core/files/file_io.h"
#include "history/key_history.h"
#include "storage/journal.h"
#include "wording/health_wording.h"
#include "workflows/health_check.h"
#include "workflows/workflow_fixture.h"
#include "support/named_cases.h"

#include <QDir>
#include <QFile>

namespace {

struct Found {
    QString code;
    HealthFix fix = HealthFix::None;
    QString path = {};
    bool operator==(const Found&) const = default;
};
using Problems = std::vector<Found>;

void makeReadableByOthers(const QString& path)
{
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadGroup | QFile::ReadOther);
}

QString savedKeyFile(const WorkflowTest& t)
{
    return historyPathForKey(t.temp.home(), QStringLiteral("sk-healthy")).value_or(QString());
}
QString accountProfile(const WorkflowTest& t) { return t.temp.home().profilePath("account"); }

void appendLines(const QString& path, const QList<QByteArray>& lines) { writeFileAt(path, readFileAt(path) + "\n" + lines.join('\n')); }
QByteArray settingsOf(const QByteArray& provider) { return R"({"type":"event_msg","payload":{"type":"thread_settings_applied","thread_settings":{"model_provider_id":")" + provider + R"("}}})"; }
const QByteArray sealedReasoning = R"({"type":"response_item","payload":{"type":"reasoning","summary":[],"encrypted_content":"sealed"}})";

// A home after a switch is healthy; each way of breaking it is found and named with its fix.
struct HealthCase {
    const char* name;
    std::function<void(WorkflowTest&)> breakIt;
    Problems expected;
};

const HealthCase rows[] = {
    {"healthy", [](WorkflowTest&) {}, {}},
    {"config on the account's provider",
     [](WorkflowTest& t) { t.temp.write("config.toml", "model_provider = \"openai\"\n"); },
     {{"mode-mismatch", HealthFix::RepairApi}, {"conversations-elsewhere", HealthFix::MoveConversations}}},
    {"a relay provider Codex sends no key to",
     [](WorkflowTest& t) {
         t.temp.write("config.toml", QByteArray(cleanApiConfig().toUtf8()).replace("requires_openai_auth = true\n", ""));
     },
     {{"key-not-sent", HealthFix::RepairApi}}},
    {"account login with the relay's provider",
     [](WorkflowTest& t) {
         t.temp.write("auth.json", WorkflowTest::accountAuth);
         QFile::setPermissions(t.temp.path("auth.json"), QFile::ReadOwner | QFile::WriteOwner);
     },
     {{"mode-mismatch", HealthFix::RepairAccount}}},
    {"the relay's provider with neither a key nor an account", [](WorkflowTest& t) { t.temp.write("auth.json", "{}"); },
     {}},
    {"a row on another provider",
     [](WorkflowTest& t) { t.builder.execute("UPDATE threads SET model_provider = 'azure' WHERE id = 't-a'"); },
     {{"conversations-elsewhere", HealthFix::MoveConversations}}},
    {"a file resumed on another provider than its row", [](WorkflowTest& t) { appendLines(t.rolloutOf("t-a"), {settingsOf("openai")}); },
     {{"rollout-provider-mismatch", HealthFix::MoveConversations}}},
    {"a rollout file gone", [](WorkflowTest& t) { QFile::remove(t.rolloutOf("t-b")); },
     {{"rollout-missing", HealthFix::ListBackups}}},
    {"a broken thread index", [](WorkflowTest& t) { t.temp.write("state_5.sqlite", QByteArray(4096, 'x')); },
     {{"thread-index-unreadable"}}},
    {"an interrupted workflow",
     [](WorkflowTest& t) { writeJournal(t.temp.home(), {"switch-api", t.engine.listBackups()[0].id, {}}); },
     {{"interrupted-workflow", HealthFix::PutBackCutOff}}},
    {"a staging file", [](WorkflowTest& t) { t.temp.write(".config.toml.morvane-0123456789ab", "half"); },
     {{"staging-files", HealthFix::PutBackCutOff}}},
    {"a damaged backup",
     [](WorkflowTest& t) { writeFileAt(t.engine.listBackups()[0].loginDirectory + "/auth.json", "{}"); },
     {{"backup-damaged"}}},
    {"auth.json readable by others", [](WorkflowTest& t) { makeReadableByOthers(t.temp.path("auth.json")); },
     {{"auth-not-private", HealthFix::MakeFilePrivate, "AUTH"}}},
    // A profile's own profile.json holds no key.
    {"the last key, the saved keys and a profile's login readable by others",
     [](WorkflowTest& t) {
         for (const QString& path : {t.temp.path("auth_tevrun_last.json"), t.temp.home().historyRootPath(), savedKeyFile(t),
                                     accountProfile(t) + "/auth.json", accountProfile(t) + "/profile.json"})
             makeReadableByOthers(path);
     },
     {{"key-file-readable", HealthFix::MakeFilePrivate, "LAST"}, {"key-file-readable", HealthFix::MakeFolderPrivate, "HISTORY"},
      {"key-file-readable", HealthFix::MakeFilePrivate, "KEY"}, {"key-file-readable", HealthFix::MakeFilePrivate, "PROFILE/auth.json"}}},
    {"a profile file of the account's provider, and a profile Codex no longer takes",
     [](WorkflowTest& t) { t.temp.write("work.config.toml", "model_provider = \"openai\"\n"); t.temp.write("config.toml", "profile = \"work\"\n" + t.temp.read("config.toml")); },
     {{"legacy-profile"}, {"profile-provider-mismatch", HealthFix::RepairApi}}},
    {"a last turn the relay refused for sealed reasoning",
     [](WorkflowTest& t) { appendLines(t.rolloutOf("t-a"), {sealedReasoning, R"({"type":"response_item","payload":{"type":7,"role":"assistant"}})",
                                                            R"({"type":"event_msg","payload":{"type":"error",)"
                                                                 R"("message":"{\"code\":\"invalid_encrypted_content\"}"}})"}); },
     {{"sealed-content-refused", HealthFix::MoveConversations}}},
    {"sealed reasoning another tool moved from the account",
     [](WorkflowTest& t) { appendLines(t.rolloutOf("t-a"), {settingsOf("openai"), sealedReasoning, settingsOf("tevrun")}); },
     {{"rollout-provider-mismatch", HealthFix::MoveConversations}, {"sealed-content-refused", HealthFix::MoveConversations}}},
    {"Codex running", [](WorkflowTest& t) { t.workspace.startCodex(12); }, {{"codex-running"}}},
    // Then nothing else is looked at.
    {"a file where the home should be",
     [](WorkflowTest& t) {
         QDir(t.temp.codexHome()).removeRecursively();
         writeFileAt(t.temp.codexHome(), "not a folder");
     },
     {{"home-unreadable"}}},
};

} // namespace

class HealthCheck : public WorkflowTest, public ::testing::WithParamInterface<HealthCase> {};

TEST_P(HealthCheck, NamesEachProblemWithTheCommandThatMendsIt)
{
    const HealthCase& row = GetParam();
    makeAccountHome();
    ASSERT_EQ(engine.switchToApi(QStringLiteral("sk-healthy")).outcome, WorkflowResult::Outcome::Done);
    row.breakIt(*this);
    Problems found;
    for (const HealthProblem& problem : checkHealth(temp.home(), workspace)) {
        // Each text names what it is about: its count, its providers, its file.
        const QString text = healthProblemText(problem);
        EXPECT_FALSE(text.isEmpty());
        for (const QString& value : {problem.count > 0 ? QString::number(problem.count) : QString(), problem.provider,
                                     problem.otherProvider, problem.name})
            EXPECT_TRUE(text.contains(value)) << problem.code.toStdString() << ": " << text.toStdString();
        found.push_back({problem.code, problem.fix, problem.path});
    }
    Problems expected = row.expected;
    for (Found& problem : expected) {
        problem.path.replace("AUTH", temp.path("auth.json"))
            .replace("HISTORY", temp.home().historyRootPath())
            .replace("LAST", temp.path("auth_tevrun_last.json"))
            .replace("KEY", savedKeyFile(*this))
            .replace("PROFILE", accountProfile(*this));
    }
    EXPECT_EQ(found, expected);
}

INSTANTIATE_TEST_SUITE_P(Workflows, HealthCheck, ::testing::ValuesIn(rows), CaseName());
