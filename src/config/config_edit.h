#pragma once

#include <QString>

#include <optional>
#include <vector>

// Editing config.toml line by line, so that the user's comments, layout, other tables and
// line ends stay as they are. Nothing here touches the disk.

// A change of one key: its new line, or nothing to take it out. A change without a key
// takes its whole table out.
struct ConfigChange {
    QString table; // empty: the top level
    QString key;
    std::optional<QString> line;
};
using ConfigChanges = std::vector<ConfigChange>;

// The text with the changes made: a key's line replaced where it stands, a missing key added
// after the last key of its table (a missing table added at the end), a key or a table taken
// out. Every other line stays as it was.
QString editedConfig(const QString& config, const ConfigChanges& changes);

// The 1-based number of the line the line model reads as setting the key of the table, or as
// the table's header when the key is empty; 0 when there is none.
int configLineOf(const QString& config, const QString& table, const QString& key);
