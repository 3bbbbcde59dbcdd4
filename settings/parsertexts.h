#pragma once

#include <QString>
#include <QStringList>
#include <QTranslator>

class QCommandLineParser;

// Qt's own lines in --help and in usage errors (QCommandLineParser's), in Hungarian like the rest of
// what the programs print. Qt ships no Hungarian for them, and the programs bring no .qm files.
// Installed before the options are declared: the help and version options take their texts then.
class HungarianParserTexts final : public QTranslator
{
public:
    QString translate(
        const char* context, const char* sourceText, const char* disambiguation = nullptr, int n = -1) const override;
};

// Reads the command line into `parser` as every program here does. Returns the sentence of a usage
// error (process() would exit with 1; scripts and systemd tell a wrong call by 2), or an empty text;
// --help and --help-all print the help and exit, as the programs have no Qt options to add to it.
// No positional argument is taken.
QString parseCommandLine(QCommandLineParser& parser, const QStringList& arguments);
