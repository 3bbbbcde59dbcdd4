#include "settings/configfile.h"
#include "settings/settings.h"
#include "tests/fuzz/property.h"

#include <cstdint>

// Any bytes may stand in a hand-edited config.cfg; what is then saved must load back unchanged.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    settings_t loaded;
    applyConfigText(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), loaded);
    const QByteArray saved = configText(loaded);
    settings_t reloaded;
    require(applyConfigText(saved, reloaded), "a saved file is taken when loaded");
    require(configText(reloaded) == saved, "a saved record loads back the same");
    return 0;
}
