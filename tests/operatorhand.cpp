#include <QtWidgets>

namespace {

// Preloaded into the real program by tests that need it serving: presses Start once the window is
// up, as the operator does (the program has no way to start serving on its own), and says so on
// its standard output once the server listens.
void pressStartOnceShown()
{
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
