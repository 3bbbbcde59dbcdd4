#include "app/devicemodel.h"
#include "app/mainwindow.h"
#include "dialogs/about.h"
#include "dialogs/errormsg.h"
#include "dialogs/file.h"
#include "dialogs/folderchooser.h"
#include "dialogs/port.h"
#include "settings/configfile.h"
#include "settings/settings.h"
#include "tests/serverfixture.h"

#include <QFontDatabase>

#include <tuple>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

QByteArray httpResponse(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

bool showsTheEnd(const QPlainTextEdit* flow)
{
    QTextCursor end(flow->document());
    end.movePosition(QTextCursor::End);
    return flow->viewport()->rect().contains(flow->cursorRect(end));
}

// Settings as "key=value" entries separated by ";": config.cfg lines by number, status panel texts
// by object name, and whether the backup group is visible.
const QString defaultLines = u"1=*** GPRS Data Server Config File ***;2=10001;3=30;4=;5=.txt;6=;7=0;8=bak_;9=.txt;"
                             "10=;11=ok;12=;13="_s;
const QString defaultPanel = u"l_port=10001;l_timeout=30 s;l_file_prefix=<nincs>;l_file_ext=.txt;"
                             "l_backup_prefix=bak_;l_backup_ext=.txt;l_ack=ok;l_error_chks=<nincs>;"
                             "l_error_syntax=<nincs>;gb_backup=false"_s;

// `base` with each entry of `changes` in place of the entry with the same key.
QStringList changed(const QString& base, const QString& changes)
{
    QStringList entries = base.split(u';');
    for (const QString& change : changes.split(u';', Qt::SkipEmptyParts)) {
        const QString key = change.section(u'=', 0, 0) + u'=';
        std::replace_if(
            entries.begin(), entries.end(), [&](const QString& entry) { return entry.startsWith(key); }, change);
    }
    return entries;
}

QStringList panel(const MainWindow& window)
{
    QStringList entries;
    for (const QString& entry : defaultPanel.split(u';')) {
        const QString name = entry.section(u'=', 0, 0);
        const char* property = name.startsWith(u"gb_"_s) ? "visible" : "text";
        entries << name + u'=' + window.findChild<QWidget*>(name)->property(property).toString();
    }
    return entries;
}

// The captions, values and button texts under `top`, as far as it would show them, that their
// widgets cut off with the font in use.
QStringList clippedTexts(const QWidget* top)
{
    QStringList clipped;
    for (QWidget* widget : top->findChildren<QWidget*>()) {
        const auto* box = qobject_cast<QGroupBox*>(widget);
        const QString text = box ? box->title() : widget->property("text").toString();
        int needed = widget->minimumSizeHint().width();
        if (qobject_cast<QPushButton*>(widget)) { // whose hint is 80 pixels or more whatever the text
            const QStyle* style = widget->style();
            needed = widget->fontMetrics().horizontalAdvance(text)
                + 2 * (style->pixelMetric(QStyle::PM_ButtonMargin) + style->pixelMetric(QStyle::PM_DefaultFrameWidth));
        }
        if (!text.isEmpty() && widget->isVisibleTo(top) && needed > widget->width())
            clipped << widget->objectName() + QLatin1Char(' ') + text;
    }
    return clipped;
}

// What the devices window shows in one column, top to bottom.
QStringList shownColumn(const QTableView* view, int column)
{
    QStringList shown;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        shown << view->model()->index(row, column).data().toString();
    return shown;
}

// The widget that has the focus and each that Tab takes it to, until it is back (ten at most).
QStringList tabChain()
{
    QStringList chain;
    while (QWidget* focused = QApplication::focusWidget()) {
        const QString name = focused->objectName(); // the button box's buttons have none
        chain << (name.isEmpty() ? focused->property("text").toString() : name);
        if (chain.size() == 10 || (chain.size() > 1 && chain.first() == chain.last()))
            break;
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    return chain;
}

QWidget* openDevicesWindow(MainWindow& window)
{
    window.findChild<QAction*>(u"actionDevices"_s)->trigger();
    return window.findChild<QWidget*>(u"DevicesWindow"_s);
}

} // namespace

class MainWindowTest final : public StilwaterTest
{
    Q_OBJECT

private slots:
    // The devices window as the operator uses it, beside the main window: the silent devices first and
    // names in natural order, counted under the table and in the title; its threshold kept outside config.cfg.
    void devicesWindowShowsTheFleet()
    {
        const QDateTime noon(QDate(2026, 12, 5), QTime(12, 0));
        QDateTime now = noon;
        setClock([&now] { return now; });
        auto window = std::make_unique<MainWindow>(1);
        window->show();
        DeviceTable& table = window->server().devices();
        for (const auto& [name, minutesAgo] :
            {std::pair {u"K1"_s, 120}, {u"A5"_s, 0}, {u"K2"_s, 10}, {u"K10"_s, 3}, {u"M3"_s, 0}}) {
            now = noon.addSecs(-60 * minutesAgo);
            table.message(name, u"10.0.0."_s + name.back(), false, false, name == u"M3"_s);
        }
        now = noon;
        QWidget* devices = openDevicesWindow(*window);
        QVERIFY(devices->isVisible() && !devices->isModal());
        QVERIFY(QTest::qWaitForWindowActive(devices));
        auto* view = devices->findChild<QTableView*>(u"tv_devices"_s);
        auto* counts = devices->findChild<QLabel*>(u"l_counts"_s);
        QTRY_COMPARE(shownColumn(view, DeviceModel::Name), QStringList({u"K1"_s, u"A5"_s, u"K2"_s, u"K10"_s, u"M3"_s}));
        QCOMPARE(shownColumn(view, DeviceModel::State), QStringList({u"néma"_s, {}, {}, {}, {}}));
        QCOMPARE(shownColumn(view, DeviceModel::SilentFor).join(u','), u"2 óra,0 mp,10 perc,3 perc,0 mp"_s);
        QCOMPARE(shownColumn(view, DeviceModel::Connected).join(u','), u"nem,nem,nem,nem,igen"_s);
        QCOMPARE(shownColumn(view, DeviceModel::LastMessage).first(), u"2026.12.05  10:00:00"_s);
        QCOMPARE(devices->windowTitle(), u"Eszközök – 1 néma"_s);
        QCOMPARE(counts->text(), u"Eszközök: 5 · kapcsolódva: 1 · néma: 1 · látható: 5"_s);
        QHeaderView* header = view->horizontalHeader();
        const QPoint lastMessage(header->sectionViewportPosition(DeviceModel::LastMessage) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, lastMessage);
        QCOMPARE(shownColumn(view, DeviceModel::Name), QStringList({u"K1"_s, u"K2"_s, u"K10"_s, u"A5"_s, u"M3"_s}));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, lastMessage);
        QCOMPARE(shownColumn(view, DeviceModel::Name), QStringList({u"M3"_s, u"A5"_s, u"K10"_s, u"K2"_s, u"K1"_s}));

        const auto click = [view](const QString& name, Qt::KeyboardModifiers modifiers = {}) {
            const int row = int(shownColumn(view, DeviceModel::Name).indexOf(name));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers,
                view->visualRect(view->model()->index(row, DeviceModel::Name)).center());
        };
        const auto selected = [view] {
            QStringList names;
            for (const QModelIndex& index : view->selectionModel()->selectedRows(DeviceModel::Name))
                names << index.data().toString();
            return names;
        };
        // K2 reports while selected: its row changes in place, the order waits for "Rendezés".
        click(u"K2"_s);
        now = noon.addSecs(60);
        table.message(u"K2"_s, u"10.0.0.2"_s, false, false, false);
        QTRY_COMPARE(shownColumn(view, DeviceModel::LastMessage).at(3), u"2026.12.05  12:01:00"_s);
        QCOMPARE(shownColumn(view, DeviceModel::Name), QStringList({u"M3"_s, u"A5"_s, u"K10"_s, u"K2"_s, u"K1"_s}));
        QCOMPARE(selected(), QStringList {u"K2"_s});
        devices->findChild<QPushButton*>(u"pb_sort"_s)->click();
        QCOMPARE(shownColumn(view, DeviceModel::Name), QStringList({u"K2"_s, u"M3"_s, u"A5"_s, u"K10"_s, u"K1"_s}));
        QCOMPARE(selected(), QStringList {u"K2"_s});
        // From a row of the table, Tab goes on to the buttons and round to the threshold.
        view->setFocus();
        QCOMPARE(
            tabChain().join(u' '), u"tv_devices pb_sort pb_export pb_forget e_filter sb_silentMinutes tv_devices"_s);

        click(u"K1"_s, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        const QString captions = u"Eszköz\tÁllapot\tnéma ennyi ideje\tKapcsolódva\tUtolsó üzenet\tUtolsó cím\t"
                                 "Üzenet ma\tChks hiba ma\tSzintaktikai hiba ma\tMentési hiba ma\tElőször látva\n"_s;
        const QString k1 = u"K1\tnéma\t2 óra 1 perc\tnem\t2026.12.05  10:00:00\t10.0.0.1\t1\t0\t0\t0\t"
                           "2026.12.05  10:00:00\n"_s;
        QCOMPARE(QApplication::clipboard()->text(),
            captions + u"K2\t\t0 mp\tnem\t2026.12.05  12:01:00\t10.0.0.2\t2\t0\t0\t0\t2026.12.05  11:50:00\n"_s + k1);

        auto* filter = devices->findChild<QLineEdit*>(u"e_filter"_s);
        QTest::keyClicks(filter, u"k"_s);
        QCOMPARE(shownColumn(view, DeviceModel::Name), QStringList({u"K2"_s, u"K10"_s, u"K1"_s}));
        filter->clear();
        QTest::keyClick(filter, Qt::Key_N);
        QTest::sendKeyEvent(QTest::Click, filter, Qt::Key_Eacute, u"é"_s, Qt::NoModifier);
        QTest::keyClicks(filter, u"ma"_s);
        QCOMPARE(shownColumn(view, DeviceModel::Name), QStringList({u"K1"_s}));
        QCOMPARE(counts->text(), u"Eszközök: 5 · kapcsolódva: 1 · néma: 1 · látható: 1"_s);
        whenModalOpens([](QWidget* dialog) {
            // Typed into before it has the focus, the dialog would take no Return.
            auto* name = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
            std::ignore = QTest::qWaitFor([name] { return name->hasFocus(); });
            name->clear();
            QTest::keyClicks(name, u"nema.csv"_s);
            QTest::keyClick(name, Qt::Key_Return);
        });
        devices->findChild<QPushButton*>(u"pb_export"_s)->click();
        QCOMPARE(readFileBytes(u"nema.csv"_s), "\xEF\xBB\xBF" + QString(captions + k1).replace(u'\t', u';').toUtf8());
        filter->clear();

        // A device in service cannot be forgotten; one taken out leaves until it sends again.
        auto* forget = devices->findChild<QPushButton*>(u"pb_forget"_s);
        click(u"M3"_s);
        QVERIFY(!forget->isEnabled());
        click(u"K1"_s);
        QCOMPARE(answering(QMessageBox::Ok, [forget] { forget->click(); }),
            u"Figyelmeztetés: Elfelejti a kijelölt 1 eszközt? Amíg újra nem jelentkezik, nem szerepel a táblázatban."_s);
        QCOMPARE(shownColumn(view, DeviceModel::Name), QStringList({u"K2"_s, u"M3"_s, u"A5"_s, u"K10"_s}));
        QCOMPARE(counts->text(), u"Eszközök: 4 · kapcsolódva: 1 · néma: 0 · látható: 4"_s);
        QCOMPARE(table.size(), 4U);
        table.message(u"K1"_s, u"10.0.0.9"_s, false, false, true);
        QTRY_COMPARE(counts->text(), u"Eszközök: 5 · kapcsolódva: 2 · néma: 0 · látható: 5"_s);
        QCOMPARE(devices->windowTitle(), u"Eszközök"_s);

        auto* threshold = devices->findChild<QSpinBox*>(u"sb_silentMinutes"_s);
        QTest::keyClick(threshold, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(threshold, u"3"_s);
        QCOMPARE(devices->windowTitle(), u"Eszközök – 1 néma"_s);

        window.reset();
        QCOMPARE(readFileBytes(u"config.cfg"_s), configText(settings_t()));
        window = std::make_unique<MainWindow>(1);
        QCOMPARE(openDevicesWindow(*window)->findChild<QSpinBox*>(u"sb_silentMinutes"_s)->value(), 3);
    }

    // The lines reach the window through the queue that the server fills.
    void messageWindowShowsEveryLineInOrderKeepsTheNewestAndClears()
    {
        MainWindow window;
        window.show();
        auto* flow = window.findChild<QPlainTextEdit*>(u"textflow"_s);
        LineQueue& lines = window.server().lines();
        // Up to the cap: every line arrives, in order, and the oldest leave from the top. The empty
        // block after the last line break counts as one of the 50,000.
        QString earlier;
        for (int i = 0; i < 49995; ++i)
            earlier += u"line %1\n"_s.arg(i);
        flow->setPlainText(earlier);
        for (int i = 49995; i < 50005; ++i)
            lines.push(u"line %1\n"_s.arg(i));
        QTRY_VERIFY(withoutTimeStamps(flow->toPlainText()).endsWith(u"<ts>line 50003\n<ts>line 50004\n"_s));
        QCOMPARE(flow->blockCount(), 50000);
        QVERIFY(flow->toPlainText().startsWith(u"line 6\nline 7\n"_s));

        QTRY_VERIFY(showsTheEnd(flow));
        // The operator scrolls back to read and selects a few characters.
        QTextCursor selection = flow->textCursor();
        selection.setPosition(0);
        selection.setPosition(3, QTextCursor::KeepAnchor);
        flow->setTextCursor(selection);
        flow->verticalScrollBar()->setValue(0);
        QVERIFY(!showsTheEnd(flow));
        lines.push(u"one more\n\n"_s);
        QTRY_VERIFY(withoutTimeStamps(flow->toPlainText()).endsWith(u"<ts>line 50004\n<ts>one more\n\n"_s));
        QTRY_VERIFY(showsTheEnd(flow));
        QVERIFY(!flow->textCursor().hasSelection());

        // Far more than the window can lay out in its share of the machine: the newest lines, in
        // order, after one that counts the others and bears their time; a message is never shown
        // without its reply.
        window.findChild<QAction*>(u"actionClear"_s)->trigger();
        const QDateTime pushedAt = QDateTime::currentDateTime().addDays(1); // later than every line before
        setClock([pushedAt] { return pushedAt; });
        for (int i = 0; i < 100000; ++i)
            lines.push(QStringList {u"burst %1\n"_s.arg(i), u"reply %1\n"_s.arg(i)});
        setClock({});
        QTRY_VERIFY(flow->toPlainText().endsWith(u"reply 99999\n"_s));
        QVERIFY(flow->toPlainText().startsWith(formatTimeStamp(pushedAt) + u"… "_s));
        const QStringList shown = withoutTimeStamps(flow->toPlainText()).split(u'\n', Qt::SkipEmptyParts);
        static const QRegularExpression skip(u"^<ts>… (\\d+) sor kihagyva …$"_s);
        const QRegularExpressionMatch skipped = skip.match(shown.first());
        QVERIFY2(skipped.hasMatch(), qPrintable(shown.first()));
        QCOMPARE(skipped.captured(1).toInt() + shown.size() - 1, 200000);
        QCOMPARE(shown.at(1), u"<ts>burst %1"_s.arg(100000 - (shown.size() - 1) / 2));

        // Clearing drops what is shown and what waits for its batch.
        lines.push(u"line not yet shown\n"_s);
        window.findChild<QAction*>(u"actionClear"_s)->trigger();
        lines.push(u"new line\n"_s);
        QTRY_COMPARE(withoutTimeStamps(messageWindowText(&window)), u"<ts>new line\n"_s);
    }

    // The window reads config.cfg at start-up, shows it, lets a dialog change it, and writes it at
    // exit. Steps, separated by ";": "name=text" types into a field, "name>folder" clicks a button
    // that opens the folder chooser and picks the folder (cancels when empty), "name" clicks a
    // button, "?name" notes the text of a widget, "tab" notes the widget that has the focus and each
    // that Tab takes it to until it is back; a dialog button ("Ok", "Cancel", "Close") ends the
    // dialog, and one that is not offered is noted and cancels.
    void settingsAreShownAndStored_data()
    {
        // config.cfg before the start as changes to the defaults; "-": none; "folder=0555": its folder
        // cannot be written at the exit, and the program runs as an ordinary user then.
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("steps"); // the menu action that opens a dialog, then the steps in it
        QTest::addColumn<QString>("seen"); // message boxes, notes and refusals along the way
        QTest::addColumn<QString>("after"); // config.cfg after the exit and the status panel, as changes

        const auto row = [](const char* name, const QString& stored, const QString& steps, const QString& seen,
                             const QString& after) { QTest::newRow(name) << stored << steps << seen << after; };

        row("first run", u"-"_s, {}, {}, {});
        row("stored settings, spaces lost, folders dropped",
            u"1=x;2=2000;3=45;4=d_;5=;6=/f/;7=1;8=;9=csv;10=/b/;11=;12=C E;13=SE"_s, {}, {},
            u"2=2000;3=45;4=d_;5=;7=1;8=;9=csv;11=;12=CE;13=SE;l_port=2000;l_timeout=45 s;l_file_prefix=d_;"
            "l_file_ext=;l_backup_prefix=<nincs>;l_backup_ext=csv;l_ack=<nincs>;l_error_chks=CE;l_error_syntax=SE;"
            "gb_backup=true"_s);

        row("port checked again after an edit, timeout below the range", u"3=5"_s,
            u"actionPort;port=<free>;ckeckport;port=<free>;ckeckport;Ok"_s, {},
            u"2=<free>;3=10;l_port=<free>;l_timeout=10 s"_s);
        row("port from the record, timeout above the range", u"2=<free>;3=1000"_s, u"actionPort;ckeckport;Ok"_s, {},
            u"2=<free>;3=999;l_port=<free>;l_timeout=999 s"_s);
        row("port without a check", {}, u"actionPort;port=<free>;Ok"_s, u"no Ok"_s, {});
        row("port edited after the check", {}, u"actionPort;port=<free>;ckeckport;port=<free>;Ok"_s, u"no Ok"_s, {});
        row("port cancelled", {}, u"actionPort;port=<free>;ckeckport;Cancel"_s, {}, {});
        for (const char* port : {"<held>", "0", "-1", "abc", "", "70000"}) {
            QTest::addRow("port %s refused", port)
                << QString() << u"actionPort;port=%1;ckeckport;Ok"_s.arg(QLatin1String(port))
                << u"Port hiba: A megadott port hibás, vagy már foglalt.;no Ok"_s << QString();
        }
        // Each dialog opens in its first field, and Tab goes in reading order.
        row("port, Tab", {}, u"actionPort;tab;Cancel"_s, u"timeout port ckeckport Cancel timeout"_s, {});
        row("replies, Tab", {}, u"actionErrorMsg;tab;Cancel"_s, u"ack error_chks error_syntax OK Cancel ack"_s, {});
        row("storage, Tab", {}, u"actionFile;tab;Cancel"_s,
            u"f_prefix f_ext f_setfolder OK Cancel qt_tabwidget_tabbar f_prefix"_s, {});
        row("about box", {}, u"actionAbout;?l_version;Close"_s, u"l_version= Version 2.33 "_s, {});

        row("replies all empty", {}, u"actionErrorMsg;ack=;error_chks=;error_syntax=;Ok"_s, {}, u"11=;l_ack=<nincs>"_s);
        row("replies with spaces", {}, u"actionErrorMsg;ack= ok ;error_chks=c e;error_syntax=s  ;Ok"_s, {},
            u"11= ok ;12=c e;13=s  ;l_ack= ok ;l_error_chks=c e;l_error_syntax=s  "_s);
#ifdef Q_OS_UNIX // folder modes
        row("replies written in place in a folder that cannot be written", u"folder=0555"_s,
            u"actionErrorMsg;ack=A;Ok"_s, {}, u"11=A;l_ack=A"_s);
#endif
        row("replies cancelled", {}, u"actionErrorMsg;ack=A;error_chks=B;error_syntax=C;Cancel"_s, {}, {});

        // The backup fields take typing only while the backup is switched on.
        row("storage unchanged: the working directory", {}, u"actionFile;b_prefix=m_;Ok"_s, {}, u"6=<wd>;10=<wd>"_s);
        row("storage, Windows path, a choice cancelled, extensions without dot or emptied", {},
            u"actionFile;f_ext=txt;f_setfolder>C:\\Adatok\\gprs;f_setfolder>;cb_backup;b_ext=;b_setfolder>/srv;Ok"_s,
            {}, u"5=.txt;6=C:/Adatok/gprs/;7=1;9=.;10=/srv/;l_backup_ext=.;gb_backup=true"_s);
        row("storage, extension with dot, prefixes", {},
            u"actionFile;f_prefix=d_;f_ext=.csv;cb_backup;b_prefix=m_;Ok"_s, {},
            u"4=d_;5=.csv;6=<wd>;7=1;8=m_;10=<wd>;l_file_prefix=d_;l_file_ext=.csv;l_backup_prefix=m_;"
            "gb_backup=true"_s);
        row("storage, backup switched off, its naming still taken", u"7=1"_s,
            u"actionFile;b_prefix=m_;cb_backup;b_ext=x;Ok"_s, {}, u"6=<wd>;8=m_;10=<wd>;l_backup_prefix=m_"_s);
        row("storage cancelled", {},
            u"actionFile;f_prefix=x_;f_ext=log;f_setfolder>/elsewhere;cb_backup;b_prefix=y_;b_setfolder>/other;Cancel"_s,
            {}, {});
    }

    void settingsAreShownAndStored()
    {
        QFETCH(QString, stored);
        QFETCH(QString, steps);
        QFETCH(QString, seen);
        QFETCH(QString, after);
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::AnyIPv4, freeLoopbackPort()));
        const QString free = QString::number(freeLoopbackPort());
        const auto filledIn = [&](QString text) {
            return text.replace(u"<free>"_s, free)
                .replace(u"<held>"_s, QString::number(holder.serverPort()))
                .replace(u"<wd>"_s, QDir::currentPath() + u'/');
        };
        if (stored != u"-"_s) {
            QStringList lines;
            for (const QString& line : changed(defaultLines, filledIn(stored)))
                lines << line.section(u'=', 1) + u"\r\n"_s;
            writeFile(u"config.cfg"_s, lines.join(QString()).toUtf8());
        }
        // The folder chooser answered in the operator's place; the caption and the window it opened over are noted.
        QString chosen; // empty: cancelled
        QStringList asked;
        setFolderChooser([&](QWidget* parent, const QString& caption) {
            asked << caption + u" over "_s + parent->objectName();
            return chosen;
        });
        const auto platformChooser = qScopeGuard([] { setFolderChooser({}); });
        QStringList noted;
        QStringList state;
        {
            MainWindow window;
            window.show();
            // Whatever config.cfg holds, the window keeps its size, the message window takes no
            // typing, and the pattern stays out of reach.
            QCOMPARE(window.minimumSize(), window.maximumSize());
            QVERIFY(window.findChild<QWidget*>(u"textflow"_s)->property("readOnly").toBool());
            for (const QString& name : {u"actionPattern"_s, u"actionContent"_s, u"gb_pattern"_s})
                QVERIFY2(!window.findChild<QObject*>(name)->property("visible").toBool(), qPrintable(name));
            const auto operate = [&](QWidget* dialog) {
                for (const QString& step : filledIn(steps).split(u';').mid(1)) {
                    if (step == u"tab"_s) {
                        // A busy machine may show the dialog a moment before it has its focus.
                        std::ignore = QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; });
                        noted << tabChain().join(u' ');
                        continue;
                    }
                    const QString name = step.section(QRegularExpression(u"[=>?]"_s), 0, 0);
                    const int button = QMetaEnum::fromType<QDialogButtonBox::StandardButtons>().keyToValue(
                        name.toLatin1().constData());
                    if (button >= 0) {
                        auto* buttons = dialog->findChild<QDialogButtonBox*>();
                        QWidget* end = buttons->button(QDialogButtonBox::StandardButton(button));
                        if (!end) {
                            noted << u"no "_s + name;
                            end = buttons->button(QDialogButtonBox::Cancel);
                        }
                        QTest::mouseClick(end, Qt::LeftButton);
                        break;
                    }
                    if (step.startsWith(u'?')) {
                        noted << step.mid(1) + u'='
                                + dialog->findChild<QWidget*>(step.mid(1))->property("text").toString();
                        continue;
                    }
                    auto* target = dialog->findChild<QWidget*>(name);
                    if (!target->isVisible()) { // on the backup tab
                        QTabBar* bar = dialog->findChild<QTabWidget*>()->tabBar();
                        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(1).center());
                    }
                    chosen = step.section(u'>', 1);
                    if (step.contains(u'=')) {
                        auto* field = qobject_cast<QLineEdit*>(target);
                        field->selectAll();
                        QTest::keyClick(field, Qt::Key_Delete);
                        QTest::keyClicks(field, step.section(u'=', 1));
                    } else if (const QString box
                               = answering(QMessageBox::Ok, [&] { QTest::mouseClick(target, Qt::LeftButton); });
                               !box.isEmpty())
                        noted << box;
                }
            };
            if (!steps.isEmpty()) {
                whenModalOpens(operate);
                window.findChild<QAction*>(steps.section(u';', 0, 0))->trigger();
            }
            QCOMPARE(noted.join(u';'), seen);
            state = panel(window);
            if (after.contains(u"2=<free>"_s)) { // the next start listens on the accepted port
                window.findChild<QPushButton*>(u"start"_s)->click();
                QTcpSocket device;
                device.connectToHost(QHostAddress::LocalHost, free.toUShort());
                QTRY_COMPARE(device.state(), QAbstractSocket::ConnectedState);
                answering(QMessageBox::Ok, [&] { window.findChild<QPushButton*>(u"stop"_s)->click(); });
            }
            window.findChild<QAction*>(u"actionKilepes"_s)->trigger(); // stopped: no question
            QTRY_VERIFY(!window.isVisible()); // once a stop under way is through
