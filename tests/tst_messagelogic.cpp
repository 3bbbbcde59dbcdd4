#include "recording/dailyfile.h"
#include "recording/devicename.h"
#include "server/framing.h"
#include "server/timerinterval.h"
#include "settings/settings.h"

#include <QtTest>

#include <climits>

namespace {

QString text(const QByteArray& latin1)
{
    return QString::fromLatin1(latin1);
}

// A message whose name field holds `name` padded with spaces; its checksum is not looked at.
QString withNameField(const QString& name)
{
    return QStringLiteral("$08") + name.leftJustified(32, QLatin1Char(' ')) + QString(96, QLatin1Char('0'))
        + QStringLiteral("00");
}

} // namespace

class MessageLogicTest final : public QObject
{
    Q_OBJECT

private slots:
    void verdict_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<int>("computed"); // -1: left untouched

        const QByteArray zeros = "$08" + QByteArray(128, '0');
        const QByteArray ones = "$08" + QByteArray(128, '1');
        QTest::newRow("worked example, field 04 reads 4") << text(zeros + "04") << 0 << -1;
        QTest::newRow("6376 keeps its low 8 bits: 32") << text(ones + "32") << 0 << -1;
        QTest::newRow("76 would ignore the 8-bit wrap") << text(ones + "76") << 1 << 32;
        QTest::newRow("wrong checksum hands back 32") << text(ones + "00") << 1 << 32;
        QTest::newRow("checksum without leading zero") << text(zeros + "05") << 1 << 4;
        QTest::newRow("letters in the field read 0") << text(zeros + "AB") << 1 << 4;
        // 104 + 127 * 48 + 44 (",") = 6244; % 256 = 100; % 100 = 0.
        QTest::newRow("punctuation summed, letters field matches 0")
            << text("$08" + QByteArray(127, '0') + ",AB") << 0 << -1;
        QTest::newRow("empty") << QString() << 2 << -1;
        QTest::newRow("133 characters without $") << text("X08" + QByteArray(128, '0') + "04") << 2 << -1;
        QTest::newRow("$ and 132 characters") << text(zeros + "4") << 3 << -1;
        QTest::newRow("$ and 134 characters") << text(zeros + "044") << 3 << -1;
    }

    void verdict()
    {
        QFETCH(QString, message);
        QFETCH(int, verdict);
        QFETCH(int, computed);
        int handedBack = -1;
        QCOMPARE(settings_t::calcChks(message, &handedBack), verdict);
        QCOMPARE(handedBack, computed);
    }

    void frameStep_data()
    {
        QTest::addColumn<QString>("buffer");
        QTest::addColumn<QChar>("character");
        QTest::addColumn<FrameStep>("step");

        QTest::newRow("carriage return") << QStringLiteral("$08") << QChar(u'\r') << FrameStep::Drop;
        QTest::newRow("zero byte") << QStringLiteral("$08") << QChar(u'\0') << FrameStep::Drop;
        QTest::newRow("line feed stays") << QString() << QChar(u'\n') << FrameStep::Append;
        QTest::newRow("noise without $") << QStringLiteral("xy") << QChar(u'z') << FrameStep::Append;
        QTest::newRow("first $") << QString() << QChar(u'$') << FrameStep::Start;
        QTest::newRow("$ after text") << QStringLiteral("xy") << QChar(u'$') << FrameStep::HandOverAndStart;
        QTest::newRow("132nd character") << QString(131, u'0') << QChar(u'0') << FrameStep::Append;
        QTest::newRow("133rd character") << QString(132, u'0') << QChar(u'0') << FrameStep::AppendCompletes;
    }

    void frameStep()
    {
        QFETCH(QString, buffer);
        QFETCH(QChar, character);
        QFETCH(FrameStep, step);
        QCOMPARE(::frameStep(buffer, character), step);
    }

    void timerInterval_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("milliseconds");
        QTest::newRow("default socket timeout") << 30 << 30000;
        QTest::newRow("zero") << 0 << 0;
        QTest::newRow("largest that fits") << 2147483 << 2147483000;
        QTest::newRow("one more overflows int") << 2147484 << INT_MAX;
        QTest::newRow("largest int") << INT_MAX << INT_MAX;
        QTest::newRow("negative: no timer") << -5 << -1;
    }

    void timerInterval()
    {
        QFETCH(int, seconds);
        QFETCH(int, milliseconds);
        QCOMPARE(::timerInterval(seconds).value_or(-1), milliseconds);
    }

    void deviceName_data()
    {
        QTest::addColumn<QString>("nameField");
        QTest::addColumn<QString>("name");
        QTest::newRow("trailing spaces dropped, inner ones _") << QStringLiteral("ABC 12") << QStringLiteral("ABC_12");
        QTest::newRow("leading spaces") << QStringLiteral("  AB") << QStringLiteral("__AB");
        QTest::newRow("only spaces") << QString() << QString();
        QTest::newRow("ordinary characters kept") << QStringLiteral("a.b-c_1") << QStringLiteral("a.b-c_1");
        QTest::newRow("path separators") << QStringLiteral("../../x\\y") << QStringLiteral(".._.._x_y");
        QTest::newRow("refused by Windows") << QStringLiteral("<>:\"|?*") << QStringLiteral("_______");
        QTest::newRow("control characters") << QStringLiteral("a\tb\x7f") << QStringLiteral("a_b_");
        QTest::newRow("only dots") << QStringLiteral("..") << QStringLiteral("__");
        QTest::newRow("one dot") << QStringLiteral(".") << QStringLiteral("_");
    }

    void deviceName()
    {
        QFETCH(QString, nameField);
        QFETCH(QString, name);
        QCOMPARE(::deviceName(withNameField(nameField)), name);
    }

    void dailyFileName_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("data file, defaults") << QString() << QStringLiteral(".txt") << QString()
                                             << QStringLiteral("ABC_12") << QStringLiteral("ABC_12-log_2026-12-05.txt");
        QTest::newRow("backup file, defaults")
            << QStringLiteral("bak_") << QStringLiteral(".txt") << QString() << QStringLiteral("ABC_12")
            << QStringLiteral("bak_ABC_12-log_2026-12-05.txt");
        QTest::newRow("folder, no extension") << QStringLiteral("d_") << QString() << QStringLiteral("C:/data/")
                                              << QStringLiteral("X") << QStringLiteral("C:/data/d_X-log_2026-12-05");
        QTest::newRow("empty name") << QString() << QStringLiteral(".txt") << QString() << QString()
                                    << QStringLiteral("-log_2026-12-05.txt");
    }

    void dailyFileName()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, ext);
        QFETCH(QString, path);
        QFETCH(QString, name);
        QFETCH(QString, fileName);
        QCOMPARE(::dailyFileName(filename_t(prefix, ext, path), name, QDate(2026, 12, 5)), fileName);
    }
};

QTEST_MAIN(MessageLogicTest)
#include "tst_messagelogic.moc"
