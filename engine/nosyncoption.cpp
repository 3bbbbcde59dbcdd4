#include "engine/nosyncoption.h"

QCommandLineOption noSyncOption()
{
    return QCommandLineOption(QStringLiteral("no-sync"),
        QStringLiteral("Már akkor nyugtázza az üzenetet, amikor a sorát átadta a rendszernek, a lemezt nem várja meg: "
                       "gyorsabb, de áramszünetkor vagy a rendszer összeomlásakor már nyugtázott üzenetek is "
                       "elveszhetnek. Alapértelmezés szerint csak akkor nyugtáz egy üzenetet, amikor a sora már a "
                       "lemezen van."));
}
