#pragma once

#include <nlohmann/json.hpp>

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// One line of a rollout read as JSON, for the lines a move changes.
using OrderedJson = nlohmann::ordered_json;

// The line's value when it is an object with an object "payload", as Codex's records are.
std::optional<OrderedJson> recordOfLine(QByteArrayView line);

// The value written anew in place of the line: the same content, compact, the line's
// carriage return kept. The line itself when the value cannot be written.
QByteArray lineWrittenAnew(const OrderedJson& value, QByteArrayView line);
