#include "app/mainwindow.h"
#include "tests/testsupport.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QNetworkInterface>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

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

} // namespace

class MainWindowTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initStilwaterTests(); }
    void cleanup() { initStilwaterTests(); }

    void windowIsFixedAndHidesWhatIsOutOfReach()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QCOMPARE(window.minimumSize(), window.size());
        QCOMPARE(window.maximumSize(), window.size());
        QVERIFY(window.findChild<QWidget*>(u"textflow"_s)->property("readOnly").toBool());
        for (const QString& name : {u"actionPattern"_s, u"actionContent"_s, u"gb_pattern"_s})
            QVERIFY2(!window.findChild<QObject*>(name)->property("visible").toBool(), qPrintable(name));
    }

    void messageWindowShowsEveryLineInOrderAndKeepsTheNewest()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        auto* flow = window.findChild<QPlainTextEdit*>(u"textflow"_s);
        // A burst beyond the cap: every line arrives, in order, and the oldest leave from the top.
        // The empty block after the last line break counts as one of the 50,000.
        for (int i = 0; i < 50005; ++i)
            window.appendText(u"line %1\n"_s.arg(i));
        QTRY_VERIFY(flow->toPlainText().endsWith(u"line 50003\nline 50004\n"_s));
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
        window.appendText(u"one more\n\n"_s);
        QTRY_VERIFY(flow->toPlainText().endsWith(u"line 50004\none more\n\n"_s));
        QTRY_VERIFY(showsTheEnd(flow));
        QVERIFY(!flow->textCursor().hasSelection());
    }

    void clearingDropsShownAndWaitingLines()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        window.appendText(u"shown line\n"_s);
        QTRY_COMPARE(messageWindowText(&window), u"shown line\n"_s);
        window.appendText(u"line not yet shown\n"_s);
        window.findChild<QAction*>(u"actionClear"_s)->trigger();
        window.appendText(u"new line\n"_s);
        QTRY_COMPARE(messageWindowText(&window), u"new line\n"_s);
    }

    void aboutBoxShowsTheVersion()
    {
        ScopedWorkDir dir;
        MainWindow window;
        QString seen;
        whenModalOpens([&](QWidget* modal) {
            seen = modal->windowTitle() + u'|' + modal->findChild<QLabel*>(u"l_version"_s)->text();
            modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close)->click();
        });
        window.findChild<QAction*>(u"actionAbout"_s)->trigger();
        QCOMPARE(seen, u"Névjegy| Version 2.33 "_s);
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
        service.answerThePublicAddressRequest();
        ScopedWorkDir dir;
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
