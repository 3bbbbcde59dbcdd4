#include "service/serviceoptions.h"

#include "engine/listening.h"
#include "engine/nosyncoption.h"
#include "engine/peeraddress.h"
#include "service/httpendpoint.h"
#include "settings/parsertexts.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <optional>

namespace {

const char* const description = R"(A Stilwater adatszerver ablak nélkül, systemd alá és képernyő nélküli gépekre.

A munkamappájából olvassa a config.cfg-t, ahogy az ablakos program is, azonnal kiszolgál, és oda írja az
adatfájlokat; a config.cfg-t sosem írja. Ha a config.cfg létezik, de nem olvasható, nem 13 soros, vagy a
port vagy a Socket Timeout sora nem szám, el sem indul; ha nincs, az alapértékek szolgálnak. A használt beállításokat külön sorba írja, utána minden
sort, amelyet az ablak mutatna, a szabványos kimenetre, a hibákat a szabványos hibakimenetre. Ha a systemd
átad egy figyelő socketet (stilwater-server.socket), a config.cfg portja helyett azon szolgál ki.
SIGTERM vagy SIGINT hatására minden kapcsolatot bont, és 0-s kóddal kilép; ha a config.cfg, az ismert
eszközök listája (ha létezik, de nem olvasható vagy hibás) vagy a port miatt nem tud kiszolgálni, 1-es
kóddal lép ki, hibás parancssornál 2-essel. SIGHUP hatására újra beolvassa
az ismert eszközök listáját (ismert_eszkozok.txt vagy a --known-devices fájlja), és közben egy kapcsolatot sem bont.)";

// A limit's value: a positive whole number, or nothing when it is not one.
std::optional<int> limitValue(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 ? std::optional<int>(value) : std::nullopt;
}

} // namespace

