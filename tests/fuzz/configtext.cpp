#include "settings/configfile.h"
#include "settings/settings.h"

#include <cstdint>

// Any bytes may stand in a hand-edited config.cfg; what is then saved must load back unchanged.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    settings_t loaded;
    applyConfigText(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), loaded);
    const QByteArray saved = configText(loaded);
    settings_t reloaded;
    if (!applyConfigText(saved, reloaded))
        qFatal("A saved file is not taken when loaded");
    if (configText(reloaded) != saved)
        qFatal("A saved record loads back changed");
    return 0;
}
