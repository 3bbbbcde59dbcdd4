#include "app/mainwindow.h"
#include "dialogs/folderchooser.h"
#include "tests/testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

template<class Widget = QWidget>
Widget* child(const QWidget* parent, const char* name)
{
    return parent->findChild<Widget*>(QLatin1String(name));
}

// Opens a dialog through its menu action and runs `act` on it once it is on screen.
void throughMenu(MainWindow& window, const char* action, std::function<void(QDialog*)> act)
{
    whenModalOpens([act](QWidget* modal) { act(qobject_cast<QDialog*>(modal)); });
    child<QAction>(&window, action)->trigger();
}

void press(QDialog* dialog, QDialogButtonBox::StandardButton which)
{
    QTest::mouseClick(child<QDialogButtonBox>(dialog, "buttonBox")->button(which), Qt::LeftButton);
}

void click(QDialog* dialog, const char* name)
{
    QTest::mouseClick(child<QAbstractButton>(dialog, name), Qt::LeftButton);
}

void retype(QDialog* dialog, const char* name, const QString& text)
{
    auto* field = child<QLineEdit>(dialog, name);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

void openBackupTab(QDialog* dialog)
{
    QTabBar* bar = child<QTabWidget>(dialog, "tabWidget")->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(1).center());
}

// What the operator can tell apart in the port dialog: the buttons offered and the check button.
QString portState(QDialog* dialog)
{
    const QMetaEnum names = QMetaEnum::fromType<QDialogButtonBox::StandardButtons>();
    const QByteArray buttons = names.valueToKeys(int(child<QDialogButtonBox>(dialog, "buttonBox")->standardButtons()));
    return QString::fromLatin1(buttons) + (child(dialog, "ckeckport")->isEnabled() ? u" on"_s : u" off"_s);
}

