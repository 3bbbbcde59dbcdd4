#include "tools/sim/simoptions.h"

#include "settings/parsertexts.h"

#include <QCommandLineParser>
#include <QHostAddress>

namespace {

const char* const description = R"(Szimulált terepi eszközök egy Stilwater adatszerverhez.

Minden eszköz saját TCP-kapcsolatot nyit, az eszközök formátumában küld üzeneteket („$08”, 32 karakteres
névmező, 96 számjegy, amely az eszköz számát és az üzenet sorszámát hordozza, két ellenőrzőösszeg-számjegy),
és minden választ ellenőriz. Kilépési kód: 0, ha minden válasz a várt volt, 1, ha valamelyik nem, 2 hibás
parancssornál (ismeretlen kapcsoló, hiányzó vagy hibás érték) vagy ha a szerver nem érhető el.

Példák:
  stilwater-sim --host 192.0.2.10 --port 10001 --messages 5
      egy eszköz, öt üzenet, az alapértelmezett „ok” nyugtázást várja
  stilwater-sim --devices 20 --messages 1000 --bad-checksum 0.1 --expect-chks CE --noise 0.05 --expect-syntax SE
      20 eszköz, az üzenetek tizede hibás ellenőrzőösszeggel, minden huszadik zaj után
  stilwater-sim --devices 10000 --rate 0.1 --duration 60 --json
      10 000 eszköz, mindegyik tíz másodpercenként küld egy üzenetet egy percig; összesítés JSON-ban
  stilwater-sim --devices 16 --duration 10 --reconnect --from 127.0.0.2,127.0.0.3 --ack-log acks
      16 eszköz két forráscímről, amelyek újra kapcsolódnak, és újra elküldik, amit a szerver nem
      nyugtázott, ahogy a valódi eszközök, amikor egy terheléselosztó mögötti szerver kiesik
  stilwater-sim --attack names --attack-rate 1000 --duration 5
      ellenséges kliens a loopback címen: másodpercenként ezer kitalált eszköznév öt másodpercig)";

bool readProportion(const QString& text, double* value)
{
    bool ok = false;
    *value = text.toDouble(&ok);
    return ok && *value >= 0 && *value <= 1;
}

} // namespace

