#include <QApplication>
#include <QNetworkProxyFactory>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

namespace {

// Web requests go to a proxy on loopback where nothing listens: the program under test never asks
// the real public-address service.
class LoopbackOnly : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        if (query.queryType() == QNetworkProxyQuery::UrlRequest)
            return {QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), 1)};
        return {QNetworkProxy(QNetworkProxy::NoProxy)};
    }
};

// Preloaded into the real program by tests that need it serving: presses Start once the window is
// up, as the operator does (the program has no way to start serving on its own), and says so on
// its standard output once the server listens.
void pressStartOnceShown()
{
    QNetworkProxyFactory::setApplicationProxyFactory(new LoopbackOnly);
    QTimer::singleShot(0, qApp, [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* start = window->findChild<QPushButton*>(QStringLiteral("start"))) {
                start->click();
                QTextStream(stdout) << "serving" << Qt::endl;
            }
        }
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(pressStartOnceShown)
