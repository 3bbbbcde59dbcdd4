#include "app/mainwindow.h"
#include "settings/configfile.h"
#include "settings/settings.h"
#include "tests/testsupport.h"

#include <QFile>
#include <QScopeGuard>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray defaultConfig = "*** GPRS Data Server Config File ***\r\n"
                                 "10001\r\n"
                                 "30\r\n"
                                 "\r\n"
                                 ".txt\r\n"
                                 "\r\n"
                                 "0\r\n"
                                 "bak_\r\n"
                                 ".txt\r\n"
                                 "\r\n"
                                 "ok\r\n"
                                 "\r\n"
                                 "\r\n";

QByteArray configLines(const QList<QByteArray>& lines, const QByteArray& lineEnd = "\r\n")
{
    QByteArray text;
    for (const QByteArray& line : lines)
        text += line + lineEnd;
    return text;
}

const QList<QByteArray> customLines {
    "header", "2000", "45", "pre", "csv", "/data/", "1", "b_", ".bak", "/bak/", "ACK", "CE", "SE"};

} // namespace

class ConfigFileTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initStilwaterTests(); }

    void defaultsWrittenAsThirteenCrLfLines() { QCOMPARE(configText(settings_t()), defaultConfig); }

    void recordDefaults()
    {
        const settings_t s;
        QCOMPARE(s.ip, QStringLiteral("-"));
        QCOMPARE(s.port, 10001);
        QCOMPARE(s.socket_timeout, 30);
        QCOMPARE(s.msg_timeout, 5);
        QCOMPARE(s.backup.prefix, QStringLiteral("bak_"));
        QCOMPARE(s.pattern.size(), 133);
        QVERIFY(s.pattern.startsWith(QStringLiteral("$08XXX")));
        QVERIFY(s.pattern.endsWith(QStringLiteral("XX##")));
        QCOMPARE(s.pattern.count(QLatin1Char('X')), 128);
        QVERIFY(s.server == nullptr);
        QVERIFY(s.clients.isEmpty());
        const client_t c;
        QCOMPARE(c.closeReason, 0);
        QVERIFY(c.socketTimer == nullptr && c.msgTimer == nullptr && c.socket == nullptr);
    }

    void readingTakesElevenValues()
    {
        settings_t s;
        QVERIFY(applyConfigText(configLines(customLines), s));
        QCOMPARE(s.port, 2000);
        QCOMPARE(s.socket_timeout, 45);
        QCOMPARE(s.file.prefix, QStringLiteral("pre"));
        QCOMPARE(s.file.ext, QStringLiteral("csv")); // taken without adding a "."
        QCOMPARE(s.file.path, QString()); // folders are never read back
        QVERIFY(s.make_backup);
        QCOMPARE(s.backup.prefix, QStringLiteral("b_"));
        QCOMPARE(s.backup.ext, QStringLiteral(".bak"));
        QCOMPARE(s.backup.path, QString());
        QCOMPARE(s.ack, QStringLiteral("ACK"));
        QCOMPARE(s.error_chks, QStringLiteral("CE"));
        QCOMPARE(s.error_syntax, QStringLiteral("SE"));
        QCOMPARE(s.msg_timeout, 5);
    }

    void spacesRemovedAnywhereInALine()
    {
        QList<QByteArray> lines = customLines;
        lines[1] = " 10 0 01 ";
        lines[10] = "two words";
        lines[3] = "\tp x";
        settings_t s;
        QVERIFY(applyConfigText(configLines(lines), s));
        QCOMPARE(s.port, 10001);
        QCOMPARE(s.ack, QStringLiteral("twowords"));
        QCOMPARE(s.file.prefix, QStringLiteral("\tpx")); // tabs stay
    }

    void numbersThatAreNotNumbersReadAsZero()
    {
        QList<QByteArray> lines = customLines;
        lines[1] = "0";
        lines[2] = "abc";
        settings_t s;
        QVERIFY(applyConfigText(configLines(lines), s));
        QCOMPARE(s.port, 0);
        QCOMPARE(s.socket_timeout, 0);
        QCOMPARE(s.ack, QStringLiteral("ACK")); // the other values are still taken

        lines[1] = "70000";
        lines[2] = "99999999999";
        QVERIFY(applyConfigText(configLines(lines), s));
        QCOMPARE(s.port, 70000);
        QCOMPARE(s.socket_timeout, 0);
    }

    void backupSwitch_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("on");
        QTest::newRow("1") << QByteArray("1") << true;
        QTest::newRow("spaced 1") << QByteArray(" 1 ") << true;
        QTest::newRow("0") << QByteArray("0") << false;
        QTest::newRow("empty") << QByteArray("") << false;
        QTest::newRow("true") << QByteArray("true") << false;
        QTest::newRow("2") << QByteArray("2") << false;
    }
    void backupSwitch()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, on);
        QList<QByteArray> lines = customLines;
        lines[6] = line;
        settings_t s;
        s.make_backup = !on;
        QVERIFY(applyConfigText(configLines(lines), s));
        QCOMPARE(s.make_backup, on);
    }

    void wrongLineCountKeepsEveryDefault_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("12 lines") << configLines(customLines.mid(0, 12));
        QTest::newRow("14 lines, extra empty one") << configLines(customLines) + "\r\n";
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("13 lines, last without line end") << configLines(customLines).chopped(2) + "\r\nx";
    }
    void wrongLineCountKeepsEveryDefault()
    {
        QFETCH(QByteArray, text);
        settings_t s;
        QVERIFY(!applyConfigText(text, s));
        QCOMPARE(configText(s), defaultConfig);
    }

    void lineEndsMayBeBareLineFeeds()
    {
        settings_t crlf, lf;
        QVERIFY(applyConfigText(configLines(customLines, "\n"), lf));
        QVERIFY(applyConfigText(configLines(customLines), crlf));
        QCOMPARE(configText(lf), configText(crlf));
    }

    void lastLineWithoutLineEndCounts()
    {
        settings_t s;
        QVERIFY(applyConfigText(configLines(customLines).chopped(2), s));
        QCOMPARE(s.error_syntax, QStringLiteral("SE"));
    }

    void firstRunWritesDefaultsOnClose()
    {
        ScopedWorkDir dir;
        {
            MainWindow window;
            window.show();
            QVERIFY(window.close());
        }
        QCOMPARE(readFileBytes(dir.filePath(QStringLiteral("config.cfg"))), defaultConfig);
    }

    void storedSettingsComeBackAtTheNextStart_data()
    {
        QTest::addColumn<bool>("folderReadOnly");
        QTest::newRow("writable folder") << false;
        QTest::newRow("read-only folder: written in place") << true;
    }

    void storedSettingsComeBackAtTheNextStart()
    {
        QFETCH(bool, folderReadOnly);
        ScopedWorkDir dir;
        QList<QByteArray> lines = customLines;
        lines[4] = ".csv";
        lines[10] = "A CK";
        writeConfigFile(configLines(lines));
        auto window = std::make_unique<MainWindow>();
        QCOMPARE(window->currentSettings().ack, QStringLiteral("ACK"));
        if (folderReadOnly) {
            const QByteArray folder = QFile::encodeName(dir.path());
            const auto restore = qScopeGuard([&] {
                chmod(folder, 0700);
                return seteuid(getuid());
            });
            QVERIFY(chmod("config.cfg", 0666) == 0 && chmod(folder, 0555) == 0);
            // Saved by an ordinary user (nobody), since root may create files in any folder.
            QCOMPARE(seteuid(getuid() == 0 ? 65534 : getuid()), 0);
            window.reset();
        }
        window.reset();
        lines[5] = lines[9] = "";
        lines[0] = "*** GPRS Data Server Config File ***";
        lines[10] = "ACK";
        QCOMPARE(readFileBytes(QStringLiteral("config.cfg")), configLines(lines));
    }

    void unreadableConfigKeepsDefaultsAndIsReplacedWhole()
    {
        ScopedWorkDir dir;
        // A folder where the file should be: it exists, cannot be read, and cannot be replaced.
        QVERIFY(QDir().mkdir(QStringLiteral("config.cfg")));
        {
            MainWindow window;
            QCOMPARE(window.currentSettings().port, 10001);
        }
        QVERIFY(QFileInfo(QStringLiteral("config.cfg")).isDir());
    }
};

QTEST_MAIN(ConfigFileTest)
#include "tst_configfile.moc"
