#include "forward/forwardoptions.h"

#include "service/httpendpoint.h"
#include "settings/parsertexts.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSysInfo>

namespace {

const char* const description = R"(A Stilwater szerver tárolt üzeneteit továbbítja PostgreSQL-be és MQTT-brókerhez.

A munkamappájából olvassa a config.cfg-t, ahogy a szerver is, és az abban megadott mappa napi fájljait
követi (a biztonsági másolatokat nem): minden új, teljes sort, amint a lemezen tartósan megvan. A
PostgreSQL-be minden sor pontosan egyszer kerül: a sorokkal egy tranzakcióban írja, meddig jutott az
egyes fájlokban. Az MQTT-bróker minden sort legalább egyszer megkap: hogy meddig jutott, azt a bróker
nyugtája után írja a saját fájljába (forward-mqtt.cursors). Ha egy rendszer nem érhető el, a sorok a
napi fájlokban várnak, és a kapcsolat helyreálltával a legrégebbitől kezdve mennek tovább. Az első
indításkor a mai naptól kezd (korábbi napok: --since), később attól a legrégebbi naptól, amelyből a
rendszer már kapott. SIGTERM vagy SIGINT hatására a folyamatban lévő csomag után 0-s kóddal kilép;
ha nem tud elindulni, 1-es kóddal, hibás parancssornál 2-essel.)";

} // namespace

QString parseForwardOptions(const QStringList& arguments, ForwardOptions* options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption directoryOption(QStringLiteral("directory"),
        QStringLiteral("A szerver munkamappája, benne a config.cfg-vel (alapértelmezés: az aktuális mappa)."),
        QStringLiteral("MAPPA"));
    const QCommandLineOption instanceOption(QStringLiteral("instance"),
        QStringLiteral("Ennek a szervernek a neve a sorokban és a témákban (alapértelmezés: a gép neve)."),
        QStringLiteral("NÉV"));
    const QCommandLineOption sinceOption(QStringLiteral("since"),
        QStringLiteral("A lemezen már meglévő napi fájlokat is továbbítja ettől a naptól (ÉÉÉÉ-HH-NN)."),
        QStringLiteral("NAP"));
    const QCommandLineOption postgresOption(QStringLiteral("postgres"),
        QStringLiteral("PostgreSQL-kapcsolat a libpq kapcsolati szövegével, például \"host=db1,db2 dbname=stilwater "
                       "target_session_attrs=read-write\"."),
        QStringLiteral("KAPCSOLAT"));
    const QCommandLineOption schemaOption(QStringLiteral("postgres-schema"),
        QStringLiteral("A táblák sémája (alapértelmezés: stilwater)."), QStringLiteral("SÉMA"));
    const QCommandLineOption mqttOption(QStringLiteral("mqtt"),
        QStringLiteral("MQTT-bróker: mqtt://GÉP[:PORT], TLS-sel mqtts://GÉP[:PORT]."), QStringLiteral("URL"));
    const QCommandLineOption topicOption(QStringLiteral("mqtt-topic"),
        QStringLiteral("A témák előtagja: ELŐTAG/példány/eszköz (alapértelmezés: stilwater)."),
        QStringLiteral("ELŐTAG"));
    const QCommandLineOption credentialsOption(QStringLiteral("mqtt-credentials"),
        QStringLiteral("A bróker felhasználóneve az első, jelszava a második sorában."), QStringLiteral("FÁJL"));
    const QCommandLineOption caOption(QStringLiteral("mqtt-ca"),
        QStringLiteral("Az mqtts:// bróker tanúsítványának kiadója, PEM-fájlban (alapértelmezés: a rendszer "
                       "tanúsítványkiadói)."),
        QStringLiteral("FÁJL"));
    const QCommandLineOption metricsOption(QStringLiteral("metrics"),
        QStringLiteral("Prometheus-metrikák a /metrics, készenlét a /ready útvonalon ezen a címen és porton "
                       "(alapértelmezett cím: 127.0.0.1)."),
        QStringLiteral("[CÍM:]PORT"));
    const QCommandLineOption readyOption(QStringLiteral("ready-down-seconds"),
        QStringLiteral("A /ready 503-at ad, ha egy rendszer legalább ennyi másodperce nem érhető el "
                       "(alapértelmezés: 60)."),
        QStringLiteral("MP"));
    parser.addOptions({directoryOption, instanceOption, sinceOption, postgresOption, schemaOption, mqttOption,
        topicOption, credentialsOption, caOption, metricsOption, readyOption});

    if (const QString usage = parseCommandLine(parser, arguments); !usage.isEmpty())
        return usage;
    if (parser.isSet(versionOption))
        parser.showVersion();
    options->directory = parser.value(directoryOption);
    options->instance = parser.isSet(instanceOption) ? parser.value(instanceOption) : QSysInfo::machineHostName();
    if (options->instance.isEmpty())
        return QStringLiteral("A példány neve nem lehet üres: --instance.");
    if (parser.isSet(sinceOption)) {
        const QDate day = QDate::fromString(parser.value(sinceOption), Qt::ISODate);
        if (!day.isValid())
            return QStringLiteral("Nem ÉÉÉÉ-HH-NN alakú nap: --since %1.").arg(parser.value(sinceOption));
        options->since = day;
    }
    options->postgres = parser.value(postgresOption);
    if (parser.isSet(schemaOption))
        options->postgresSchema = parser.value(schemaOption);
    options->mqtt = parser.value(mqttOption);
    if (parser.isSet(topicOption))
        options->mqttTopic = parser.value(topicOption);
    // Named from where the command was given, before --directory moves the working folder.
    if (parser.isSet(credentialsOption))
        options->mqttCredentials = QFileInfo(parser.value(credentialsOption)).absoluteFilePath();
    if (parser.isSet(caOption))
        options->mqttCa = QFileInfo(parser.value(caOption)).absoluteFilePath();
    if (options->postgres.isEmpty() && options->mqtt.isEmpty())
        return QStringLiteral("Nincs hová továbbítani: adja meg a --postgres vagy az --mqtt kapcsolót.");
    if (parser.isSet(metricsOption)
        && !parseHttpAddress(parser.value(metricsOption), &options->metricsHost, &options->metricsPort))
        return QStringLiteral("A --metrics értéke nem [CÍM:]PORT alakú: %1.").arg(parser.value(metricsOption));
    if (parser.isSet(readyOption)) {
        bool number = false;
        options->readyDownSeconds = parser.value(readyOption).toInt(&number);
        if (!number || options->readyDownSeconds < 1)
            return QStringLiteral("Nem pozitív egész számú másodperc: --ready-down-seconds %1.")
                .arg(parser.value(readyOption));
    }
    return QString();
}
