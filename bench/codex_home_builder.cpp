#include "bench/codex_home_builder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fixtureFailure(const QString& what)
{
    std::fprintf(stderr, "fixture: %s\n", qPrintable(what));
    std::abort();
}

struct Database {
    sqlite3* db = nullptr;
    explicit Database(const QString& path)
    {
        if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
            fixtureFailure(QStringLiteral("cannot open ") + path);
    }
    ~Database() { sqlite3_close(db); }
    void execute(const QString& sql) const
    {
        char* message = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK)
            fixtureFailure(QString::fromUtf8(message ? message : "sqlite error") + QStringLiteral(": ") + sql);
    }
};

const char* const createThreadsSQL = R"(CREATE TABLE threads (
    id TEXT PRIMARY KEY,
    rollout_path TEXT NOT NULL,
    created_at INTEGER NOT NULL,
    updated_at INTEGER NOT NULL,
    source TEXT NOT NULL,
    model_provider TEXT NOT NULL,
    cwd TEXT NOT NULL,
    title TEXT NOT NULL,
    sandbox_policy TEXT NOT NULL,
    approval_mode TEXT NOT NULL,
    tokens_used INTEGER NOT NULL DEFAULT 0,
    archived INTEGER NOT NULL DEFAULT 0,
    archived_at INTEGER,
    git_sha TEXT,
    git_branch TEXT,
    git_origin_url TEXT
);
CREATE INDEX idx_threads_created_at ON threads(created_at DESC, id DESC);
CREATE INDEX idx_threads_updated_at ON threads(updated_at DESC, id DESC);
CREATE INDEX idx_threads_archived ON threads(archived);
CREATE INDEX idx_threads_source ON threads(source);
CREATE INDEX idx_threads_provider ON threads(model_provider);
)";

const char* const laterColumnsSQL = R"(
ALTER TABLE threads ADD COLUMN has_user_event INTEGER NOT NULL DEFAULT 0;
ALTER TABLE threads ADD COLUMN cli_version TEXT NOT NULL DEFAULT '';
ALTER TABLE threads ADD COLUMN first_user_message TEXT NOT NULL DEFAULT '';
ALTER TABLE threads ADD COLUMN agent_nickname TEXT;
ALTER TABLE threads ADD COLUMN agent_role TEXT;
ALTER TABLE threads ADD COLUMN memory_mode TEXT NOT NULL DEFAULT 'enabled';
ALTER TABLE threads ADD COLUMN model TEXT;
ALTER TABLE threads ADD COLUMN reasoning_effort TEXT;
ALTER TABLE threads ADD COLUMN agent_path TEXT;
ALTER TABLE threads ADD COLUMN created_at_ms INTEGER;
ALTER TABLE threads ADD COLUMN updated_at_ms INTEGER;
ALTER TABLE threads ADD COLUMN thread_source TEXT;
ALTER TABLE threads ADD COLUMN preview TEXT NOT NULL DEFAULT '';
ALTER TABLE threads ADD COLUMN recency_at INTEGER;
ALTER TABLE threads ADD COLUMN recency_at_ms INTEGER;
ALTER TABLE threads ADD COLUMN history_mode TEXT NOT NULL DEFAULT 'legacy';
ALTER TABLE threads ADD COLUMN name TEXT;
ALTER TABLE threads ADD COLUMN is_pinned INTEGER NOT NULL DEFAULT 0;
ALTER TABLE threads ADD COLUMN thread_section_id TEXT;
ALTER TABLE threads ADD COLUMN section_position INTEGER;
ALTER TABLE threads ADD COLUMN section_entered_at_ms INTEGER;
ALTER TABLE threads ADD COLUMN project_id TEXT;
ALTER TABLE threads ADD COLUMN originator TEXT;
ALTER TABLE threads ADD COLUMN daybreak_enabled INTEGER;
ALTER TABLE threads ADD COLUMN creator_user_id TEXT;
ALTER TABLE threads ADD COLUMN creator_account_id TEXT;
ALTER TABLE threads ADD COLUMN attached_thread_parent_id TEXT;
)";

QString sqlText(const QString& text) { return QLatin1Char('\'') + QString(text).replace("'", "''") + QLatin1Char('\''); }

// Codex numbers its lines from 0 in each file.
QByteArray line(const QByteArray& type, const QByteArray& payload, int ordinal)
{
    return "{\"timestamp\":\"2026-05-30T00:19:31.402Z\",\"ordinal\":" + QByteArray::number(ordinal) + ",\"type\":\"" + type
        + "\",\"payload\":" + payload + "}";
}

// What Codex records when a thread starts or is resumed with other settings; the last one
// names the provider Codex rebuilds the thread's row with.
QByteArray settingsAppliedLine(const QString& id, const QString& provider, int ordinal)
{
    return line("event_msg",
                "{\"type\":\"thread_settings_applied\",\"thread_id\":\"" + id.toUtf8()
                    + "\",\"thread_settings\":{\"model\":\"gpt-5.5\",\"model_provider_id\":\"" + provider.toUtf8()
                    + "\",\"approval_policy\":\"on-request\",\"sandbox_policy\":{\"type\":\"workspace-write\"}}}",
                ordinal);
}

