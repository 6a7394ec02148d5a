#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Builds Codex homes that look like real ones: the threads table as Codex creates it
// (with or without the columns later versions added) and rollout files with realistic
// lines. Used by the tests and by the benchmark's generator.

struct RolloutShape {
    QString provider = QStringLiteral("openai");
    qsizetype approximateSize = 4096; // grown with long tool-output lines
    bool finalLineFeed = true;
    bool truncatedLastLine = false;   // Codex killed mid-write
    bool crlf = false;
    int metadataLines = 1;
    // What a real conversation holds that only its provider reads back: a reasoning item
    // with sealed content every few tool calls; in some, once a compaction.
    bool sealedItems = false;
    bool compacted = false;
};

struct ThreadSpec {
    QString id;
    QString provider = QStringLiteral("openai");
    bool archived = false;
    qint64 updatedAt = 1'780'000'000;
    bool nullRolloutPath = false;
    bool rolloutFileMissing = false;  // the index points at a deleted file
    RolloutShape rollout;             // its provider follows the thread's
};

ThreadSpec threadSpec(const QString& id, const QString& provider, qint64 updatedAt, bool archived = false);

struct IndexRow {
    QString id;
    std::optional<QString> rolloutPath;
    std::optional<QString> provider;
    qint64 archived = 0;
};

class CodexHomeBuilder {
public:
    explicit CodexHomeBuilder(QString codexHome);

    enum class Schema { Original, WithLaterColumns };
    void createThreadIndex(Schema schema = Schema::WithLaterColumns) const;
    // Inserts the row and writes its rollout file; returns the rollout path.
    QString addThread(const ThreadSpec& spec) const;
    // Under sessions/, or archived_sessions/ for an archived thread.
    QString rolloutPathFor(const QString& id, qint64 updatedAt, bool archived = false) const;

    std::vector<IndexRow> indexRows() const;
    std::optional<QString> providerOf(const QString& id) const;
    // On the thread index, or on another database of the home's.
    void execute(const QString& sql, const QString& database = QString()) const;
    // Every column of every row, as numbers.
    std::vector<qint64> queryNumbers(const QString& sql, const QString& database = QString()) const;

    const QString& codexHome() const { return m_codexHome; }
    QString databasePath() const { return m_codexHome + QStringLiteral("/state_5.sqlite"); }

private:
    QString m_codexHome;
};

// The first line of a rollout file, as Codex writes it.
QByteArray sessionMetaLine(const QString& id, const QString& provider);
QByteArray rolloutContent(const QString& id, const RolloutShape& shape);
// A reasoning item as Codex records it, its sealed content of about that size.
QByteArray reasoningLine(int ordinal, qsizetype sealedSize = 3000);
