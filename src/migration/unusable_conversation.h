#pragma once

#include <QByteArrayView>
#include <QString>

// Whether a conversation on the provider cannot go on there because it still holds sealed
// items (see sealed_items.h) another caller was handed, which every request sends back: a
// sealed item recorded while its settings named another provider, or a last turn the
// provider refused with invalid_encrypted_content after sealed items. Another tool that
// moved it left them; a move removes them.
bool holdsOthersSealedItems(QByteArrayView content, const QString& provider);
