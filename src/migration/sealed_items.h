#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <string_view>

// Items that only the provider which issued them can read back: the reasoning of its
// models and its compactions. Their content is sealed for the caller it was handed to (the
// account's login, or the relay's key), and every later request of the conversation sends
// them again; another provider refuses such a request. A reasoning item belongs to its
// model even when its sealed content is blank. So when a conversation moves to another
// provider they go, and nothing else of it.

// Whether a response item of that payload type is one of them.
bool isSealedItemType(std::string_view payloadType);

// The compacted line without the sealed items of its replacement history, every other
// byte kept where the JSON allows it; nothing when it holds none or is no JSON.
std::optional<QByteArray> compactedLineWithoutSealedItems(QByteArrayView line);
