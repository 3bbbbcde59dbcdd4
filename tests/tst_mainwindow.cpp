#include "app/mainwindow.h"
#include "tests/testsupport.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QNetworkInterface>
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

    void messageWindowAppendsAtTheEndAndClears()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        window.appendText(u"first\n"_s);
        QTRY_COMPARE(messageWindowText(&window), u"first\n"_s);
        // The operator's selection is neither replaced nor extended.
        QMetaObject::invokeMethod(window.findChild<QWidget*>(u"textflow"_s), "selectAll");
        window.appendText(u"second\n\n"_s);
        QTRY_COMPARE(messageWindowText(&window), u"first\nsecond\n\n"_s);
        window.findChild<QAction*>(u"actionClear"_s)->trigger();
        window.appendText(u"third\n"_s);
        QTRY_COMPARE(messageWindowText(&window), u"third\n"_s);
    }

    void viewFollowsTheEnd()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QScrollBar* bar = window.findChild<QAbstractScrollArea*>(u"textflow"_s)->verticalScrollBar();
        const auto endInView = [&] { return bar->maximum() - bar->value() < window.fontMetrics().height(); };
        for (int i = 0; i < 300; ++i)
            window.appendText(u"line %1\n"_s.arg(i));
        QTRY_VERIFY(bar->maximum() > 0 && endInView());
        bar->setValue(0); // the operator scrolls back to read
        QVERIFY(!endInView());
        window.appendText(u"one more\n"_s);
        QTRY_VERIFY(endInView());
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