QString parseSimOptions(const QStringList& arguments, SimOptions* options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.addHelpOption();
    const auto add = [&parser](const QString& name, const QString& help, const QString& value = QString()) {
        QCommandLineOption option(name, help, value);
        parser.addOption(option);
        return option;
    };
    const auto host = add(
        QStringLiteral("host"), QStringLiteral("A szerver címe (alapértelmezés: 127.0.0.1)."), QStringLiteral("cím"));
    const auto port = add(
        QStringLiteral("port"), QStringLiteral("A szerver portja (alapértelmezés: 10001)."), QStringLiteral("port"));
    const auto devices = add(QStringLiteral("devices"),
        QStringLiteral("Az eszközök száma, mindegyik saját kapcsolaton (alapértelmezés: 1)."), QStringLiteral("N"));
    const auto messages = add(QStringLiteral("messages"),
        QStringLiteral("Üzenetek száma eszközönként (alapértelmezés: 10)."), QStringLiteral("M"));
    const auto duration = add(QStringLiteral("duration"),
        QStringLiteral("Adott számú üzenet helyett MP másodpercig küld, attól számítva, hogy minden eszköz "
                       "kapcsolódott."),
        QStringLiteral("MP"));
    const auto rate = add(QStringLiteral("rate"),
        QStringLiteral("Üzenetek másodpercenként eszközönként, pl. 0.1: tíz másodpercenként egy; 0 (alapértelmezés): "
                       "minden eszköz azonnal küldi a következő üzenetét, amint megjött a válasz az előzőre."),
        QStringLiteral("R"));
    const auto prefix = add(QStringLiteral("name-prefix"),
        QStringLiteral("A k-adik eszköz névmezője: SZÖVEG, utána k (alapértelmezés: SIM, tehát SIM1, SIM2, ...). "
                       "A szerver napi fájljai erről kapják a nevüket."),
        QStringLiteral("SZÖVEG"));
    const auto badChecksum = add(QStringLiteral("bad-checksum"),
        QStringLiteral("Az üzenetek P hányada (0 és 1 között) hibás ellenőrzőösszeggel megy; a válasz rájuk a "
                       "--expect-chks."),
        QStringLiteral("P"));
    const auto badLength = add(QStringLiteral("bad-length"),
        QStringLiteral("Az üzenetek P hányada két karakterrel rövidebb; a válasz rájuk a --expect-syntax. A szerver "
                       "csak a következő üzenet kezdetekor válaszol a rövidre, ezért az eszköz azt azonnal "
                       "küldi, és egy eszköz utolsó üzenete sosem rövid."),
        QStringLiteral("P"));
    const auto noise = add(QStringLiteral("noise"),
        QStringLiteral("Az üzenetek P hányada előtt néhány karakternyi zaj megy; a zajra külön --expect-syntax "
                       "válasz jön, az üzenet válasza előtt."),
        QStringLiteral("P"));
    const auto split = add(QStringLiteral("split"),
        QStringLiteral("Minden üzenetet K darabban ír (alapértelmezés: 1)."), QStringLiteral("K"));
    const auto crlf = add(QStringLiteral("crlf"),
        QStringLiteral("Minden üzenet végére CR LF kerül. A soremelésre a szerver mint külön szövegre válaszol "
                       "(--expect-syntax), amikor a következő üzenet elkezdődik."));
    const auto expectAck = add(QStringLiteral("expect-ack"),
        QStringLiteral("Az elfogadott üzenetre várt válasz (alapértelmezés: ok)."), QStringLiteral("SZÖVEG"));
    const auto expectChks = add(QStringLiteral("expect-chks"),
        QStringLiteral("Az ellenőrzőösszeg-hibára várt válasz (alapértelmezés: üres)."), QStringLiteral("SZÖVEG"));
    const auto expectSyntax = add(QStringLiteral("expect-syntax"),
        QStringLiteral("A szintaktikai hibára várt válasz (alapértelmezés: üres). Üres elvárásnál nem vár választ: "
                       "az eszköz kivárja a --reply-timeout idejét, és a csendet helyesnek számítja."),
        QStringLiteral("SZÖVEG"));
    const auto replyTimeout = add(QStringLiteral("reply-timeout"),
        QStringLiteral("Ennyi ezredmásodpercig vár a válaszra (alapértelmezés: 1000); az időben meg nem érkező "
                       "válasz hibás."),
        QStringLiteral("MS"));
    const auto idle = add(QStringLiteral("idle"),
        QStringLiteral("N további kapcsolatot is nyit, amelyek sosem küldenek, és a végéig nyitva maradnak "
                       "(terheléses próbákhoz)."),
        QStringLiteral("N"));
    const auto connectTimeout = add(QStringLiteral("connect-timeout"),
        QStringLiteral("Feladja, ha MP másodpercen belül nem jön létre minden kapcsolat (alapértelmezés: 60)."),
        QStringLiteral("MP"));
    const auto reconnect = add(QStringLiteral("reconnect"),
        QStringLiteral("Az az eszköz, amelynek megszakad a kapcsolata (a szerver bontja, RST-vel megszakítja vagy "
                       "visszautasítja), "
                       "vagy amelynek a nyugtázása nem jön meg --reply-timeout időn belül, újra kapcsolódik, "
                       "előbb 50–100 ms, majd 1 mp-ig növekvő várakozással a próbálkozások között, és újra "
                       "elküld minden még nem nyugtázott üzenetet; az összesítés ezeket újraküldöttnek számolja. "
                       "Az elutasított első kapcsolódást ugyanígy próbálja újra --connect-timeout idejéig; az "
                       "az eszköz, amely --connect-timeout másodpercig nem tud újra kapcsolódni, feladja, és a "
                       "nem nyugtázott üzenetei hibásnak számítanak."));
    const auto from = add(QStringLiteral("from"),
        QStringLiteral("Ezekről a vesszővel elválasztott helyi címekről kapcsolódik: a k-adik eszköz a k-adikról, "
                       "körbe a listán (pl. 127.0.0.2,127.0.0.3 a loopbacken, ahol a forráscím szerint elosztó "
                       "terheléselosztó így különbözteti meg őket)."),
        QStringLiteral("CÍMEK"));
    const auto ackLog = add(QStringLiteral("ack-log"),
        QStringLiteral("Minden nyugtázott üzenetet beír a FÁJL fájlba, soronként egyet, hogy a szerver adatfájljait "
                       "össze lehessen vetni vele."),
        QStringLiteral("FÁJL"));
    const auto json = add(QStringLiteral("json"),
        QStringLiteral("Az összesítést egyetlen JSON-objektumként írja ki: sent, right, wrong, seconds, rate, "
                       "p50_ms, p95_ms, p99_ms, max_ms, connect_ms, closed_by_server, resent, refused."));

    const auto attack = add(QStringLiteral("attack"),
        QStringLiteral("Eszközök helyett megtámadja a loopback címen futó szervert --duration másodpercig (legfeljebb "
                       "300): names (jól formált üzenetek, mindegyik új, kitalált névvel), silent (kapcsolatok, "
                       "amelyek sosem küldenek), endless (bájtok, amelyek között sosem jön „$”), junk („$” és 999 "
                       "karakter, újra meg újra). Kiírja, mit tett."),
        QStringLiteral("MÓD"));
    const auto attackConnections = add(QStringLiteral("attack-connections"),
        QStringLiteral("Ennyi kapcsolatot tart nyitva a támadás, 1 és 10000 között (alapértelmezés: 1); a bezárt "
                       "kapcsolatot újra megnyitja."),
        QStringLiteral("N"));
    const auto attackRate = add(QStringLiteral("attack-rate"),
        QStringLiteral("Nevek másodpercenként (names), vagy bájtok másodpercenként az összes kapcsolaton együtt "
                       "(endless, junk); 0 (alapértelmezés): amilyen gyorsan ez a gép bírja."),
        QStringLiteral("R"));

    if (const QString usage = parseCommandLine(parser, arguments); !usage.isEmpty())
        return usage;

    const auto integer = [&parser](const QCommandLineOption& option, int minimum, int* value) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        *value = parser.value(option).toInt(&ok);
        return ok && *value >= minimum;
    };
    const auto real = [&parser](const QCommandLineOption& option, double* value) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        *value = parser.value(option).toDouble(&ok);
        return ok && *value >= 0;
    };
    const auto proportion = [&parser](const QCommandLineOption& option, double* value) {
        return !parser.isSet(option) || readProportion(parser.value(option), value);
    };

    int portNumber = options->port;
    if (!integer(port, 1, &portNumber) || portNumber > 65535)
        return QStringLiteral("A --port értéke csak 1 és 65535 közötti szám lehet.");
    options->port = static_cast<quint16>(portNumber);
    if (!integer(devices, 1, &options->devices) || !integer(messages, 1, &options->messages)
        || !integer(split, 1, &options->split) || !integer(replyTimeout, 1, &options->replyTimeoutMs)
        || !integer(idle, 0, &options->idle) || !integer(connectTimeout, 1, &options->connectTimeoutS))
        return QStringLiteral("A --devices, --messages, --split, --reply-timeout és --connect-timeout értéke csak "
                              "pozitív egész szám lehet, a --idle értéke nulla vagy több.");
    if (!real(duration, &options->duration) || !real(rate, &options->rate))
        return QStringLiteral("A --duration és a --rate értéke csak nulla vagy annál nagyobb szám lehet.");
    if (!proportion(badChecksum, &options->badChecksum) || !proportion(badLength, &options->badLength)
        || !proportion(noise, &options->noise))
        return QStringLiteral("A --bad-checksum, --bad-length és --noise értéke csak 0 és 1 közötti arány lehet.");
    if (parser.isSet(from)) {
        options->sourceAddresses = parser.value(from).split(QLatin1Char(','));
        for (const QString& address : std::as_const(options->sourceAddresses)) {
            if (QHostAddress(address).isNull())
                return QStringLiteral("A --from értéke vesszővel elválasztott címek sora, pl. 127.0.0.2,127.0.0.3.");
        }
    }
    if (parser.isSet(host))
        options->host = parser.value(host);
    if (parser.isSet(attack)) {
        const QStringList modes {
            QStringLiteral("names"), QStringLiteral("silent"), QStringLiteral("endless"), QStringLiteral("junk")};
        const qsizetype mode = modes.indexOf(parser.value(attack));
        if (mode < 0)
            return QStringLiteral("A --attack értéke names, silent, endless vagy junk lehet.");
        options->attack = SimOptions::Attack(mode + 1);
        if (!QHostAddress(options->host).isLoopback())
            return QStringLiteral("A --attack csak loopback cím ellen indítható.");
        if (!integer(attackConnections, 1, &options->attackConnections) || options->attackConnections > 10000
            || !real(attackRate, &options->attackRate) || options->duration <= 0)
            return QStringLiteral("A --attack mellé --duration kell, a --attack-connections értéke 1 és 10000 "
                                  "közötti, a --attack-rate értéke nulla vagy több lehet.");
    }
    if (parser.isSet(prefix))
        options->namePrefix = parser.value(prefix);
    if (parser.isSet(expectAck))
        options->expectAck = parser.value(expectAck).toLatin1();
    if (parser.isSet(expectChks))
        options->expectChks = parser.value(expectChks).toLatin1();
    if (parser.isSet(expectSyntax))
        options->expectSyntax = parser.value(expectSyntax).toLatin1();
    options->crlf = parser.isSet(crlf);
    options->reconnect = parser.isSet(reconnect);
    options->ackLog = parser.value(ackLog);
    options->json = parser.isSet(json);
    return QString();
}
