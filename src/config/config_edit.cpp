#include "config/config_edit.h"

#include "config/config_text.h"

#include <QStringList>

#include <algorithm>

namespace {

const QChar byteOrderMark(0xFEFF);

// One line with what the line model reads in it.
struct Line {
    QString text; // as written, a carriage return included
    QString table; // the table it stands in; empty at the top level
    std::optional<QString> key;
    bool header = false;

    static Line of(const QString& text) { return Line{text, QString(), std::nullopt, false}; }
};

class Lines {
public:
    explicit Lines(const QString& config)
    {
        QString text = config;
        m_mark = text.startsWith(byteOrderMark);
        if (m_mark)
            text.remove(0, 1);
        m_finalLineFeed = text.isEmpty() || text.endsWith(QLatin1Char('\n'));
        QStringList split = text.split(QLatin1Char('\n'));
        if (m_finalLineFeed)
            split.removeLast();
        m_lineEnd = !split.isEmpty() && split.first().endsWith(QLatin1Char('\r')) ? QStringLiteral("\r") : QString();
        for (const QString& text : split)
            m_lines.push_back(Line::of(text));
        annotate();
    }

    QString text() const
    {
        QStringList texts;
        for (const Line& line : m_lines)
            texts << line.text;
        return (m_mark ? QString(byteOrderMark) : QString()) + texts.join(QLatin1Char('\n'))
            + (m_finalLineFeed && !m_lines.empty() ? QStringLiteral("\n") : QString());
    }

    // Index of the first line that sets the key in the table, or of the table's header for an
    // empty key; -1 for none.
    qsizetype find(const QString& table, const QString& key) const
    {
        for (size_t i = 0; i < m_lines.size(); ++i) {
            const Line& line = m_lines[i];
            if (line.table == table && (key.isEmpty() ? line.header : line.key == key))
                return qsizetype(i);
        }
        return -1;
    }

    void apply(const ConfigChange& change)
    {
        if (change.key.isEmpty())
            removeTable(change.table);
        else if (!change.line)
            std::erase_if(m_lines, [&](const Line& line) { return line.table == change.table && line.key == change.key; });
        else if (const qsizetype at = find(change.table, change.key); at >= 0)
            m_lines[size_t(at)].text = *change.line + m_lineEnd;
        else
            insert(change.table, *change.line);
        annotate();
    }

private:
    void annotate()
    {
        QString table;
        for (Line& line : m_lines) {
            const std::optional<QString> header = headerTable(line.text);
            line.header = header.has_value();
            if (header)
                table = *header;
            line.table = table;
            line.key = header ? std::nullopt : lineKey(line.text);
        }
    }

    // After the last key of the table, or its header; a missing table goes at the end,
    // after a blank line. A key whose value goes on over the next lines (a multi-line array
    // or string) is passed: the line goes before the next header instead.
    void insert(const QString& table, const QString& text)
    {
        qsizetype at = -1;
        for (size_t i = 0; i < m_lines.size(); ++i) {
            if (m_lines[i].table == table && (m_lines[i].key || m_lines[i].header))
                at = qsizetype(i);
        }
        const auto goesOn = [this](qsizetype i) {
            const Line& next = m_lines[size_t(i)];
            const QString trimmed = next.text.trimmed();
            return !next.key && !next.header && !trimmed.isEmpty() && !trimmed.startsWith(QLatin1Char('#'));
        };
        if (at >= 0 && at + 1 < qsizetype(m_lines.size()) && goesOn(at + 1)) {
            while (at + 1 < qsizetype(m_lines.size()) && !m_lines[size_t(at + 1)].header)
                ++at;
        }
        if (at < 0 && !table.isEmpty()) {
            if (!m_lines.empty() && !m_lines.back().text.trimmed().isEmpty())
                m_lines.push_back(Line::of(m_lineEnd));
            m_lines.push_back(Line::of(QStringLiteral("[%1]").arg(table) + m_lineEnd));
            at = qsizetype(m_lines.size()) - 1;
            m_finalLineFeed = true;
        }
        m_lines.insert(m_lines.begin() + (at + 1), Line::of(text + m_lineEnd));
    }

    // The header and every line up to the next one; at the end of the file, the blank line
    // that stood before it too.
    void removeTable(const QString& table)
    {
        const qsizetype header = find(table, QString());
        if (header < 0)
            return;
        qsizetype end = header + 1;
        while (end < qsizetype(m_lines.size()) && !m_lines[size_t(end)].header)
            ++end;
        qsizetype start = header;
        if (end == qsizetype(m_lines.size()) && start > 0 && m_lines[size_t(start - 1)].text.trimmed().isEmpty())
            --start;
        m_lines.erase(m_lines.begin() + start, m_lines.begin() + end);
        if (find(table, QString()) >= 0) // a repeated header goes too
            removeTable(table);
    }

    std::vector<Line> m_lines;
    QString m_lineEnd;
    bool m_mark = false;
    bool m_finalLineFeed = true;
};

} // namespace

QString editedConfig(const QString& config, const ConfigChanges& changes)
{
    Lines lines(config);
    for (const ConfigChange& change : changes)
        lines.apply(change);
    return lines.text();
}

int configLineOf(const QString& config, const QString& table, const QString& key)
{
    return int(Lines(config).find(table, key) + 1);
}
