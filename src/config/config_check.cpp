#include "config/config_check.h"

#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <QStringList>

#include <sstream>

namespace {

QString describedKey(const QString& table, const QString& key)
{
    return table.isEmpty() ? key : key.isEmpty() ? table : table + QLatin1Char('.') + key;
}

std::optional<toml::table> parsed(const QString& text, ConfigProblem* problem)
{
    const std::string utf8 = text.toStdString();
    toml::parse_result result = toml::parse(utf8);
    if (result)
        return std::move(result).table();
    *problem = {int(result.error().source().begin.line),
                QStringLiteral("它不是有效的 TOML（%1）").arg(QString::fromUtf8(result.error().description().data(),
                                                                               qsizetype(result.error().description().size())))};
    return std::nullopt;
}

toml::node* nodeAt(toml::table& table, const QString& path)
{
    return path.isEmpty() ? &table : table.at_path(path.toStdString()).node();
}

// A key the line model reads elsewhere than the parser does: in a multi-line string, quoted,
// dotted, or in a table written inline.
std::optional<ConfigProblem> misreadKey(const QString& text, toml::table& document, const ConfigChange& change)
{
    QStringList prefix;
    for (const QString& part : change.table.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        prefix << part;
        const toml::node* node = nodeAt(document, prefix.join(QLatin1Char('.')));
        if (node && (!node->is_table() || node->as_table()->is_inline()))
            return ConfigProblem{int(node->source().begin.line),
                                 QStringLiteral("“%1”写成了行内表或不是表，无法逐行修改").arg(prefix.join(QLatin1Char('.')))};
    }
    for (const QString& key : {QString(), change.key}) {
        if (key.isEmpty() && change.table.isEmpty())
            continue;
        const int byLines = configLineOf(text, change.table, key);
        const toml::node* node = nodeAt(document, describedKey(change.table, key));
        const int byParser = node ? int(node->source().begin.line) : 0;
        // A table that only dotted keys make has no header for the line model to find.
        if (byLines != byParser && !(key.isEmpty() && node && byLines == 0 && change.line && !node->source().begin))
            return ConfigProblem{byLines ? byLines : byParser,
                                 QStringLiteral("“%1”的写法无法逐行修改（在多行字符串里、带引号或用点号连写）").arg(describedKey(change.table, key))};
    }
    return std::nullopt;
}

QString written(const toml::node& node)
{
    std::ostringstream out;
    node.visit([&out](const auto& value) { out << value; });
    return QString::fromStdString(out.str());
}

// The document without the keys and tables the changes are about, nor tables left empty
// by that.
void removeChanged(toml::table& document, const ConfigChanges& changes)
{
    for (const ConfigChange& change : changes) {
        toml::node* holder = nodeAt(document, change.table);
        if (holder && holder->is_table() && !change.key.isEmpty())
            holder->as_table()->erase(change.key.toStdString());
        QStringList path = change.table.split(QLatin1Char('.'), Qt::SkipEmptyParts);
        for (bool whole = change.key.isEmpty(); !path.isEmpty(); whole = false) {
            const QString name = path.takeLast();
            toml::node* parent = nodeAt(document, path.join(QLatin1Char('.')));
            toml::node* child = parent && parent->is_table() ? parent->as_table()->get(name.toStdString()) : nullptr;
            if (parent && child && (whole || (child->is_table() && child->as_table()->empty())))
                parent->as_table()->erase(name.toStdString());
        }
    }
}

// The first line that differs between the two texts.
int firstChangedLine(const QString& before, const QString& after)
{
    const QStringList a = before.split(QLatin1Char('\n'));
    const QStringList b = after.split(QLatin1Char('\n'));
    int line = 0;
    while (line < a.size() && line < b.size() && a[line] == b[line])
        ++line;
    return line + 1;
}

} // namespace

std::optional<ConfigProblem> checkConfigEdit(const QString& before, const QString& after, const ConfigChanges& changes)
{
    ConfigProblem problem;
    std::optional<toml::table> old = parsed(before, &problem);
    if (!old)
        return problem;
    for (const ConfigChange& change : changes) {
        if (std::optional<ConfigProblem> misread = misreadKey(before, *old, change))
            return misread;
    }
    const ConfigProblem unequal{firstChangedLine(before, after), QStringLiteral("改动后的配置与原来的设置对不上")};
    std::optional<toml::table> edited = parsed(after, &problem);
    if (!edited)
        return unequal;
    for (const ConfigChange& change : changes) {
        const toml::node* now = change.key.isEmpty() ? nullptr : nodeAt(*edited, describedKey(change.table, change.key));
        if (!change.line) {
            if (now || (change.key.isEmpty() && nodeAt(*edited, change.table)))
                return unequal;
            continue;
        }
        toml::parse_result wanted = toml::parse(change.line->toStdString());
        const toml::node* value = wanted ? wanted.table().get(change.key.toStdString()) : nullptr;
        if (!now || !value || written(*now) != written(*value))
            return unequal;
    }
    removeChanged(*old, changes);
    removeChanged(*edited, changes);
    if (*old != *edited)
        return unequal;
    return std::nullopt;
}
