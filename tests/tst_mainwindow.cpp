#include "app/mainwindow.h"
#include "dialogs/about.h"
#include "dialogs/errormsg.h"
#include "dialogs/file.h"
#include "dialogs/help.h"
#include "dialogs/port.h"
#include "settings/settings.h"
#include "tests/testsupport.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QTextBrowser>
#include <QtTest>

namespace {

// The texts a person sees in a menu, with "|" for a separator.
QStringList visibleEntries(const MainWindow& window, const char* menuName)
{
    QStringList entries;
    for (QAction* action : window.findChild<QMenu*>(QLatin1String(menuName))->actions()) {
        if (action->isVisible())
            entries << (action->isSeparator() ? QStringLiteral("|") : action->text());
    }
    return entries;
}

QPlainTextEdit* messageWindow(const MainWindow& window)
{
    return window.findChild<QPlainTextEdit*>(QStringLiteral("textflow"));
}

bool showsTheEnd(const QPlainTextEdit* flow)
{
    QTextCursor end(flow->document());
    end.movePosition(QTextCursor::End);
    return flow->viewport()->rect().contains(flow->cursorRect(end));
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

} // namespace

class MainWindowTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initStilwaterTests(); }

    void timeStampFormat()
    {
        QCOMPARE(formatTimeStamp(QDateTime(QDate(2026, 12, 5), QTime(9, 5, 7))),
            QStringLiteral("2026.12.05  09:05:07  -  "));
        QCOMPARE(formatTimeStamp(QDateTime(QDate(2026, 1, 31), QTime(17, 30, 0))),
            QStringLiteral("2026.01.31  17:30:00  -  "));
        const QString now = settings_t().timeStamp();
        QCOMPARE(now.size(), 25);
        QVERIFY(QDateTime::fromString(now.left(20), QStringLiteral("yyyy.MM.dd  hh:mm:ss")).isValid());
    }

    void windowHasFixedSizeAndStartsStopped()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QCOMPARE(window.size(), QSize(1200, 900));
        QCOMPARE(window.minimumSize(), QSize(1200, 900));
        QCOMPARE(window.maximumSize(), QSize(1200, 900));
        QCOMPARE(window.windowTitle(), QStringLiteral("Stilwater"));
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("start"))->isEnabled());
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("stop"))->isEnabled());
        QVERIFY(window.findChild<QAction*>(QStringLiteral("actionServerStart"))->isEnabled());
        QVERIFY(!window.findChild<QAction*>(QStringLiteral("actionServerStop"))->isEnabled());
        QVERIFY(window.findChild<QMenu*>(QStringLiteral("menuBeallitasok"))->isEnabled());
        QVERIFY(messageWindow(window)->isReadOnly());
    }

    void everyTextFitsItsWidget()
    {
        ScopedWorkDir dir;
        writeConfigFile(
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

    void menusOfferOnlyTheReachableEntries()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QCOMPARE(visibleEntries(window, "menuFile"),
            (QStringList {QStringLiteral("Szerver elindítása"), QStringLiteral("Szerver leállítása"),
                QStringLiteral("|"), QStringLiteral("Üzenetablak törlése"), QStringLiteral("|"),
                QStringLiteral("Kilépés")}));
        QCOMPARE(visibleEntries(window, "menuBeallitasok"),
            (QStringList {
                QStringLiteral("Port"), QStringLiteral("Mentési beállítások"), QStringLiteral("Válaszüzenetek")}));
        QCOMPARE(visibleEntries(window, "menuHelp"), QStringList {QStringLiteral("Névjegy")});
        QVERIFY(!window.findChild<QGroupBox*>(QStringLiteral("gb_pattern"))->isVisible());
    }

    void statusPanelShowsDefaults()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QCOMPARE(widgetTexts(&window,
                     {"l_port", "l_timeout", "l_file_prefix", "l_file_ext", "l_backup_prefix", "l_backup_ext", "l_ack",
                         "l_error_chks", "l_error_syntax"}),
            (QStringList {QStringLiteral("10001"), QStringLiteral("30 s"), QStringLiteral("<nincs>"),
                QStringLiteral(".txt"), QStringLiteral("bak_"), QStringLiteral(".txt"), QStringLiteral("ok"),
                QStringLiteral("<nincs>"), QStringLiteral("<nincs>")}));
        QCOMPARE(widgetTexts(&window, {"l_pattern"}), QStringList {settings_t().pattern});
        QVERIFY(!window.findChild<QGroupBox*>(QStringLiteral("gb_backup"))->isVisible());
    }

    void statusPanelShowsLoadedSettings()
    {
        ScopedWorkDir dir;
        writeConfigFile("*** GPRS Data Server Config File ***\r\n2000\r\n45\r\nd_\r\n\r\n\r\n1\r\n\r\ncsv\r\n\r\n"
                        "\r\nCE\r\nSE\r\n");
        MainWindow window;
        window.show();
        // An empty extension is shown empty; empty prefixes and replies as "<nincs>".
        QCOMPARE(widgetTexts(&window,
                     {"l_port", "l_timeout", "l_file_prefix", "l_file_ext", "l_backup_prefix", "l_backup_ext", "l_ack",
                         "l_error_chks", "l_error_syntax"}),
            (QStringList {QStringLiteral("2000"), QStringLiteral("45 s"), QStringLiteral("d_"), QString(),
                QStringLiteral("<nincs>"), QStringLiteral("csv"), QStringLiteral("<nincs>"), QStringLiteral("CE"),
                QStringLiteral("SE")}));
        QVERIFY(window.findChild<QGroupBox*>(QStringLiteral("gb_backup"))->isVisible());
        // Whatever the file holds, the pattern stays out of reach.
        QVERIFY(!window.findChild<QGroupBox*>(QStringLiteral("gb_pattern"))->isVisible());
        QVERIFY(!window.findChild<QAction*>(QStringLiteral("actionPattern"))->isVisible());
        QVERIFY(!window.findChild<QAction*>(QStringLiteral("actionContent"))->isVisible());
    }

    void messageWindowShowsEveryLineInOrderAndKeepsTheNewest()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QPlainTextEdit* flow = messageWindow(window);
        // A burst beyond the cap: every line arrives, in order, and the oldest leave from the top.
        // The empty block after the last line break counts as one of the 50,000.
        for (int i = 0; i < 50005; ++i)
            window.appendText(QStringLiteral("line %1\n").arg(i));
        QTRY_VERIFY(flow->toPlainText().endsWith(QStringLiteral("line 50003\nline 50004\n")));
        QCOMPARE(flow->blockCount(), 50000);
        QVERIFY(flow->toPlainText().startsWith(QStringLiteral("line 6\nline 7\n")));

        QTRY_VERIFY(showsTheEnd(flow));
        // The operator scrolls back to read and selects a few characters.
        QTextCursor selection = flow->textCursor();
        selection.setPosition(0);
        selection.setPosition(3, QTextCursor::KeepAnchor);
        flow->setTextCursor(selection);
        flow->verticalScrollBar()->setValue(0);
        QVERIFY(!showsTheEnd(flow));
        window.appendText(QStringLiteral("one more\n\n"));
        QTRY_VERIFY(flow->toPlainText().endsWith(QStringLiteral("line 50004\none more\n\n")));
        QTRY_VERIFY(showsTheEnd(flow));
        QVERIFY(!flow->textCursor().hasSelection());
    }

    void clearingEmptiesTheMessageWindowOnly()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        window.appendText(QStringLiteral("shown line\n"));
        QTRY_COMPARE(messageWindow(window)->toPlainText(), QStringLiteral("shown line\n"));
        window.appendText(QStringLiteral("line not yet shown\n"));
        window.findChild<QAction*>(QStringLiteral("actionClear"))->trigger();
        QCOMPARE(messageWindow(window)->toPlainText(), QString());
        window.appendText(QStringLiteral("new line\n"));
        QTRY_COMPARE(messageWindow(window)->toPlainText(), QStringLiteral("new line\n"));
    }

    void exitActionClosesAStoppedServerWithoutAsking()
    {
        ScopedWorkDir dir;
        {
            MainWindow window;
            window.show();
            window.findChild<QAction*>(QStringLiteral("actionKilepes"))->trigger();
            QVERIFY(!window.isVisible());
            QVERIFY(QApplication::activeModalWidget() == nullptr);
        }
        QVERIFY(QFile::exists(QStringLiteral("config.cfg")));
    }

    void aboutBoxShowsVersionAndCloses()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QString version;
        QString title;
        whenModalOpens([&](QWidget* modal) {
            title = modal->windowTitle();
            version = modal->findChild<QLabel*>(QStringLiteral("l_version"))->text();
            modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close)->click();
        });
        window.findChild<QAction*>(QStringLiteral("actionAbout"))->trigger();
        QCOMPARE(title, QStringLiteral("Névjegy"));
        QCOMPARE(version, QStringLiteral(" Version 2.33 "));
    }

    void helpWindowShowsItsOwnLineOverThePage()
    {
        QVERIFY(QFile::exists(QStringLiteral(":/files/files/help.html")));
        Help help(nullptr);
        auto* browser = help.findChild<QTextBrowser*>(QStringLiteral("textBrowser"));
        QCOMPARE(browser->toPlainText(), QStringLiteral("Velmont system GPRS szerver"));
        QCOMPARE(browser->source(), QUrl(QStringLiteral("qrc:/files/files/help.html")));
        QCOMPARE(help.windowTitle(), QStringLiteral("Help"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