// Answers the folder chooser in the operator's place, one answer per opening, a cancel once the
// answers run out; notes the caption and the object name of the window it was opened over.
class ChooserStandIn
{
public:
    explicit ChooserStandIn(QStringList answers)
    {
        setFolderChooser([this, answers](QWidget* parent, const QString& caption) mutable {
            asked << caption + u" over "_s + parent->objectName();
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
    }
    ~ChooserStandIn() { setFolderChooser({}); }

    QStringList asked;
};

} // namespace

class SettingsDialogsTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initStilwaterTests(); }

    void portOffersOkOnlyWhileTheShownPortIsChecked()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        const QString free = QString::number(freeLoopbackPort());
        QStringList states;
        QStringList shown;
        throughMenu(window, "actionPort", [&](QDialog* dialog) {
            shown = widgetTexts(dialog, {"port"}) << child<QSpinBox>(dialog, "timeout")->text();
            states << portState(dialog);
            retype(dialog, "port", u"1234567"_s);
            shown << widgetTexts(dialog, {"port"});
            retype(dialog, "port", free);
            click(dialog, "ckeckport");
            states << portState(dialog);
            QTest::keyClick(child(dialog, "timeout"), Qt::Key_Up);
            states << portState(dialog);
            QTest::keyClick(child(dialog, "port"), Qt::Key_Backspace);
            states << portState(dialog);
            QTest::keyClicks(child(dialog, "port"), free.right(1));
            states << portState(dialog);
            click(dialog, "ckeckport");
            states << portState(dialog);
            press(dialog, QDialogButtonBox::Cancel);
        });
        QCOMPARE(shown, (QStringList {u"10001"_s, u"30 s"_s, u"12345"_s}));
        QCOMPARE(states,
            (QStringList {u"Cancel on"_s, u"Ok|Cancel off"_s, u"Ok|Cancel off"_s, u"Cancel on"_s, u"Cancel on"_s,
                u"Ok|Cancel off"_s}));
        QCOMPARE(window.currentSettings().socket_timeout, 30);
        QCOMPARE(widgetTexts(&window, {"l_port", "l_timeout"}), (QStringList {u"10001"_s, u"30 s"_s}));
    }

    void portRefusesUnusableNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("held");
        QTest::newRow("held by another listener") << QString() << true;
        QTest::newRow("zero") << u"0"_s << false;
        QTest::newRow("minus one") << u"-1"_s << false;
        QTest::newRow("letters") << u"abc"_s << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("above the range") << u"70000"_s << false;
    }

    void portRefusesUnusableNumbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, held);
        ScopedWorkDir dir;
        QTcpServer holder;
        if (held) {
            QVERIFY(holder.listen(QHostAddress::AnyIPv4, freeLoopbackPort()));
            text = QString::number(holder.serverPort());
        }
        MainWindow window;
        window.show();
        SeenMessageBox seen;
        QString state;
        throughMenu(window, "actionPort", [&](QDialog* dialog) {
            retype(dialog, "port", text);
            answerNextMessageBox(QMessageBox::Ok, &seen);
            click(dialog, "ckeckport");
            state = portState(dialog);
            press(dialog, QDialogButtonBox::Cancel);
        });
        QCOMPARE(seen.title + u" / "_s + seen.text, u"Port hiba / A megadott port hibás, vagy már foglalt."_s);
        QCOMPARE(state, u"Cancel on"_s);
    }

    // The server start takes its port from the record; config.cfg carries both into the next run.
    void portAcceptedWithAClampedTimeout_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("below the range") << QByteArray("5") << u"10 s"_s;
        QTest::newRow("above the range") << QByteArray("1000") << u"999 s"_s;
    }

    void portAcceptedWithAClampedTimeout()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, shown);
        ScopedWorkDir dir;
        writeConfigFile("header\r\n10001\r\n" + stored + "\r\n\r\n.txt\r\n\r\n0\r\nbak_\r\n.txt\r\n\r\nok\r\n\r\n\r\n");
        const quint16 free = freeLoopbackPort();
        {
            MainWindow window;
            window.show();
            QString opened;
            throughMenu(window, "actionPort", [&](QDialog* dialog) {
                opened = child<QSpinBox>(dialog, "timeout")->text();
                retype(dialog, "port", QString::number(free));
                click(dialog, "ckeckport");
                press(dialog, QDialogButtonBox::Ok);
            });
            QCOMPARE(opened, shown);
            QCOMPARE(window.currentSettings().port, int(free));
            QCOMPARE(widgetTexts(&window, {"l_port", "l_timeout"}), (QStringList {QString::number(free), shown}));

            // The next start listens on the accepted port.
            window.findChild<QPushButton*>(u"start"_s)->click();
            QTcpSocket device;
            device.connectToHost(QHostAddress::LocalHost, free);
            QTRY_COMPARE(device.state(), QAbstractSocket::ConnectedState);
            answerNextMessageBox(QMessageBox::Ok);
            window.findChild<QPushButton*>(u"stop"_s)->click();
            QTRY_COMPARE(device.state(), QAbstractSocket::UnconnectedState);
        }
        QCOMPARE(
            configFileLine(2) + ' ' + configFileLine(3), QByteArray::number(free) + ' ' + shown.chopped(2).toLatin1());
    }

    void repliesStoredAsTyped_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("all empty") << QStringList {u""_s, u""_s, u""_s} << true << QStringList {u""_s, u""_s, u""_s}
                                   << QStringList {u"<nincs>"_s, u"<nincs>"_s, u"<nincs>"_s};
        QTest::newRow("spaces kept") << QStringList {u" ok "_s, u"c e"_s, u"s  "_s} << true
                                     << QStringList {u" ok "_s, u"c e"_s, u"s  "_s}
                                     << QStringList {u" ok "_s, u"c e"_s, u"s  "_s};
        QTest::newRow("cancelled") << QStringList {u"A"_s, u"B"_s, u"C"_s} << false
                                   << QStringList {u"ok"_s, u""_s, u""_s}
                                   << QStringList {u"ok"_s, u"<nincs>"_s, u"<nincs>"_s};
    }

    void repliesStoredAsTyped()
    {
        QFETCH(QStringList, typed);
        QFETCH(bool, accepted);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, shown);
        ScopedWorkDir dir;
        QStringList opened;
        {
            MainWindow window;
            window.show();
            throughMenu(window, "actionErrorMsg", [&](QDialog* dialog) {
                for (const char* name : {"ack", "error_chks", "error_syntax"}) {
                    opened << child<QLineEdit>(dialog, name)->text() + u'|'
                            + child<QLineEdit>(dialog, name)->placeholderText();
                }
                retype(dialog, "ack", typed[0]);
                retype(dialog, "error_chks", typed[1]);
                retype(dialog, "error_syntax", typed[2]);
                press(dialog, accepted ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel);
            });
            const settings_t& s = window.currentSettings();
            QCOMPARE((QStringList {s.ack, s.error_chks, s.error_syntax}), stored);
            QCOMPARE(widgetTexts(&window, {"l_ack", "l_error_chks", "l_error_syntax"}), shown);
        }
        QCOMPARE(opened, (QStringList {u"ok|<nincs>"_s, u"|<nincs>"_s, u"|<nincs>"_s}));
        QCOMPARE(QString::fromLatin1(configFileLine(11) + '|' + configFileLine(12) + '|' + configFileLine(13)),
            stored.join(u'|'));
    }

    void storageDefaultsShownAndStoredUnchanged()
    {
        ScopedWorkDir dir;
        const QString folder = QDir::currentPath() + u'/';
        QStringList shown;
        bool backupOff = false;
        {
            MainWindow window;
            window.show();
            throughMenu(window, "actionFile", [&](QDialog* dialog) {
                shown = widgetTexts(dialog, {"f_prefix", "f_ext", "f_path", "b_prefix", "b_ext", "b_path"});
                shown << child<QLineEdit>(dialog, "f_prefix")->placeholderText();
                backupOff = !child<QCheckBox>(dialog, "cb_backup")->isChecked()
                    && !child(dialog, "widget_backup")->isEnabled();
                press(dialog, QDialogButtonBox::Ok);
            });
            const settings_t& s = window.currentSettings();
            QCOMPARE(
                (QStringList {s.file.prefix, s.file.ext, s.file.path, s.backup.prefix, s.backup.ext, s.backup.path}),
                (QStringList {u""_s, u".txt"_s, folder, u"bak_"_s, u".txt"_s, folder}));
            QCOMPARE(widgetTexts(&window, {"l_file_prefix", "l_file_ext"}), (QStringList {u"<nincs>"_s, u".txt"_s}));
        }
        QCOMPARE(shown, (QStringList {u""_s, u".txt"_s, folder, u"bak_"_s, u".txt"_s, folder, u"<nincs>"_s}));
        QVERIFY(backupOff);
        QCOMPARE(configFileLine(6) + '|' + configFileLine(10), folder.toUtf8() + '|' + folder.toUtf8());
    }

    void storageTakesTypedAndChosenNaming_data()
    {
        QTest::addColumn<QString>("typedExt");
        QTest::addColumn<QString>("storedExt");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no dot, Windows path") << u"txt"_s << u".txt"_s << u"C:\\Adatok\\gprs"_s << u"C:/Adatok/gprs/"_s;
        QTest::newRow("emptied, Unix path") << u""_s << u"."_s << u"/srv/gprs"_s << u"/srv/gprs/"_s;
        QTest::newRow("with dot") << u".csv"_s << u".csv"_s << u"/srv"_s << u"/srv/"_s;
    }

    void storageTakesTypedAndChosenNaming()
    {
        QFETCH(QString, typedExt);
        QFETCH(QString, storedExt);
        QFETCH(QString, chosen);
        QFETCH(QString, shown);
        ScopedWorkDir dir;
        ChooserStandIn chooser({chosen, QString(), chosen});
        QStringList folders;
        {
            MainWindow window;
            window.show();
            throughMenu(window, "actionFile", [&](QDialog* dialog) {
                retype(dialog, "f_ext", typedExt);
                click(dialog, "f_setfolder");
                click(dialog, "f_setfolder"); // cancelled: keeps the folder just chosen
                openBackupTab(dialog);
                click(dialog, "cb_backup");
                retype(dialog, "b_ext", typedExt);
                click(dialog, "b_setfolder");
                folders = widgetTexts(dialog, {"f_path", "b_path"});
                press(dialog, QDialogButtonBox::Ok);
            });
            const settings_t& s = window.currentSettings();
            QCOMPARE((QStringList {s.file.ext, s.file.path, s.backup.ext, s.backup.path}),
                (QStringList {storedExt, shown, storedExt, shown}));
            QCOMPARE(widgetTexts(&window, {"l_file_ext", "l_backup_ext"}), (QStringList {storedExt, storedExt}));
        }
        QCOMPARE(folders, (QStringList {shown, shown}));
        QCOMPARE(chooser.asked, QStringList(3, u"Select folder over File"_s));
        QCOMPARE(configFileLine(6) + '|' + configFileLine(10), shown.toUtf8() + '|' + shown.toUtf8());
    }

    // The backup naming is taken on OK even while the backup is off.
    void storageBackupSwitch()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QList<bool> areaEnabled;
        QList<bool> panelShown;
        for (int round = 0; round < 3; ++round) {
            throughMenu(window, "actionFile", [&](QDialog* dialog) {
                openBackupTab(dialog);
                areaEnabled << child(dialog, "widget_backup")->isEnabled();
                click(dialog, "cb_backup");
                areaEnabled << child(dialog, "widget_backup")->isEnabled();
                if (round == 0) {
                    retype(dialog, "b_prefix", u"mentes_"_s);
                    click(dialog, "cb_backup");
                    areaEnabled << child(dialog, "widget_backup")->isEnabled();
                }
                press(dialog, QDialogButtonBox::Ok);
            });
            panelShown << window.currentSettings().make_backup << child(&window, "gb_backup")->isVisible();
        }
        QCOMPARE(areaEnabled, (QList<bool> {false, true, false, false, true, true, false}));
        QCOMPARE(panelShown, (QList<bool> {false, false, true, true, false, false}));
        QCOMPARE(window.currentSettings().backup.prefix, u"mentes_"_s);
        QCOMPARE(widgetTexts(&window, {"l_backup_prefix"}), QStringList {u"mentes_"_s});
    }

    void storageUnchangedOnCancel()
    {
        ScopedWorkDir dir;
        ChooserStandIn chooser({u"/elsewhere"_s, u"/other"_s});
        {
            MainWindow window;
            window.show();
            throughMenu(window, "actionFile", [&](QDialog* dialog) {
                retype(dialog, "f_prefix", u"x_"_s);
                retype(dialog, "f_ext", u"log"_s);
                click(dialog, "f_setfolder");
                openBackupTab(dialog);
                click(dialog, "cb_backup");
                retype(dialog, "b_prefix", u"y_"_s);
                click(dialog, "b_setfolder");
                press(dialog, QDialogButtonBox::Cancel);
            });
            QCOMPARE(chooser.asked.size(), 2);
            const settings_t& s = window.currentSettings();
            QCOMPARE((QStringList {s.file.prefix, s.file.ext, s.file.path, s.backup.prefix, s.backup.path}),
                (QStringList {u""_s, u".txt"_s, u""_s, u"bak_"_s, u""_s}));
            QVERIFY(!s.make_backup);
            QCOMPARE(widgetTexts(&window, {"l_file_prefix", "l_file_ext", "l_backup_prefix"}),
                (QStringList {u"<nincs>"_s, u".txt"_s, u"bak_"_s}));
            QVERIFY(!child(&window, "gb_backup")->isVisible());
        }
        QCOMPARE(configFileLine(6) + configFileLine(10), QByteArray());
    }
    void dialogsOpenInTheFirstFieldAndTabInReadingOrder_data()
    {
        QTest::addColumn<QByteArray>("action");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("port") << QByteArray("actionPort")
                              << QStringList {u"timeout"_s, u"port"_s, u"ckeckport"_s, u"Cancel"_s, u"timeout"_s};
        QTest::newRow("replies") << QByteArray("actionErrorMsg")
                                 << QStringList {u"ack"_s, u"error_chks"_s, u"error_syntax"_s, u"OK"_s, u"Cancel"_s};
        QTest::newRow("storage") << QByteArray("actionFile")
                                 << QStringList {u"f_prefix"_s, u"f_ext"_s, u"f_setfolder"_s, u"OK"_s, u"Cancel"_s,
                                        u"qt_tabwidget_tabbar"_s, u"f_prefix"_s};
    }

    void dialogsOpenInTheFirstFieldAndTabInReadingOrder()
    {
        QFETCH(QByteArray, action);
        QFETCH(QStringList, order);
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QStringList visited;
        throughMenu(window, action.constData(), [&](QDialog* dialog) {
            for (QWidget* focused; visited.size() < order.size() && (focused = QApplication::focusWidget());) {
                const QString name = focused->objectName(); // the button box's buttons have none
                visited << (name.isEmpty() ? focused->property("text").toString() : name);
                QTest::keyClick(focused, Qt::Key_Tab);
            }
            dialog->reject();
        });
        QCOMPARE(visited, order);
    }
};

QTEST_MAIN(SettingsDialogsTest)
#include "tst_settingsdialogs.moc"
