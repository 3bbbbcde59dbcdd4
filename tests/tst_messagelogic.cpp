#include "recording/dailyfile.h"
#include "recording/devicename.h"
#include "server/timerinterval.h"
#include "settings/settings.h"

#include <QtTest>

#include <climits>

class MessageLogicTest final : public QObject
{
    Q_OBJECT

private slots:
    void verdict_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<int>("computed"); // -1: left untouched

        const QByteArray zeros = "$08" + QByteArray(128, '0');
        const QByteArray ones = "$08" + QByteArray(128, '1');
        QTest::newRow("worked example, field 04 reads 4") << zeros + "04" << 0 << -1;
        QTest::newRow("6376 keeps its low 8 bits: 32") << ones + "32" << 0 << -1;
        QTest::newRow("wrong checksum hands back 32") << ones + "00" << 1 << 32;
        // 104 + 127 * 48 + 44 (",") = 6244; % 256 = 100; % 100 = 0.
        QTest::newRow("punctuation summed, letters field reads 0") << "$08" + QByteArray(127, '0') + ",AB" << 0 << -1;
        QTest::newRow("empty") << QByteArray() << 2 << -1;
        QTest::newRow("133 characters without $") << "X08" + QByteArray(128, '0') + "04" << 2 << -1;
        QTest::newRow("$ and 132 characters") << zeros + "4" << 3 << -1;
        QTest::newRow("$ and 134 characters") << zeros + "044" << 3 << -1;
    }

    void verdict()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, verdict);
        QFETCH(int, computed);
        int handedBack = -1;
        QCOMPARE(settings_t::calcChks(QString::fromLatin1(message), &handedBack), verdict);
        QCOMPARE(handedBack, computed);
    }

    void timerInterval_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("milliseconds");
        QTest::newRow("default socket timeout") << 30 << 30000;
        QTest::newRow("largest that fits") << 2147483 << 2147483000;
        QTest::newRow("one more overflows int") << 2147484 << INT_MAX;
        QTest::newRow("negative") << -5 << 0;
    }

    void timerInterval()
    {
        QFETCH(int, seconds);
        QFETCH(int, milliseconds);
        QCOMPARE(::timerInterval(seconds), milliseconds);
    }

    void deviceName_data()
    {
        QTest::addColumn<QString>("nameField");
        QTest::addColumn<QString>("name");
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
        const QString message = QStringLiteral("$08") + nameField.leftJustified(32, QLatin1Char(' '))
            + QString(98, QLatin1Char('0')); // the checksum is not looked at
        QCOMPARE(::deviceName(message), name);
    }

    void dailyFileName()
    {
        const QDate day(2026, 12, 5);
        QCOMPARE(::dailyFileName(
                     filename_t(QStringLiteral("d_"), QString(), QStringLiteral("C:/data/")), QStringLiteral("X"), day),
            QStringLiteral("C:/data/d_X-log_2026-12-05"));
        QCOMPARE(::dailyFileName(filename_t(QString(), QStringLiteral(".txt"), QString()), QString(), day),
            QStringLiteral("-log_2026-12-05.txt"));
    }

    void timeStamp()
    {
        QCOMPARE(formatTimeStamp(QDateTime(QDate(2026, 12, 5), QTime(9, 5, 7))),
            QStringLiteral("2026.12.05  09:05:07  -  "));
        QCOMPARE(formatTimeStamp(QDateTime(QDate(2026, 1, 31), QTime(17, 30, 0))),
            QStringLiteral("2026.01.31  17:30:00  -  "));
    }
};

QTEST_MAIN(MessageLogicTest)
#include "tst_messagelogic.moc"
