#include "app/mainwindow.h"
#include "tests/dialogdriving.h"
#include "tests/testsupport.h"

#include <QDialog>
#include <QLineEdit>
#include <QtTest>

namespace {

const char* const replyFields[] = {"ack", "error_chks", "error_syntax"};

QLineEdit* field(QDialog* dialog, const char* name)
{
    return dialog->findChild<QLineEdit*>(QLatin1String(name));
}

QStringList statusReplies(const MainWindow& window)
{
    return {labelText(window, "l_ack"), labelText(window, "l_error_chks"), labelText(window, "l_error_syntax")};
}

QStringList storedReplies(const MainWindow& window)
{
    const settings_t& s = window.currentSettings();
    return {s.ack, s.error_chks, s.error_syntax};
}

} // namespace

class ReplyDialogTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initStilwaterTests(); }

    void opensWithTheRecordsTexts()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QString title, buttons;
        QStringList texts, placeholders;
        openThroughMenu(window, "actionErrorMsg", [&](QDialog* dialog) {
            title = dialog->windowTitle();
            buttons = shownButtons(dialog);
            for (const char* name : replyFields) {
                texts << field(dialog, name)->text();
                placeholders << field(dialog, name)->placeholderText();
            }
            pressButton(dialog, QDialogButtonBox::Cancel);
        });
        QCOMPARE(title, QStringLiteral("Hibaüzenetek beállítása"));
        QCOMPARE(buttons, QStringLiteral("Ok|Cancel"));
        QCOMPARE(texts, (QStringList {QStringLiteral("ok"), QString(), QString()}));
        QCOMPARE(placeholders,
            (QStringList {QStringLiteral("<nincs>"), QStringLiteral("<nincs>"), QStringLiteral("<nincs>")}));
    }

    void acceptedTextsAreStoredAsTyped_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QList<QByteArray>>("configLines");
        QTest::newRow("all empty") << QStringList {QString(), QString(),
            QString()} << QStringList {QStringLiteral("<nincs>"), QStringLiteral("<nincs>"), QStringLiteral("<nincs>")}
                                   << QList<QByteArray> {"", "", ""};
        QTest::newRow("three texts") << QStringList {QStringLiteral("ACK"), QStringLiteral("CHKS"),
            QStringLiteral("SYN")} << QStringList {QStringLiteral("ACK"), QStringLiteral("CHKS"), QStringLiteral("SYN")}
                                     << QList<QByteArray> {"ACK", "CHKS", "SYN"};
        QTest::newRow("spaces kept") << QStringList {QStringLiteral("  ok "), QStringLiteral(" c e"),
            QStringLiteral(
                "s  ")} << QStringList {QStringLiteral("  ok "), QStringLiteral(" c e"), QStringLiteral("s  ")}
                                     << QList<QByteArray> {"  ok ", " c e", "s  "};
        QTest::newRow("beyond ASCII") << QStringList {QStringLiteral("nyugta ő"), QStringLiteral("hiba"),
            QString()} << QStringList {QStringLiteral("nyugta ő"), QStringLiteral("hiba"), QStringLiteral("<nincs>")}
                                      << QList<QByteArray> {"nyugta \xc5\x91", "hiba", ""};
    }

    void acceptedTextsAreStoredAsTyped()
    {
        QFETCH(QStringList, typed);
        QFETCH(QStringList, shown);
        QFETCH(QList<QByteArray>, configLines);
        ScopedWorkDir dir;
        {
            MainWindow window;
            window.show();
            openThroughMenu(window, "actionErrorMsg", [&](QDialog* dialog) {
                for (int i = 0; i < 3; ++i)
                    retype(field(dialog, replyFields[i]), typed[i]);
                pressButton(dialog, QDialogButtonBox::Ok);
            });
            QCOMPARE(storedReplies(window), typed);
            QCOMPARE(statusReplies(window), shown);
        }
        QCOMPARE((QList<QByteArray> {configLine(11), configLine(12), configLine(13)}), configLines);
    }

    void rejectingAfterEditsChangesNothing_data()
    {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("Cancel button") << false;
        QTest::newRow("Escape key") << true;
    }

    void rejectingAfterEditsChangesNothing()
    {
        QFETCH(bool, byEscape);
        ScopedWorkDir dir;
        writeConfig({"*** GPRS Data Server Config File ***", "10001", "30", "", ".txt", "", "0", "bak_", ".txt", "",
            "A", "CE", ""});
        MainWindow window;
        window.show();
        openThroughMenu(window, "actionErrorMsg", [&](QDialog* dialog) {
            for (const char* name : replyFields)
                retype(field(dialog, name), QStringLiteral("changed"));
            if (byEscape)
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                pressButton(dialog, QDialogButtonBox::Cancel);
        });
        QCOMPARE(storedReplies(window), (QStringList {QStringLiteral("A"), QStringLiteral("CE"), QString()}));
        QCOMPARE(statusReplies(window),
            (QStringList {QStringLiteral("A"), QStringLiteral("CE"), QStringLiteral("<nincs>")}));
    }
};

QTEST_MAIN(ReplyDialogTest)
#include "tst_replydialog.moc"
