#include "config/active_provider.h"

#include "config/config_document.h"

QString activeProvider(const CodexHome& home)
{
    return ConfigDocument::read(home.file(codexfile::config)).listedProvider();
}
