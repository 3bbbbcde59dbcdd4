#include "settings/parsertexts.h"

#include <QCommandLineParser>

#include <utility>

QString HungarianParserTexts::translate(const char* context, const char* sourceText, const char*, int) const
{
    // The parser names an unknown option without its dashes, a missing or unexpected value's with them.
    static constexpr std::pair<const char*, const char*> texts[] {
        {"Usage: %1", "Használat: %1"},
        {"[options]", "[kapcsolók]"},
        {"Options:", "Kapcsolók:"},
        {"Arguments:", "Argumentumok:"},
        {"Displays help on commandline options.", "Kiírja a parancssori kapcsolók súgóját."},
        {"Displays help including Qt specific options.", "Kiírja a súgót a Qt saját kapcsolóival együtt."},
        {"Displays version information.", "Kiírja a program verzióját."},
        {"Unknown option '%1'.", "Ismeretlen kapcsoló: „%1”."},
        {"Unknown options: %1.", "Ismeretlen kapcsolók: %1."},
        {"Missing value after '%1'.", "Hiányzik a %1 értéke."},
        {"Unexpected value after '%1'.", "A %1 nem kap értéket."},
    };
    if (qstrcmp(context, "QCommandLineParser") != 0)
        return QString();
    for (const auto& [english, hungarian] : texts) {
        if (qstrcmp(sourceText, english) == 0)
            return QString::fromUtf8(hungarian);
    }
    return QString();
}

QString parseCommandLine(QCommandLineParser& parser, const QStringList& arguments)
{
    if (!parser.parse(arguments))
        return parser.errorText();
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp();
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("Ismeretlen argumentum: %1.").arg(parser.positionalArguments().first());
    return QString();
}
