#include "engine/engine.h"
#include "recording/fileops.h"
#include "tests/serverfixture.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Every call by which the server changed what a disk would hold, in the order they happened.
struct Change
{
    enum Kind { Create, Write, SyncFile, SyncFolder, SyncAll } kind;
    QByteArray path; // of the file; empty for folders
    QByteArray bytes;
};

std::mutex recording;
std::vector<Change> changes;
QHash<FileHandle, QByteArray> pathOf; // of each open file

bool recordedSync(bool (*sync)(FileHandle), Change::Kind kind, FileHandle file)
{
    const std::lock_guard lock(recording);
    const bool synced = sync(file);
    if (synced)
        changes.push_back({kind, pathOf.value(file), {}});
    return synced;
}

// The system's own calls, each recorded as it succeeds. A platform without folder or file-system
// syncs has none to record.
FileOps recordingOps()
{
    FileOps ops = systemFileOps();
    ops.open = [](const QByteArray& name, FileOpen how) {
        const std::lock_guard lock(recording);
        const FileHandle file = systemFileOps().open(name, how);
        if (file >= 0 && how != FileOpen::Folder)
            pathOf.insert(file, name);
        if (file >= 0 && how == FileOpen::New)
            changes.push_back({Change::Create, name, {}});
        return file;
    };
    ops.write = [](FileHandle file, const char* data, std::size_t size) {
        const std::lock_guard lock(recording);
        const long long written = systemFileOps().write(file, data, size);
        if (written > 0)
            changes.push_back({Change::Write, pathOf.value(file), QByteArray(data, qsizetype(written))});
        return written;
    };
    ops.syncFile = [](FileHandle file) { return recordedSync(systemFileOps().syncFile, Change::SyncFile, file); };
    if (ops.syncFolder)
        ops.syncFolder
            = [](FileHandle folder) { return recordedSync(systemFileOps().syncFolder, Change::SyncFolder, folder); };
    if (ops.syncFileSystem)
        ops.syncFileSystem
            = [](FileHandle any) { return recordedSync(systemFileOps().syncFileSystem, Change::SyncAll, any); };
    ops.close = [](FileHandle file) {
        const std::lock_guard lock(recording);
        pathOf.remove(file);
        systemFileOps().close(file);
    };
    return ops;
}

// What the disk holds after a power cut before change `cut`: what a sync made durable, and of the
// rest whatever the disk happened to write: a file whose folder was not synced may be gone, and
// lines written since the file's last sync may be there, in part or not at all.
QHash<QByteArray, QByteArray> diskAfterCut(std::size_t cut, std::minstd_rand& chance)
{
    struct File
    {
        QByteArray written, durable;
        bool listed = false; // its folder entry is durable
    };
    QHash<QByteArray, File> files;
    for (std::size_t i = 0; i < cut; ++i) {
        const Change& change = changes[i];
        File* file = change.path.isEmpty() ? nullptr : &files[change.path];
        if (change.kind == Change::Write)
            file->written += change.bytes;
        else if (change.kind == Change::SyncFile)
            file->durable = file->written;
        // Where folders are not synced, a file's own sync makes it durable with its folder entry.
        if (change.kind == Change::SyncFile && !systemFileOps().syncFolder)
            file->listed = true;
        for (File& each : files) {
            each.listed = each.listed || change.kind == Change::SyncFolder || change.kind == Change::SyncAll;
            if (change.kind == Change::SyncAll)
                each.durable = each.written;
        }
    }
    QHash<QByteArray, QByteArray> disk;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (it->listed || chance() % 2)
            disk.insert(it.key(),
                it->written.left(it->durable.size() + chance() % (it->written.size() - it->durable.size() + 1)));
    }
    return disk;
}

constexpr auto message = messages::numbered;
constexpr auto fileOf = messages::fileOfNumbered;

// Set for a copy of this program that runs the window's server on this port until it is killed.
constexpr char servePortVariable[] = "STILWATER_TEST_SERVE_PORT";

} // namespace

