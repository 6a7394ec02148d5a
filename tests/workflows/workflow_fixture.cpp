#include "workflows/workflow_fixture.h"

#include "config/config_writers.h"

#include <QRegularExpression>

const QByteArray WorkflowTest::accountAuth =
    R"({"OPENAI_API_KEY": null, "tokens": {"id_token": "eyJhbGciOi.id", "access_token": "eyJhbGciOi.access", "refresh_token": "rt_5f0c2d1", "account_id": "acc-019e763f"}, "last_refresh": "2026-11-30T08:12:44.123Z"})";

const QByteArray WorkflowTest::userConfig =
    "model = \"gpt-5.5\"\nmodel_reasoning_effort = \"high\"\n# my own settings\napproval_policy = \"on-request\"\n\n"
    "[mcp_servers.files]\ncommand = \"npx\"\nargs = [\"-y\", \"@modelcontextprotocol/server-filesystem\", \"/home/user/work\"]\n\n"
    "[projects.\"/home/user/work/repo\"]\ntrust_level = \"trusted\"\n";

namespace {

ThreadSpec spec(const QString& id, const QString& provider, qint64 updatedAt, bool archived = false)
{
    ThreadSpec thread = threadSpec(id, provider, updatedAt, archived);
    thread.rollout.approximateSize = 64 * 1024;
    thread.rollout.sealedItems = true;
    thread.rollout.compacted = true;
    return thread;
}

void addConversations(const CodexHomeBuilder& builder, const QString& visibleProvider)
{
    builder.createThreadIndex();
    builder.addThread(spec("t-a", visibleProvider, 1'780'000'300));
    builder.addThread(spec("t-b", visibleProvider, 1'780'000'200));
    builder.addThread(spec("t-c", visibleProvider, 1'780'000'100));
    builder.addThread(spec("t-archived", visibleProvider, 1'780'000'050, true));
    builder.addThread(spec("t-moved", visibleProvider == "tevrun" ? "openai" : "tevrun", 1'780'000'000));
}

} // namespace

WorkflowTest::WorkflowTest()
{
    QObject::connect(&engine, &Workflows::progress, [this](WorkflowTask task, qint64 done, qint64 total) {
        progress << QStringLiteral("%1 %2/%3").arg(taskText(task)).arg(done).arg(total);
    });
}

void expectResult(const WorkflowResult& result, WorkflowResult::Outcome outcome, const QString& message)
{
    EXPECT_EQ(outcomeText(result), message);
    EXPECT_EQ(int(result.outcome), int(outcome)) << outcomeText(result).toStdString();
    const bool green = toneOf(result) == StatusTone::Success || toneOf(result) == StatusTone::Ready;
    EXPECT_EQ(green, outcome == WorkflowResult::Outcome::Done);
}

void WorkflowTest::makeAccountHome()
{
    temp.write("auth.json", accountAuth);
    QFile::setPermissions(temp.path("auth.json"), QFile::ReadOwner | QFile::WriteOwner);
    temp.write("config.toml", userConfig);
    temp.write(".codex-global-state.json", R"({"theme":"light"})");
    temp.write("models_cache.json", R"({"models":["gpt-5.5"]})");
    temp.write("session_index.jsonl", "{\"id\":\"t-a\"}\n");
    addConversations(builder, "openai");
}

void WorkflowTest::makeApiHome(const QString& key)
{
    ASSERT_TRUE(writeCleanApiConfigWithKey(temp.home(), key));
    addConversations(builder, "tevrun");
}

void WorkflowTest::recordAccountProfile(const QByteArray& config) const
{
    writeFileAt(temp.home().profilePath("account") + "/auth.json", accountAuth);
    writeFileAt(temp.home().profilePath("account") + "/config.toml", config);
}

QStringList WorkflowTest::backupsOfKind(const QString& kind) const
{
    const QRegularExpression name(QStringLiteral("^") + QRegularExpression::escape(kind) + QStringLiteral("-\\d{8}-\\d{6}(-\\d+)?$"));
    QStringList found;
    for (const QString& entry : entriesOf(temp.home().backupsPath())) {
        if (name.match(entry).hasMatch())
            found << temp.home().backupsPath() + QLatin1Char('/') + entry;
    }
    return found;
}

QString WorkflowTest::onlyBackupOfKind(const QString& kind) const
{
    const QStringList found = backupsOfKind(kind);
    EXPECT_EQ(found.size(), 1) << kind.toStdString();
    return found.value(0);
}

QString WorkflowTest::rolloutOf(const QString& id) const
{
    for (const IndexRow& row : builder.indexRows()) {
        if (row.id == id)
            return row.rolloutPath.value_or(QString());
    }
    return QString();
}

QByteArray WorkflowTest::firstLineOf(const QString& id) const
{
    const QByteArray content = readFileAt(rolloutOf(id));
    return content.left(content.indexOf('\n'));
}

QMap<QString, QByteArray> WorkflowTest::snapshot() const
{
    std::map<QString, QByteArray> files = filesUnder(temp.userHome());
    files.erase(".codex/morvane/lock"); // made by the first writer, empty for good
    return QMap<QString, QByteArray>(files);
}
