#include "bench/hostile.h"

#include "bench/freeport.h"
#include "bench/simrun.h"
#include "bench/waituntil.h"
#include "settings/configfile.h"
#include "settings/settings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int realDevices = 20;

// What one source address can do over a mobile uplink: about 8 MB/s of junk, a thousand invented
// names a second, a thousand connections that never send.
QList<QStringList> attacks(int seconds)
{
    const QString duration = QString::number(seconds + 3);
    return {
        {u"--attack"_s, u"names"_s, u"--attack-rate"_s, u"1000"_s, u"--attack-connections"_s, u"20"_s, u"--from"_s,
            u"127.0.0.66"_s, u"--duration"_s, duration},
        {u"--attack"_s, u"silent"_s, u"--attack-connections"_s, u"1000"_s, u"--from"_s, u"127.0.0.67"_s,
            u"--duration"_s, duration},
        {u"--attack"_s, u"endless"_s, u"--attack-rate"_s, u"8000000"_s, u"--from"_s, u"127.0.0.68"_s, u"--duration"_s,
            duration},
        {u"--attack"_s, u"junk"_s, u"--attack-rate"_s, u"8000000"_s, u"--from"_s, u"127.0.0.69"_s, u"--duration"_s,
            duration},
    };
}

qint64 peakResidentBytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

struct Outcome
{
    double alone = 0;
    double attacked = 0;
    qsizetype unknownFiles = 0;
    qint64 peakBytes = 0;
    QString problem;
    QStringList attackers; // what each attack says it did
};

Outcome measure(bool guarded, int seconds)
{
    Outcome outcome;
    QTemporaryDir dir;
    settings_t settings;
    settings.port = freeServerPort();
    QFile config(dir.filePath(configFileName()));
    QStringList options {u"--directory"_s, dir.path()};
    if (!config.open(QIODevice::WriteOnly) || config.write(configText(settings)) < 0) {
        outcome.problem = u"no config.cfg"_s;
        return outcome;
    }
    config.close();
    if (guarded) {
        QFile list(dir.filePath(u"ismert_eszkozok.txt"_s));
        if (!list.open(QIODevice::WriteOnly)) {
            outcome.problem = u"no list"_s;
            return outcome;
        }
        for (int device = 1; device <= realDevices; ++device)
            list.write(QByteArray("SIM") + QByteArray::number(device) + '\n');
        options << u"--max-per-address"_s << u"64"_s;
    }
    QProcess server;
    server.setStandardOutputFile(QProcess::nullDevice());
    server.start(QStringLiteral(STILWATER_SERVER), options);
    // A connection tells when it serves; listening on the port to find out could take it from the server.
    waitUntil(
        [&] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, quint16(settings.port));
            return probe.waitForConnected(100);
        },
        20000);
    if (server.state() != QProcess::Running) {
        outcome.problem = u"the server did not start: "_s + QString::fromLocal8Bit(server.readAllStandardError());
        return outcome;
    }

    const QStringList fleet {
        u"--devices"_s, QString::number(realDevices), u"--duration"_s, QString::number(seconds), u"--json"_s};
    const SimResult alone = runSim(QStringLiteral(STILWATER_SIM), quint16(settings.port), fleet);
    std::vector<std::unique_ptr<QProcess>> attackers;
    for (const QStringList& attack : attacks(seconds)) {
        auto& attacker = attackers.emplace_back(std::make_unique<QProcess>());
        attacker->start(
            QStringLiteral(STILWATER_SIM), attack + QStringList {u"--port"_s, QString::number(settings.port)});
    }
    // The attacks are under way before the devices start.
    waitUntil([] { return false; }, 1500);
    const SimResult attacked = runSim(QStringLiteral(STILWATER_SIM), quint16(settings.port), fleet);
    for (auto& attacker : attackers) {
        attacker->waitForFinished(30000);
        outcome.attackers << QString::fromLocal8Bit(attacker->readAllStandardOutput()).trimmed();
    }
    // The devices alone before and after the attack: the machine's own drift is no part of the share.
    const SimResult aloneAfter = runSim(QStringLiteral(STILWATER_SIM), quint16(settings.port), fleet);
    outcome.peakBytes = peakResidentBytes(server.processId());
    server.terminate();
    server.waitForFinished(30000);

    outcome.alone = (alone.rate + aloneAfter.rate) / 2;
    outcome.attacked = attacked.rate;
    outcome.unknownFiles = QDir(dir.path()).entryList({u"X*"_s}, QDir::Files).size();
    outcome.problem = alone.problem + attacked.problem + aloneAfter.problem;
    return outcome;
}

} // namespace

bool measureHostile(QTextStream& out, int seconds)
{
    out << "\nhostile: 20 devices while names (1,000/s), 1,000 silent connections, endless bytes and junk (8 MB/s "
           "each) come from four addresses\n"
           "server | devices alone msg/s (before and after) | under attack msg/s | share | files for invented names | "
           "peak resident\n";
    bool made = true;
    for (const bool guarded : {false, true}) {
        const Outcome o = measure(guarded, seconds);
        out << (guarded ? "list, 64 per address" : "open, as without guards") << " | " << qRound(o.alone) << " | "
            << qRound(o.attacked) << " | " << QString::number(o.alone > 0 ? o.attacked / o.alone : 0, 'f', 2) << " | "
            << o.unknownFiles << " | " << o.peakBytes / 1000000 << " MB\n";
        for (const QString& attacker : o.attackers)
            out << "  attack: " << attacker << '\n';
        out.flush();
        if (!o.problem.isEmpty()) {
            out << "FAILED: " << o.problem << '\n';
            made = false;
        }
    }
    return made;
}
