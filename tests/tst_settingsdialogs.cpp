#include "app/mainwindow.h"
#include "dialogs/folderchooser.h"
#include "tests/testsupport.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
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
Widget* child(const QWidget* parent, const QString& name)
{
    return parent->findChild<Widget*>(name);
}

// Opens a dialog through its menu action and runs `act` on it once it is on screen.
void throughMenu(MainWindow& window, const QString& action, std::function<void(QWidget*)> act)
{
    whenModalOpens(std::move(act));
    child<QAction>(&window, action)->trigger();
}

void press(QWidget* dialog, QDialogButtonBox::StandardButton which)
{
    QTest::mouseClick(child<QDialogButtonBox>(dialog, u"buttonBox"_s)->button(which), Qt::LeftButton);
}

void click(QWidget* dialog, const QString& name)
{
    QTest::mouseClick(child<QAbstractButton>(dialog, name), Qt::LeftButton);
}

void retype(QWidget* dialog, const QString& name, const QString& text)
{
    auto* field = child<QLineEdit>(dialog, name);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

// What the operator can tell apart in the port dialog: the buttons offered and the check button.
QString portState(QWidget* dialog)
{
    const QMetaEnum names = QMetaEnum::fromType<QDialogButtonBox::StandardButtons>();
    const int buttons = int(child<QDialogButtonBox>(dialog, u"buttonBox"_s)->standardButtons());
    return QString::fromLatin1(names.valueToKeys(buttons))
        + (child(dialog, u"ckeckport"_s)->isEnabled() ? u" on"_s : u" off"_s);
}

// Answers the folder chooser in the operator's place; notes the caption and the window it was
// opened over.
struct ChooserStandIn
{
    ChooserStandIn()
    {
        setFolderChooser([this](QWidget* parent, const QString& caption) {
            asked << caption + u" over "_s + parent->objectName();
            return answer;
        });
    }
    ~ChooserStandIn() { setFolderChooser({}); }

    QString answer; // empty: cancelled
    QStringList asked;
};

// Settings as "key=value" entries separated by ";": config.cfg lines by number, status panel texts
// by object name, and whether the backup group is shown.
const QString defaultLines = u"1=*** GPRS Data Server Config File ***;2=10001;3=30;4=;5=.txt;6=;7=0;8=bak_;9=.txt;"
                             "10=;11=ok;12=;13="_s;
const QString defaultPanel = u"l_port=10001;l_timeout=30 s;l_file_prefix=<nincs>;l_file_ext=.txt;"
                             "l_backup_prefix=bak_;l_backup_ext=.txt;l_ack=ok;l_error_chks=<nincs>;"
                             "l_error_syntax=<nincs>;gb_backup=hidden"_s;

// `base` with each entry of `changes` in place of the entry with the same key.
QStringList changed(const QString& base, const QString& changes)
{
    QStringList entries = base.split(u';');
    for (const QString& change : changes.split(u';', Qt::SkipEmptyParts)) {
        for (QString& entry : entries) {
            if (entry.section(u'=', 0, 0) == change.section(u'=', 0, 0))
                entry = change;
        }
    }
    return entries;
}

QStringList savedLines()
{
    QStringList lines;
    for (int number = 1; number <= 13; ++number)
        lines << QString::number(number) + u'=' + QString::fromUtf8(configFileLine(number));
    return lines;
}

QStringList panel(const MainWindow& window)
{
    QStringList entries;
    for (const QString& entry : defaultPanel.split(u';')) {
        const QString name = entry.section(u'=', 0, 0);
        const QWidget* widget = child(&window, name);
        const QString text = name.startsWith(u"gb_"_s) ? (widget->isVisible() ? u"shown"_s : u"hidden"_s)
                                                       : widget->property("text").toString();
        entries << name + u'=' + text;
    }
    return entries;
}

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
        throughMenu(window, u"actionPort"_s, [&](QWidget* dialog) {
            shown = widgetTexts(dialog, {"port"}) << child<QSpinBox>(dialog, u"timeout"_s)->text();
            states << portState(dialog);
            retype(dialog, u"port"_s, u"1234567"_s);
            shown << widgetTexts(dialog, {"port"});
            retype(dialog, u"port"_s, free);
            click(dialog, u"ckeckport"_s);
            states << portState(dialog);
            QTest::keyClick(child(dialog, u"timeout"_s), Qt::Key_Up);
            states << portState(dialog);
            QTest::keyClick(child(dialog, u"port"_s), Qt::Key_Backspace);
            states << portState(dialog);
            QTest::keyClicks(child(dialog, u"port"_s), free.right(1));
            states << portState(dialog);
            click(dialog, u"ckeckport"_s);
            states << portState(dialog);
            press(dialog, QDialogButtonBox::Cancel);
        });
        QCOMPARE(shown, (QStringList {u"10001"_s, u"30 s"_s, u"12345"_s}));
        QCOMPARE(states,
            (QStringList {u"Cancel on"_s, u"Ok|Cancel off"_s, u"Ok|Cancel off"_s, u"Cancel on"_s, u"Cancel on"_s,
                u"Ok|Cancel off"_s}));
        QCOMPARE(panel(window), changed(defaultPanel, QString()));
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
        throughMenu(window, u"actionPort"_s, [&](QWidget* dialog) {
            retype(dialog, u"port"_s, text);
            answerNextMessageBox(QMessageBox::Ok, &seen);
            click(dialog, u"ckeckport"_s);
            state = portState(dialog);
            press(dialog, QDialogButtonBox::Cancel);
        });
        QCOMPARE(seen.title + u" / "_s + seen.text, u"Port hiba / A megadott port hibás, vagy már foglalt."_s);
        QCOMPARE(state, u"Cancel on"_s);
    }

    // Steps, separated by ";": "name=text" types into a field, "name>folder" clicks a button that
    // opens the folder chooser and picks the folder (cancels when empty), "name" clicks a button.
    // "Ok" or "Cancel" ends the dialog.
    void dialogsStoreWhatWasAccepted_data()
    {
        QTest::addColumn<QString>("stored"); // config.cfg before the start, as changes to the defaults
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("saved"); // config.cfg after the exit, as changes to the defaults
        QTest::addColumn<QString>("shown"); // the status panel, as changes to the defaults

        QTest::newRow("port, timeout below the range") << u"3=5"_s << u"actionPort"_s << u"port=<free>;ckeckport;Ok"_s
                                                       << u"2=<free>;3=10"_s << u"l_port=<free>;l_timeout=10 s"_s;
        QTest::newRow("port, timeout above the range")
            << u"3=1000"_s << u"actionPort"_s << u"port=<free>;ckeckport;Ok"_s << u"2=<free>;3=999"_s
            << u"l_port=<free>;l_timeout=999 s"_s;
        QTest::newRow("replies unchanged") << QString() << u"actionErrorMsg"_s << u"Ok"_s << QString() << QString();
        QTest::newRow("replies all empty") << QString() << u"actionErrorMsg"_s << u"ack=;error_chks=;error_syntax=;Ok"_s
                                           << u"11="_s << u"l_ack=<nincs>"_s;
        QTest::newRow("replies with spaces")
            << QString() << u"actionErrorMsg"_s << u"ack= ok ;error_chks=c e;error_syntax=s  ;Ok"_s
            << u"11= ok ;12=c e;13=s  "_s << u"l_ack= ok ;l_error_chks=c e;l_error_syntax=s  "_s;
        QTest::newRow("replies cancelled") << QString() << u"actionErrorMsg"_s
                                           << u"ack=A;error_chks=B;error_syntax=C;Cancel"_s << QString() << QString();
        // The backup fields take typing only while the backup is switched on.
        QTest::newRow("storage unchanged: the working directory")
            << QString() << u"actionFile"_s << u"b_prefix=m_;Ok"_s << u"6=<wd>;10=<wd>"_s << QString();
        QTest::newRow("storage, Windows path, a choice cancelled, extensions without dot or emptied")
            << QString() << u"actionFile"_s
            << u"f_ext=txt;f_setfolder>C:\\Adatok\\gprs;f_setfolder>;cb_backup;b_ext=;b_setfolder>/srv;Ok"_s
            << u"5=.txt;6=C:/Adatok/gprs/;7=1;9=.;10=/srv/"_s << u"l_backup_ext=.;gb_backup=shown"_s;
        QTest::newRow("storage, extension with dot, prefixes")
            << QString() << u"actionFile"_s << u"f_prefix=d_;f_ext=.csv;cb_backup;b_prefix=m_;Ok"_s
            << u"4=d_;5=.csv;6=<wd>;7=1;8=m_;10=<wd>"_s
            << u"l_file_prefix=d_;l_file_ext=.csv;l_backup_prefix=m_;gb_backup=shown"_s;
        QTest::newRow("storage, backup switched off, its naming still taken")
            << u"7=1"_s << u"actionFile"_s << u"b_prefix=m_;cb_backup;b_ext=x;Ok"_s << u"6=<wd>;8=m_;10=<wd>"_s
            << u"l_backup_prefix=m_"_s;
        QTest::newRow("storage cancelled")
            << QString() << u"actionFile"_s
            << u"f_prefix=x_;f_ext=log;f_setfolder>/elsewhere;cb_backup;b_prefix=y_;b_setfolder>/other;Cancel"_s
            << QString() << QString();
    }

    void dialogsStoreWhatWasAccepted()
    {
        QFETCH(QString, stored);
        QFETCH(QString, action);
        QFETCH(QString, steps);
        QFETCH(QString, saved);
        QFETCH(QString, shown);
        ScopedWorkDir dir;
        const QString free = QString::number(freeLoopbackPort());
        const auto filledIn = [&](QString text) {
            return text.replace(u"<free>"_s, free).replace(u"<wd>"_s, QDir::currentPath() + u'/');
        };
        QStringList lines;
        for (const QString& line : changed(defaultLines, stored))
            lines << line.section(u'=', 1) + u"\r\n"_s;
        writeConfigFile(lines.join(QString()).toUtf8());
        ChooserStandIn chooser;
        {
            MainWindow window;
            window.show();
            throughMenu(window, action, [&](QWidget* dialog) {
                for (const QString& step : filledIn(steps).split(u';')) {
                    const QString name = step.section(QRegularExpression(u"[=>]"_s), 0, 0);
                    QWidget* target = child(dialog, name);
                    if (!target) {
                        press(dialog, step == u"Ok"_s ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel);
                        break;
                    }
                    if (!target->isVisible()) { // on the backup tab
                        QTabBar* bar = child<QTabWidget>(dialog, u"tabWidget"_s)->tabBar();
                        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(1).center());
                    }
                    chooser.answer = step.section(u'>', 1);
                    if (step.contains(u'='))
                        retype(dialog, name, step.section(u'=', 1));
                    else
                        click(dialog, name);
                }
            });
            QCOMPARE(panel(window), changed(defaultPanel, filledIn(shown)));
            if (action == u"actionPort"_s) { // the next start listens on the accepted port
                child<QAbstractButton>(&window, u"start"_s)->click();
                QTcpSocket device;
                device.connectToHost(QHostAddress::LocalHost, free.toUShort());
                QTRY_COMPARE(device.state(), QAbstractSocket::ConnectedState);
                answerNextMessageBox(QMessageBox::Ok);
                child<QAbstractButton>(&window, u"stop"_s)->click();
            }
        }
        QCOMPARE(savedLines(), changed(defaultLines, filledIn(saved)));
        QCOMPARE(chooser.asked, QStringList(steps.count(u"setfolder>"_s), u"Select folder over File"_s));
    }
};

QTEST_MAIN(SettingsDialogsTest)
#include "tst_settingsdialogs.moc"
