#pragma once

#include <QtGlobal>

// What a move did: the conversations Codex lists that moved, the archived ones moved along,
// and how many of those listed lost their sealed items (see sealed_items.h).
struct MovedConversations {
    qint64 listed = 0;
    qint64 archived = 0;
    qint64 withoutSealedItems = 0;
};
