#include "migration/thread_history.h"

#include "core/files/file_io.h"
#include "migration/thread_index.h"

#include <QFile>

#include <sqlite3.h>

namespace {

const QString historyFile = QStringLiteral("thread_history_1.sqlite");
const QString historyFallback = QStringLiteral("更新对话历史的位置失败。");

// A table of the history and its offset columns, each moved with the rollout's bytes.
struct OffsetTable {
    const char* table;
    std::vector<const char*> columns;
};

const std::vector<OffsetTable> offsetTables = {
    {"thread_turns", {"rollout_byte_offset", "rollout_end_byte_offset"}},
    {"thread_history_projection_state", {"next_rollout_byte_offset"}},
};

struct Statement {
    sqlite3_stmt* statement = nullptr;
    ~Statement() { sqlite3_finalize(statement); }
};

bool hasColumns(sqlite3* db, const OffsetTable& table)
{
    std::vector<const char*> needed = table.columns;
    needed.push_back("thread_id");
    for (const char* column : needed) {
        Statement check;
        const QByteArray sql = QByteArray("SELECT 1 FROM pragma_table_info('") + table.table + "') WHERE name = '" + column + "'";
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &check.statement, nullptr) != SQLITE_OK
            || sqlite3_step(check.statement) != SQLITE_ROW)
            return false;
    }
    return true;
}

bool shiftTable(sqlite3* db, const OffsetTable& table, const ThreadShifts& thread)
{
    QByteArray columns;
    QByteArray assignments;
    for (const char* column : table.columns) {
        columns += QByteArray(", ") + column;
        assignments += QByteArray(assignments.isEmpty() ? "" : ", ") + column + " = ?";
    }
    Statement select;
    Statement update;
    const QByteArray selectSQL = "SELECT rowid" + columns + " FROM " + table.table + " WHERE thread_id = ?";
    const QByteArray updateSQL = QByteArray("UPDATE ") + table.table + " SET " + assignments + " WHERE rowid = ?";
    if (sqlite3_prepare_v2(db, selectSQL.constData(), -1, &select.statement, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(db, updateSQL.constData(), -1, &update.statement, nullptr) != SQLITE_OK)
        return false;
    const QByteArray id = thread.threadId.toUtf8();
    sqlite3_bind_text(select.statement, 1, id.constData(), int(id.size()), SQLITE_TRANSIENT);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(select.statement)) == SQLITE_ROW) {
        const int count = int(table.columns.size());
        for (int i = 0; i < count; ++i) {
            if (sqlite3_column_type(select.statement, i + 1) == SQLITE_NULL)
                sqlite3_bind_null(update.statement, i + 1);
            else
                sqlite3_bind_int64(update.statement, i + 1,
                                   shiftedOffset(sqlite3_column_int64(select.statement, i + 1), thread.shifts));
        }
        sqlite3_bind_int64(update.statement, count + 1, sqlite3_column_int64(select.statement, 0));
        if (sqlite3_step(update.statement) != SQLITE_DONE)
            return false;
        sqlite3_reset(update.statement);
    }
    return step == SQLITE_DONE;
}

} // namespace

Expected<> shiftHistoryOffsets(const QString& folder, const std::vector<ThreadShifts>& threads)
{
    const QString path = folder + QLatin1Char('/') + historyFile;
    if (threads.empty() || !files::itemExists(path))
        return {};
    sqlite3* db = nullptr;
    const auto fail = [&] {
        const Error error = sqliteError(db, historyFallback, historyFile);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(db);
        return std::unexpected(error);
    };
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return fail();
    sqlite3_busy_timeout(db, 3000);
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail();
    for (const OffsetTable& table : offsetTables) {
        if (!hasColumns(db, table))
            continue; // a history of another shape records no offsets there
        for (const ThreadShifts& thread : threads) {
            if (!shiftTable(db, table, thread))
                return fail();
        }
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail();
    sqlite3_close_v2(db);
    return {};
}