QString parseServiceOptions(const QStringList& arguments, ServiceOptions* options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption directoryOption(QStringLiteral("directory"),
        QStringLiteral("Munkamappa: itt van a config.cfg és ide kerülnek az adatfájlok (alapértelmezés: az aktuális "
                       "mappa)."),
        QStringLiteral("MAPPA"));
    parser.addOption(directoryOption);
    const QCommandLineOption listenOption(QStringLiteral("listen"),
        QStringLiteral("Csak ezen a címen figyel, IPv4 vagy IPv6 (alapértelmezés: minden cím, IPv6 és IPv4)."),
        QStringLiteral("CÍM"));
    parser.addOption(listenOption);
    const QCommandLineOption healthOption(QStringLiteral("health"),
        QStringLiteral("HTTP GET /ready kérésre válaszol ezen a címen és porton: 200, amíg a szerver "
                       "eseményhurkai válaszolnak, 503, ha nem (a terheléselosztók állapotellenőrzéséhez; "
                       "alapértelmezett cím: 127.0.0.1, csak erről a gépről érhető el)."),
        QStringLiteral("[CÍM:]PORT"));
    parser.addOption(healthOption);
    const QCommandLineOption checkOption(QStringLiteral("check"),
        QStringLiteral("Kiírja a beállításokat, amelyekkel kiszolgálna, és hogy a config.cfg betölthető-e (0-s "
                       "kód) vagy sem (1-es kód), majd kiszolgálás nélkül kilép."));
    parser.addOption(checkOption);
    const QCommandLineOption noSync = noSyncOption();
    parser.addOption(noSync);
    const QCommandLineOption metricsOption(QStringLiteral("metrics"),
        QStringLiteral("Prometheus-metrikákat ad HTTP-n ezen a címen és porton, a /metrics útvonalon "
                       "(alapértelmezett cím: 127.0.0.1, csak erről a gépről érhető el)."),
        QStringLiteral("[CÍM:]PORT"));
    parser.addOption(metricsOption);
    const QCommandLineOption quietOption(QStringLiteral("quiet-messages"),
        QStringLiteral("Elhagyja minden üzenet és válaszának két sorát és a kapcsolatok kezdetének és végének "
                       "sorát; a hibák és a mentési hibák maradnak, és --summary-interval időnként összesítő sor "
                       "jön, benne a kapcsolatok száma."));
    parser.addOption(quietOption);
    const QCommandLineOption summaryOption(QStringLiteral("summary-interval"),
        QStringLiteral("Ennyi másodperc telik el a --quiet-messages összesítő sorai között (alapértelmezés: 60)."),
        QStringLiteral("MP"));
    parser.addOption(summaryOption);
    const QCommandLineOption listDevicesOption(QStringLiteral("list-devices"),
        QStringLiteral("Kiírja azoknak az eszközöknek a nevét, amelyeknek van napi fájljuk, soronként egyet, és "
                       "kilép: ebből lesz az ismert eszközök első listája."));
    const QCommandLineOption balancerOption(QStringLiteral("balancer"),
        QStringLiteral("Az ezen a címen álló terheléselosztótól fogadja a PROXY protokollt (1-es vagy 2-es "
                       "változat), és csak tőle; több terheléselosztóhoz ismételhető."),
        QStringLiteral("CÍM"));
    const QCommandLineOption perAddressOption(QStringLiteral("max-per-address"),
        QStringLiteral("Egy címről egyszerre legfeljebb N kapcsolatot fogad, a többit elutasítja (alapértelmezés: "
                       "akármennyit)."),
        QStringLiteral("N"));
    const QCommandLineOption prefixOption(QStringLiteral("ipv6-prefix"),
        QStringLiteral("A --max-per-address az IPv6-címeket ennyi bites előtagjuk szerint számolja egy címnek "
                       "(alapértelmezés: 64, egy gép hálózata; 128: minden címet külön)."),
        QStringLiteral("BIT"));
    const QCommandLineOption totalOption(QStringLiteral("max-connections"),
        QStringLiteral("Egyszerre legfeljebb N kapcsolatot fogad, a többit elutasítja (alapértelmezés és felső "
                       "határ: a fájlleíró-korlát 31/32 része, de legalább 256)."),
        QStringLiteral("N"));
    const QCommandLineOption knownDevicesOption(QStringLiteral("known-devices"),
        QStringLiteral("Az ismert eszközök listája ebből a fájlból (alapértelmezés: ismert_eszkozok.txt a "
                       "munkamappában); több példány egy közös listát olvashat."),
        QStringLiteral("FÁJL"));
    parser.addOptions(
        {listDevicesOption, knownDevicesOption, balancerOption, perAddressOption, prefixOption, totalOption});

    if (const QString usage = parseCommandLine(parser, arguments); !usage.isEmpty())
        return usage;
    if (parser.isSet(versionOption))
        parser.showVersion();
    options->directory = parser.value(directoryOption);
    options->listen = parser.value(listenOption);
    if (parser.isSet(listenOption) && !isListenAddress(options->listen.toStdString()))
        return QStringLiteral("Nem IPv4- vagy IPv6-cím: %1.").arg(options->listen);
    if (parser.isSet(healthOption)
        && !parseHttpAddress(parser.value(healthOption), &options->healthHost, &options->healthPort))
        return QStringLiteral("A --health értéke nem [CÍM:]PORT alakú: %1.").arg(parser.value(healthOption));
    options->check = parser.isSet(checkOption);
    options->durableAcknowledgements = !parser.isSet(noSync);
    monitoring_t* monitoring = &options->monitoring;
    if (parser.isSet(metricsOption)
        && !parseHttpAddress(parser.value(metricsOption), &monitoring->metricsHost, &monitoring->metricsPort))
        return QStringLiteral("A --metrics értéke nem [CÍM:]PORT alakú: %1.").arg(parser.value(metricsOption));
    monitoring->quietMessages = parser.isSet(quietOption);
    if (parser.isSet(summaryOption)) {
        bool number = false;
        const int seconds = parser.value(summaryOption).toInt(&number);
        if (!number || seconds < 1)
            return QStringLiteral("A --summary-interval értéke nem pozitív egész számú másodperc: %1.")
                .arg(parser.value(summaryOption));
        monitoring->summaryInterval = std::chrono::seconds(seconds);
    }
    options->listDevices = parser.isSet(listDevicesOption);
    // Named from where the command was given, before --directory moves the working folder.
    if (parser.isSet(knownDevicesOption))
        options->knownDevicesFile = QFileInfo(parser.value(knownDevicesOption)).absoluteFilePath();
    for (const QString& balancer : parser.values(balancerOption)) {
        asio::error_code error;
        const asio::ip::address address = asio::ip::make_address(balancer.toStdString(), error);
        if (error)
            return QStringLiteral("Nem IP-cím: --balancer %1.").arg(balancer);
        options->admission.balancers.insert(peerAddressText(address));
    }
    for (const auto& [option, limit] : {std::pair(&perAddressOption, &options->admission.perAddress),
             std::pair(&totalOption, &options->admission.total)}) {
        if (!parser.isSet(*option))
            continue;
        const std::optional<int> value = limitValue(parser.value(*option));
        if (!value)
            return QStringLiteral("Nem pozitív egész szám: --%1 %2.")
                .arg(option->names().first(), parser.value(*option));
        *limit = *value;
    }
    if (parser.isSet(prefixOption)) {
        bool number = false;
        options->admission.ipv6Prefix = parser.value(prefixOption).toInt(&number);
        if (!number || options->admission.ipv6Prefix < 1 || options->admission.ipv6Prefix > 128)
            return QStringLiteral("Nem 1 és 128 közötti bitszám: --ipv6-prefix %1.").arg(parser.value(prefixOption));
    }
    return QString();
}
