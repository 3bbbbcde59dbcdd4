#include "app/mainwindow.h"
#include "tests/dialogdriving.h"
#include "tests/testsupport.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QtTest>

namespace {

QLineEdit* portField(QDialog* dialog)
{
    return dialog->findChild<QLineEdit*>(QStringLiteral("port"));
}

QSpinBox* timeoutField(QDialog* dialog)
{
    return dialog->findChild<QSpinBox*>(QStringLiteral("timeout"));
}

QPushButton* checkButton(QDialog* dialog)
{
    return dialog->findChild<QPushButton*>(QStringLiteral("ckeckport"));
}

// What a person can tell apart: which buttons the box offers and whether the check is available.
QString checkState(QDialog* dialog)
{
    return shownButtons(dialog)
        + (checkButton(dialog)->isEnabled() ? QStringLiteral(", check on") : QStringLiteral(", check off"));
}

void typePortAndCheck(QDialog* dialog, quint16 port)
{
    retype(portField(dialog), QString::number(port));
    QTest::mouseClick(checkButton(dialog), Qt::LeftButton);
}

// Answers the port error box that the next check brings, noting its title, text and buttons.
void answerPortError(QString* seen)
{
    whenModalOpens([seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return;
        const bool okOnly = box->standardButtons() == QMessageBox::Ok;
        *seen = box->windowTitle() + QStringLiteral(" / ") + box->text()
            + (okOnly ? QStringLiteral(" / Ok only") : QStringLiteral(" / other buttons"));
        box->button(QMessageBox::Ok)->click();
    });
}

void writeConfigWithTimeout(const QByteArray& timeout)
{
    writeConfig({"*** GPRS Data Server Config File ***", "10001", timeout, "", ".txt", "", "0", "bak_", ".txt", "",
        "ok", "", ""});
}

} // namespace

class PortDialogTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initStilwaterTests(); }

    void opensUntriedWithTheRecordsValues()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QString title, port, timeout, state, longPort;
        openThroughMenu(window, "actionPort", [&](QDialog* dialog) {
            title = dialog->windowTitle();
            port = portField(dialog)->text();
            timeout = timeoutField(dialog)->text();
            state = checkState(dialog);
            retype(portField(dialog), QStringLiteral("1234567"));
            longPort = portField(dialog)->text();
            pressButton(dialog, QDialogButtonBox::Cancel);
        });
        QCOMPARE(title, QStringLiteral("Port beállítása"));
        QCOMPARE(port, QStringLiteral("10001"));
        QCOMPARE(timeout, QStringLiteral("30 s"));
        QCOMPARE(state, QStringLiteral("Cancel, check on"));
        QCOMPARE(longPort, QStringLiteral("12345"));
        QCOMPARE(window.currentSettings().port, 10001);
    }

    void okExistsExactlyWhileTheShownPortIsChecked()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        const quint16 free = freeLoopbackPort();
        QStringList states;
        bool okVisible = false;
        openThroughMenu(window, "actionPort", [&](QDialog* dialog) {
            typePortAndCheck(dialog, free);
            states << checkState(dialog);
            okVisible = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isVisible();

            timeoutField(dialog)->selectAll();
            QTest::keyClicks(timeoutField(dialog), QStringLiteral("99"));
            states << checkState(dialog);

            const QString checked = portField(dialog)->text();
            QTest::keyClick(portField(dialog), Qt::Key_Backspace);
            states << checkState(dialog);
            QTest::keyClicks(portField(dialog), checked.right(1));
            states << checkState(dialog);

            QTest::mouseClick(checkButton(dialog), Qt::LeftButton);
            states << checkState(dialog);
            retype(portField(dialog), checked);
            states << checkState(dialog);
            pressButton(dialog, QDialogButtonBox::Cancel);
        });
        QCOMPARE(states,
            (QStringList {QStringLiteral("Ok|Cancel, check off"), QStringLiteral("Ok|Cancel, check off"),
                QStringLiteral("Cancel, check on"), QStringLiteral("Cancel, check on"),
                QStringLiteral("Ok|Cancel, check off"), QStringLiteral("Cancel, check on")}));
        QVERIFY(okVisible);
    }

    void unusablePortsBringThePortError_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("heldElsewhere");
        QTest::newRow("held by another listener") << QString() << true;
        QTest::newRow("zero") << QStringLiteral("0") << false;
        QTest::newRow("minus one") << QStringLiteral("-1") << false;
        QTest::newRow("letters") << QStringLiteral("abc") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("above the range") << QStringLiteral("70000") << false;
    }

    void unusablePortsBringThePortError()
    {
        QFETCH(QString, text);
        QFETCH(bool, heldElsewhere);
        ScopedWorkDir dir;
        QTcpServer holder;
        if (heldElsewhere) {
            QVERIFY(holder.listen(QHostAddress::AnyIPv4, freeLoopbackPort()));
            text = QString::number(holder.serverPort());
        }
        MainWindow window;
        window.show();
        QString seen, state;
        openThroughMenu(window, "actionPort", [&](QDialog* dialog) {
            retype(portField(dialog), text);
            answerPortError(&seen);
            QTest::mouseClick(checkButton(dialog), Qt::LeftButton);
            state = checkState(dialog);
            pressButton(dialog, QDialogButtonBox::Cancel);
        });
        QCOMPARE(seen, QStringLiteral("Port hiba / A megadott port hibás, vagy már foglalt. / Ok only"));
        QCOMPARE(state, QStringLiteral("Cancel, check on"));
        QCOMPARE(labelText(window, "l_port"), QStringLiteral("10001"));
    }

    void storedTimeoutIsClampedIntoRange_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("accepted");
        QTest::newRow("below") << QByteArray("5") << QStringLiteral("10 s") << 10;
        QTest::newRow("inside") << QByteArray("45") << QStringLiteral("45 s") << 45;
        QTest::newRow("above") << QByteArray("1000") << QStringLiteral("999 s") << 999;
    }

    void storedTimeoutIsClampedIntoRange()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, shown);
        QFETCH(int, accepted);
        ScopedWorkDir dir;
        writeConfigWithTimeout(stored);
        MainWindow window;
        window.show();
        QString opened;
        openThroughMenu(window, "actionPort", [&](QDialog* dialog) {
            opened = timeoutField(dialog)->text();
            typePortAndCheck(dialog, freeLoopbackPort());
            pressButton(dialog, QDialogButtonBox::Ok);
        });
        QCOMPARE(opened, shown);
        QCOMPARE(window.currentSettings().socket_timeout, accepted);
        QCOMPARE(labelText(window, "l_timeout"), shown);
    }

    // The server start takes its port from the record, and config.cfg keeps it for the next run.
    void acceptedValuesReachRecordPanelAndConfig()
    {
        ScopedWorkDir dir;
        const quint16 free = freeLoopbackPort();
        {
            MainWindow window;
            window.show();
            openThroughMenu(window, "actionPort", [&](QDialog* dialog) {
                timeoutField(dialog)->selectAll();
                QTest::keyClicks(timeoutField(dialog), QStringLiteral("45"));
                typePortAndCheck(dialog, free);
                pressButton(dialog, QDialogButtonBox::Ok);
            });
            QCOMPARE(window.currentSettings().port, int(free));
            QCOMPARE(window.currentSettings().socket_timeout, 45);
            QCOMPARE(labelText(window, "l_port"), QString::number(free));
            QCOMPARE(labelText(window, "l_timeout"), QStringLiteral("45 s"));
        }
        QCOMPARE(configLine(2), QByteArray::number(free));
        QCOMPARE(configLine(3), QByteArray("45"));
    }

    void cancelAfterACheckStoresNothing()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        openThroughMenu(window, "actionPort", [&](QDialog* dialog) {
            timeoutField(dialog)->selectAll();
            QTest::keyClicks(timeoutField(dialog), QStringLiteral("99"));
            typePortAndCheck(dialog, freeLoopbackPort());
            pressButton(dialog, QDialogButtonBox::Cancel);
        });
        QCOMPARE(window.currentSettings().port, 10001);
        QCOMPARE(window.currentSettings().socket_timeout, 30);
        QCOMPARE(labelText(window, "l_port"), QStringLiteral("10001"));
        QCOMPARE(labelText(window, "l_timeout"), QStringLiteral("30 s"));
    }
};

QTEST_MAIN(PortDialogTest)
#include "tst_portdialog.moc"
