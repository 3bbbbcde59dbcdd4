#pragma once

#include <QTranslator>

// Qt's own lines in --help and in usage errors (QCommandLineParser's), in Hungarian like the rest of
// what the programs print. Qt ships no Hungarian for them, and the programs bring no .qm files.
// Installed before the options are declared: the help and version options take their texts then.
class HungarianParserTexts final : public QTranslator
{
public:
    QString translate(
        const char* context, const char* sourceText, const char* disambiguation = nullptr, int n = -1) const override;
};
