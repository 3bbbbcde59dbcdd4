#include "settings/configfile.h"
#include "settings/settings.h"

#include <QtTest>

namespace {

const QByteArray header = "*** GPRS Data Server Config File ***";
const QByteArrayList defaults {header, "10001", "30", "", ".txt", "", "0", "bak_", ".txt", "", "ok", "", ""};
// Every value differs from its default; the folders, never read back, are empty as written.
const QByteArrayList custom {header, "2000", "45", "pre", "csv", "", "1", "b_", ".bak", "", "ACK", "CE", "SE"};

QByteArray joined(const QByteArrayList& lines, const QByteArray& lineEnd = "\r\n")
{
    return lines.join(lineEnd) + lineEnd;
}

} // namespace

class ConfigFileTest final : public QObject
{
    Q_OBJECT

private slots:
    // One line of a 13-line file changed: what the record takes from it, as the next save writes it.
    void lineIsReadBack_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("read");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("values as stored") << 1 << header << header;
        QTest::newRow("any header") << 1 << QByteArray("header") << header;
        QTest::newRow("folders are not read") << 6 << QByteArray("/data/") << QByteArray();
        QTest::newRow("spaces anywhere in a number") << 2 << QByteArray(" 10 0 01 ") << QByteArray("10001");
        QTest::newRow("spaces inside a reply") << 11 << QByteArray("two words") << QByteArray("twowords");
        QTest::newRow("tabs stay") << 4 << QByteArray("\tp x") << QByteArray("\tpx");
        QTest::newRow("port 0") << 2 << QByteArray("0") << QByteArray("0");
        QTest::newRow("port above 65535 kept") << 2 << QByteArray("70000") << QByteArray("70000");
        QTest::newRow("letters read as 0") << 3 << QByteArray("abc") << QByteArray("0");
        QTest::newRow("too large reads as 0") << 3 << QByteArray("99999999999") << QByteArray("0");
        QTest::newRow("backup spaced 1") << 7 << QByteArray(" 1 ") << QByteArray("1");
        QTest::newRow("backup 0") << 7 << QByteArray("0") << QByteArray("0");
        QTest::newRow("backup empty") << 7 << QByteArray() << QByteArray("0");
        QTest::newRow("backup true") << 7 << QByteArray("true") << QByteArray("0");
        QTest::newRow("backup 2") << 7 << QByteArray("2") << QByteArray("0");
    }

    void lineIsReadBack()
    {
        QFETCH(int, line);
        QFETCH(QByteArray, read);
        QFETCH(QByteArray, written);
        QByteArrayList lines = custom;
        lines[line - 1] = read;
        settings_t s;
        QVERIFY(applyConfigText(joined(lines), s));
        lines[line - 1] = written;
        QCOMPARE(configText(s), joined(lines));
    }

    // Loading is all or nothing.
    void wholeFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("taken");
        QTest::newRow("bare line feeds") << joined(custom, "\n") << true;
        QTest::newRow("last line without line end") << joined(custom).chopped(2) << true;
        QTest::newRow("12 lines") << joined(custom.mid(0, 12)) << false;
        QTest::newRow("14 lines, last one empty") << joined(custom) + "\r\n" << false;
        QTest::newRow("14 lines, last without line end") << joined(custom) + "x" << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void wholeFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, taken);
        settings_t s;
        QCOMPARE(applyConfigText(text, s), taken);
        QCOMPARE(configText(s), joined(taken ? custom : defaults));
    }
};

QTEST_MAIN(ConfigFileTest)
#include "tst_configfile.moc"