class PowerCutTest final : public StilwaterTest
{
    Q_OBJECT

private slots:
    void init()
    {
        StilwaterTest::init();
        setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(9, 5, 7)); });
    }

    // Devices send at full speed, each message after the reply to the one before, while every call
    // that changes the disk is recorded; then power is cut before each of many of those calls in
    // turn. Every message acknowledged by then must be on the disk, whole, on a line of its own, and
    // a line written after the cut never glues to a torn one.
    void everyAcknowledgedMessageSurvivesACut_data()
    {
        QTest::addColumn<bool>("durable");
        QTest::newRow("durable acknowledgements") << true;
        QTest::newRow("without: acknowledged messages lost") << false;
    }

    void everyAcknowledgedMessageSurvivesACut()
    {
        QFETCH(bool, durable);
        changes.clear();
        setFileOps(recordingOps());
        auto server = std::make_unique<BareServer>();
        server->engine.setDurableAcknowledgements(durable);
        QVERIFY(server->start());
        const settings_t settings = server->settings;
        constexpr int devices = 12;
        constexpr int perDevice = 40;
        std::vector<std::unique_ptr<Device>> fleet;
        std::vector<std::pair<QByteArray, std::size_t>> acknowledged; // with the number of changes by then
        for (int d = 0; d < devices; ++d) {
            Device& device = *fleet.emplace_back(std::make_unique<Device>(quint16(settings.port)));
            QObject::connect(&device.tcp(), &QTcpSocket::readyRead, &device.tcp(), [&, d] {
                const int count = int(device.received().size() / 2);
                const std::lock_guard lock(recording);
                acknowledged.emplace_back(message(d, count - 1), changes.size());
                if (count < perDevice)
                    device.send(message(d, count));
            });
            device.send(message(d, 0));
        }
        QTRY_COMPARE_WITH_TIMEOUT(acknowledged.size(), std::size_t(devices * perDevice), 30000);
        server.reset(); // its files closed, its threads gone
        setFileOps({});

        std::minstd_rand chance(7);
        int lost = 0;
        for (std::size_t cut = 0; cut <= changes.size(); cut += std::max<std::size_t>(1, changes.size() / 300)) {
            const QHash<QByteArray, QByteArray> disk = diskAfterCut(cut, chance);
            for (const auto& [text, changesBefore] : acknowledged) {
                const QByteArray file = nativeFileName(fileOf(text.mid(3, 32).trimmed().mid(1).toInt()));
                lost += changesBefore <= cut && !disk.value(file).split('\n').contains(text + '\r');
            }
        }
        QCOMPARE(lost > 0, !durable);
        if (!durable)
            return;

        // The server starts again on what a cut left, torn lines and all.
        for (int round = 0; round < 4; ++round) {
            ScopedWorkDir after;
            const QHash<QByteArray, QByteArray> disk = diskAfterCut(changes.size() * (round + 1) / 5, chance);
            for (int d = 0; d < devices; ++d) {
                if (disk.contains(nativeFileName(fileOf(d))))
                    writeFile(fileOf(d), disk.value(nativeFileName(fileOf(d))));
            }
            Engine again;
            QVERIFY(again.start(settings));
            for (int d = 0; d < devices; ++d) {
                Device device(quint16(settings.port));
                device.send(message(d, perDevice));
                QTRY_COMPARE(device.received(), QByteArray("ok"));
                const QByteArray now = readFileBytes(fileOf(d));
                QVERIFY(now.startsWith(disk.value(nativeFileName(fileOf(d)))));
                QVERIFY(now.endsWith('\n' + message(d, perDevice) + "\r\n") || now == message(d, perDevice) + "\r\n");
            }
            again.stop(Engine::StopLine::Omit, {});
            QTRY_VERIFY(!again.running());
        }
    }

    // The window program killed as Task Manager's "End task" or a SIGKILL does, while twenty devices
    // send at full speed: every message it acknowledged is in its day file, since the reply follows
    // the write.
    void aKilledProgramKeepsWhatItAcknowledged()
    {
        const QByteArray port = QByteArray::number(freeLoopbackPort());
        QProcess server;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QLatin1String(servePortVariable), QString::fromLatin1(port));
        server.setProcessEnvironment(environment);
        server.setProcessChannelMode(QProcess::ForwardedChannels);
        server.start(QCoreApplication::applicationFilePath(), {});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(u"serving"_s), 30000);

        constexpr int devices = 20;
        std::vector<std::unique_ptr<Device>> fleet;
        QByteArrayList acknowledged;
        for (int d = 0; d < devices; ++d) {
            Device& device = *fleet.emplace_back(std::make_unique<Device>(quint16(port.toInt())));
            QObject::connect(&device.tcp(), &QTcpSocket::readyRead, &device.tcp(), [&, d] {
                const int count = int(device.received().size() / 2);
                acknowledged << message(d, count - 1);
                if (device.connected())
                    device.send(message(d, count));
            });
            device.send(message(d, 0));
        }
        QTRY_VERIFY_WITH_TIMEOUT(acknowledged.size() >= 30 * devices, 60000);
        server.kill();
        QVERIFY(server.waitForFinished());

        QSet<QByteArray> stored;
        for (const QString& name : QDir().entryList({u"D*"_s}, QDir::Files)) { // dated by the copy's own clock
            for (const QByteArray& line : readFileBytes(name).split('\n'))
                stored << line;
        }
        const auto missing = std::count_if(acknowledged.cbegin(), acknowledged.cend(),
            [&stored](const QByteArray& text) { return !stored.contains(text + '\r'); });
        QCOMPARE(missing, 0);
    }
};

// The test program, or a copy of it serving until it is killed.
int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (const QByteArray port = qgetenv(servePortVariable); !port.isEmpty()) {
        initStilwaterTests();
        TestConfig config;
        config.port = port;
        ServerWindow server(config);
        server.pressStart();
        if (server.window().server().running())
            writeFile(u"serving"_s, {});
        return application.exec();
    }
    PowerCutTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_powercut.moc"