// Stands for sealed content: opaque base64 that only the provider that issued it decrypts.
QByteArray sealedContent(qsizetype size)
{
    return "gAAAAB" + QByteArray("q83vEjRWeJCrze8SNFZ4kKvN7xI0VniQ").repeated(size / 32 + 1).left(size);
}

QByteArray compactedLine(int ordinal)
{
    return line("compacted",
                "{\"message\":\"\",\"replacement_history\":[{\"type\":\"message\",\"role\":\"user\",\"content\":"
                "[{\"type\":\"input_text\",\"text\":\"修复登录问题\"}]},{\"type\":\"compaction\",\"encrypted_content\":\""
                    + sealedContent(2000) + "\"}]}",
                ordinal);
}

} // namespace

QByteArray reasoningLine(int ordinal, qsizetype sealedSize)
{
    return line("response_item",
                "{\"type\":\"reasoning\",\"summary\":[{\"type\":\"summary_text\",\"text\":\"**Checking the tests**\"}],"
                "\"content\":null,\"encrypted_content\":\""
                    + sealedContent(sealedSize) + "\"}",
                ordinal);
}

ThreadSpec threadSpec(const QString& id, const QString& provider, qint64 updatedAt, bool archived)
{
    ThreadSpec spec;
    spec.id = id;
    spec.provider = provider;
    spec.updatedAt = updatedAt;
    spec.archived = archived;
    return spec;
}

QByteArray sessionMetaLine(const QString& id, const QString& provider)
{
    return line("session_meta",
                "{\"id\":\"" + id.toUtf8()
                    + "\",\"timestamp\":\"2026-05-30T00:19:26.118Z\",\"cwd\":\"/home/user/work/repo\","
                      "\"originator\":\"codex_cli_rs\",\"cli_version\":\"0.128.0\",\"source\":\"cli\","
                      "\"model_provider\":\""
                    + provider.toUtf8()
                    + "\",\"base_instructions\":null,\"git\":{\"commit_hash\":\"5f0c2d1\",\"branch\":\"main\","
                      "\"repository_url\":\"git@example.org:user/repo.git\"}}",
                0);
}