#ifdef Q_OS_UNIX
            if (stored == u"folder=0555"_s) { // root, who may create files in any folder, becomes nobody
                QVERIFY(chmod("config.cfg", 0666) == 0 && chmod(".", 0555) == 0
                    && seteuid(getuid() == 0 ? 65534 : getuid()) == 0);
            }
#endif
        } // config.cfg is written when the window goes
#ifdef Q_OS_UNIX
        QVERIFY(seteuid(getuid()) == 0 && chmod(".", 0700) == 0);
#endif
        const QByteArrayList lines = readFileBytes(u"config.cfg"_s).replace('\r', "").split('\n');
        for (int number = 1; number <= 13; ++number)
            state << QString::number(number) + u'=' + QString::fromUtf8(lines.value(number - 1));
        QCOMPARE(state, changed(defaultPanel + u';' + defaultLines, filledIn(after)));
        QCOMPARE(asked, QStringList(steps.count(u"setfolder>"_s), u"Select folder over File"_s));
    }

    void everyTextFitsItsWidget()
    {
        if (QFontDatabase::families().isEmpty())
            QSKIP("this platform plugin has no fonts to measure with (offscreen on Windows)");
        writeFile(u"config.cfg"_s,
            "*** GPRS Data Server Config File ***\r\n10001\r\n30\r\n\r\n.txt\r\n\r\n1\r\nbak_\r\n.txt\r\n\r\n"
            "ok\r\n\r\n\r\n"); // backup on, so that its group is shown
        MainWindow window;
        const settings_t defaults;
        Port port(&defaults, &window);
        ErrorMsg replies(&defaults, &window);
        File storage(&defaults, &window);
        about box(&window);
        QStringList clipped = clippedTexts(&window) + clippedTexts(&port) + clippedTexts(&replies)
            + clippedTexts(&storage) + clippedTexts(&box);
        storage.findChild<QTabWidget*>()->setCurrentIndex(1);
        clipped += clippedTexts(&storage);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral(", "))));
    }

    void panelShowsTheAddresses_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QString>("shown");
        QTest::newRow("trailing line break kept") << httpResponse("200 OK", "203.0.113.7\n") << u"203.0.113.7\n"_s;
        QTest::newRow("empty body") << httpResponse("200 OK", "") << QString();
        QTest::newRow("cut at a zero byte")
            << httpResponse("200 OK", QByteArray("203.0.113.7\0junk", 16)) << u"203.0.113.7"_s;
        QTest::newRow("Latin-1 bytes") << httpResponse("200 OK", "\xe1") << u"á"_s;
        QTest::newRow("HTTP error") << httpResponse("500 Internal Server Error", "oops") << u"-"_s;
        QTest::newRow("hung up without an answer") << QByteArray() << u"-"_s;
        QTest::newRow("markup is shown, not rendered") << httpResponse("200 OK", "<img src=\"http://192.0.2.1/x.png\">")
                                                       << u"<img src=\"http://192.0.2.1/x.png\">"_s;
    }

    void panelShowsTheAddresses()
    {
        QFETCH(QByteArray, response);
        QFETCH(QString, shown);
        EchoService service(response);
        MainWindow window;
        auto* label = window.findChild<QLabel*>(u"l_ip_public"_s);
        QCOMPARE(label->text(), u"<processing...>"_s);
        QTRY_VERIFY(label->text() != u"<processing...>"_s);
        QCOMPARE(label->text(), shown);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QVERIFY(service.requests.startsWith("GET /ip HTTP/1.1\r\n"));
        const QString local = window.findChild<QLabel*>(u"l_ip"_s)->text();
        QVERIFY2(local == u"-"_s || QNetworkInterface::allAddresses().contains(QHostAddress(local)), qPrintable(local));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