QByteArray rolloutContent(const QString& id, const RolloutShape& shape)
{
    QList<QByteArray> lines;
    for (int i = 0; i < shape.metadataLines; ++i)
        lines.append(sessionMetaLine(id, shape.provider));
    const auto add = [&lines](const QByteArray& type, const QByteArray& payload) {
        lines.append(line(type, payload, int(lines.size())));
    };
    add("turn_context", R"({"cwd":"/home/user/work/repo","approval_policy":"on-request","model":"gpt-5.5","effort":"xhigh"})");
    lines.append(settingsAppliedLine(id, shape.provider, int(lines.size())));
    add("response_item",
        "{\"type\":\"message\",\"role\":\"user\",\"content\":[{\"type\":\"input_text\",\"text\":\""
        "修复登录问题，然后跑测试 café \\u00e9 \\\"quoted\\\" path C:\\\\x\\/y\\n第二行\"}]}");
    add("event_msg", R"({"type":"token_count","info":{"total_token_usage":{"input_tokens":9007199254740993,"cached_input_tokens":18446744073709551615,"output_tokens":-42,"ratio":0.1}}})");

    // Tool output makes real files long: one long line after another. Half way, the thread
    // was resumed, which Codex records with its settings again.
    QByteArray chunk;
    for (int i = 0; i < 40; ++i)
        chunk += "drwxr-xr-x  2 user user 4096 May 30 00:19 src_" + QByteArray::number(i) + " 构建输出 \\u001b[32mok\\u001b[0m\\n";
    int call = 0;
    qsizetype size = 0;
    for (const QByteArray& l : lines)
        size += l.size() + 1;
    bool resumed = false;
    while (size < shape.approximateSize) {
        if (!resumed && size > shape.approximateSize / 2) {
            lines.append(settingsAppliedLine(id, shape.provider, int(lines.size())));
            if (shape.compacted)
                lines.append(compactedLine(int(lines.size())));
            resumed = true;
        }
        if (shape.sealedItems && call % 4 == 0)
            lines.append(reasoningLine(int(lines.size())));
        add("response_item", "{\"type\":\"function_call_output\",\"call_id\":\"call_" + QByteArray::number(++call)
                                 + "\",\"output\":\"" + chunk.repeated(8) + "\"}");
        size += lines.last().size() + 1;
    }
    add("event_msg", R"({"type":"agent_message","message":"完成 ✅ 🎉"})");
    if (shape.truncatedLastLine)
        lines.append(line("event_msg", R"({"type":"agent_message","message":"被截断)", int(lines.size())).left(40));

    const QByteArray separator = shape.crlf ? "\r\n" : "\n";
    QByteArray content = lines.join(separator);
    if (shape.finalLineFeed && !shape.truncatedLastLine)
        content += separator;
    return content;
}

CodexHomeBuilder::CodexHomeBuilder(QString codexHome) : m_codexHome(std::move(codexHome))
{
    QDir().mkpath(m_codexHome);
}

void CodexHomeBuilder::createThreadIndex(Schema schema) const
{
    Database database(databasePath());
    database.execute(QString::fromUtf8(createThreadsSQL));
    if (schema == Schema::WithLaterColumns)
        database.execute(QString::fromUtf8(laterColumnsSQL));
}

QString CodexHomeBuilder::rolloutPathFor(const QString& id, qint64 updatedAt, bool archived) const
{
    const QDateTime time = QDateTime::fromSecsSinceEpoch(updatedAt, Qt::UTC);
    const QString folder = archived ? QStringLiteral("/'archived_sessions'/") : QStringLiteral("/'sessions'/yyyy/MM/dd/");
    return m_codexHome + time.toString(folder + QStringLiteral("'rollout-'yyyy-MM-dd'T'HH-mm-ss-")) + id + QStringLiteral(".jsonl");
}

QString CodexHomeBuilder::addThread(const ThreadSpec& spec) const
{
    const QString path = rolloutPathFor(spec.id, spec.updatedAt, spec.archived);
    if (spec.nullRolloutPath) {
        // Old rows may carry NULL where newer code declares NOT NULL. SQLite cannot switch
        // the constraint off, so the fixture edits the stored schema; a new connection sees it.
        Database schema(databasePath());
        schema.execute(QStringLiteral("PRAGMA writable_schema = ON"));
        schema.execute(QStringLiteral("UPDATE sqlite_master SET sql = replace(sql, 'rollout_path TEXT NOT NULL', "
                                      "'rollout_path TEXT') WHERE name = 'threads'"));
        schema.execute(QStringLiteral("PRAGMA writable_schema = OFF"));
    }
    Database database(databasePath());
    const QString rollout = spec.nullRolloutPath ? QStringLiteral("NULL") : sqlText(path);
    database.execute(QStringLiteral("INSERT INTO threads (id, rollout_path, created_at, updated_at, source, "
                                    "model_provider, cwd, title, sandbox_policy, approval_mode, tokens_used, archived) "
                                    "VALUES (%1, %2, %3, %4, 'cli', %5, '/home/user/work/repo', %6, "
                                    "'workspace-write', 'on-request', 12345, %7)")
                         .arg(sqlText(spec.id), rollout, QString::number(spec.updatedAt - 600),
                              QString::number(spec.updatedAt), sqlText(spec.provider),
                              sqlText(QStringLiteral("对话 ") + spec.id), spec.archived ? "1" : "0"));
    if (!spec.nullRolloutPath && !spec.rolloutFileMissing) {
        QDir().mkpath(QFileInfo(path).path());
        RolloutShape shape = spec.rollout;
        shape.provider = spec.provider;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(rolloutContent(spec.id, shape)) < 0)
            fixtureFailure(QStringLiteral("cannot write ") + path);
    }
    return spec.nullRolloutPath ? QString() : path;
}

std::vector<IndexRow> CodexHomeBuilder::indexRows() const
{
    Database database(databasePath());
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(database.db, "SELECT id, rollout_path, model_provider, archived FROM threads ORDER BY id", -1,
                       &statement, nullptr);
    std::vector<IndexRow> rows;
    const auto text = [&](int column) -> std::optional<QString> {
        const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        return value ? std::optional<QString>(QString::fromUtf8(value)) : std::nullopt;
    };
    while (sqlite3_step(statement) == SQLITE_ROW)
        rows.push_back({text(0).value_or(QString()), text(1), text(2), sqlite3_column_int64(statement, 3)});
    sqlite3_finalize(statement);
    return rows;
}

std::optional<QString> CodexHomeBuilder::providerOf(const QString& id) const
{
    for (const IndexRow& row : indexRows()) {
        if (row.id == id)
            return row.provider;
    }
    return std::nullopt;
}

void CodexHomeBuilder::execute(const QString& sql, const QString& database) const
{
    Database(database.isEmpty() ? databasePath() : database).execute(sql);
}

std::vector<qint64> CodexHomeBuilder::queryNumbers(const QString& sql, const QString& database) const
{
    Database db(database.isEmpty() ? databasePath() : database);
    sqlite3_stmt* statement = nullptr;
    std::vector<qint64> numbers;
    sqlite3_prepare_v2(db.db, sql.toUtf8().constData(), -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int column = 0; column < sqlite3_column_count(statement); ++column)
            numbers.push_back(sqlite3_column_int64(statement, column));
    }
    sqlite3_finalize(statement);
    return numbers;
}
