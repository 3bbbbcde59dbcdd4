#include "app/mainwindow.h"
#include "dialogs/folderchooser.h"
#include "tests/dialogdriving.h"
#include "tests/testsupport.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

namespace {

// Answers the folder chooser in the operator's place, one answer per opening (a cancel once the
// answers run out), and notes how it was asked.
class ChooserStandIn
{
public:
    explicit ChooserStandIn(QStringList answers) : answers(std::move(answers))
    {
        setFolderChooser([this](QWidget* parent, const QString& caption) {
            asked << caption;
            askers << (parent ? parent->objectName() : QStringLiteral("no parent"));
            return this->answers.isEmpty() ? QString() : this->answers.takeFirst();
        });
    }
    ~ChooserStandIn() { setFolderChooser({}); }

    QStringList asked;
    QStringList askers; // object names of the parents the chooser was opened over

private:
    QStringList answers;
};

QString workingFolder()
{
    return QDir::currentPath() + QLatin1Char('/');
}

template<class Widget>
Widget* child(QDialog* dialog, const char* name)
{
    return dialog->findChild<Widget*>(QLatin1String(name));
}

QString text(QDialog* dialog, const char* name)
{
    if (auto* field = child<QLineEdit>(dialog, name))
        return field->text();
    return child<QLabel>(dialog, name)->text();
}

// Prefix, extension and folder as a tab shows them.
QStringList dataTab(QDialog* dialog)
{
    return {text(dialog, "f_prefix"), text(dialog, "f_ext"), text(dialog, "f_path")};
}

QStringList backupTab(QDialog* dialog)
{
    return {text(dialog, "b_prefix"), text(dialog, "b_ext"), text(dialog, "b_path")};
}

QStringList naming(const filename_t& name)
{
    return {name.prefix, name.ext, name.path};
}

void openTab(QDialog* dialog, int index)
{
    QTabBar* bar = child<QTabWidget>(dialog, "tabWidget")->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(index).center());
}

void click(QDialog* dialog, const char* name)
{
    QTest::mouseClick(child<QAbstractButton>(dialog, name), Qt::LeftButton);
}

bool backupAreaEnabled(QDialog* dialog)
{
    return child<QWidget>(dialog, "widget_backup")->isEnabled();
}

bool backupPanelShown(const MainWindow& window)
{
    return window.findChild<QGroupBox*>(QStringLiteral("gb_backup"))->isVisible();
}

QStringList namingLabels(const MainWindow& window)
{
    return {labelText(window, "l_file_prefix"), labelText(window, "l_file_ext"), labelText(window, "l_backup_prefix"),
        labelText(window, "l_backup_ext")};
}

} // namespace

class StorageDialogTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initStilwaterTests(); }

    void opensWithTheDefaults()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QString title, buttons, placeholder;
        QStringList tabs, data, backup;
        int currentTab = -1;
        bool ticked = true, areaEnabled = true;
        openThroughMenu(window, "actionFile", [&](QDialog* dialog) {
            title = dialog->windowTitle();
            buttons = shownButtons(dialog);
            auto* tabWidget = child<QTabWidget>(dialog, "tabWidget");
            currentTab = tabWidget->currentIndex();
            tabs = QStringList {tabWidget->tabText(0), tabWidget->tabText(1)};
            data = dataTab(dialog);
            placeholder = child<QLineEdit>(dialog, "f_prefix")->placeholderText();
            ticked = child<QCheckBox>(dialog, "cb_backup")->isChecked();
            areaEnabled = backupAreaEnabled(dialog);
            backup = backupTab(dialog);
            pressButton(dialog, QDialogButtonBox::Cancel);
        });
        QCOMPARE(title, QStringLiteral("Mentési beállítások"));
        QCOMPARE(buttons, QStringLiteral("Ok|Cancel"));
        QCOMPARE(tabs, (QStringList {QStringLiteral("Részletek"), QStringLiteral("Backup")}));
        QCOMPARE(currentTab, 0);
        QCOMPARE(data, (QStringList {QString(), QStringLiteral(".txt"), workingFolder()}));
        QCOMPARE(placeholder, QStringLiteral("<nincs>"));
        QVERIFY(!ticked);
        QVERIFY(!areaEnabled);
        QCOMPARE(backup, (QStringList {QStringLiteral("bak_"), QStringLiteral(".txt"), workingFolder()}));
    }

    // Folders in config.cfg are written but not read back, so the dialog shows the working folder.
    void opensWithStoredNamingAndBackupOn()
    {
        ScopedWorkDir dir;
        writeConfig({"*** GPRS Data Server Config File ***", "10001", "30", "d_", "csv", "/data/", "1", "b_", ".bak",
            "/bak/", "ok", "", ""});
        MainWindow window;
        window.show();
        QStringList data, backup;
        bool ticked = false, areaEnabled = false;
        openThroughMenu(window, "actionFile", [&](QDialog* dialog) {
            data = dataTab(dialog);
            ticked = child<QCheckBox>(dialog, "cb_backup")->isChecked();
            areaEnabled = backupAreaEnabled(dialog);
            backup = backupTab(dialog);
            pressButton(dialog, QDialogButtonBox::Cancel);
        });
        QCOMPARE(data, (QStringList {QStringLiteral("d_"), QStringLiteral("csv"), workingFolder()}));
        QVERIFY(ticked);
        QVERIFY(areaEnabled);
        QCOMPARE(backup, (QStringList {QStringLiteral("b_"), QStringLiteral(".bak"), workingFolder()}));
    }

    void acceptingUnchangedStoresTheWorkingFolder()
    {
        ScopedWorkDir dir;
        const QString folder = workingFolder();
        {
            MainWindow window;
            window.show();
            openThroughMenu(window, "actionFile", [](QDialog* dialog) { pressButton(dialog, QDialogButtonBox::Ok); });
            QCOMPARE(naming(window.currentSettings().file), (QStringList {QString(), QStringLiteral(".txt"), folder}));
            QCOMPARE(naming(window.currentSettings().backup),
                (QStringList {QStringLiteral("bak_"), QStringLiteral(".txt"), folder}));
            QVERIFY(!window.currentSettings().make_backup);
            QCOMPARE(namingLabels(window),
                (QStringList {QStringLiteral("<nincs>"), QStringLiteral(".txt"), QStringLiteral("bak_"),
                    QStringLiteral(".txt")}));
            QVERIFY(!backupPanelShown(window));
        }
        QCOMPARE(configLine(6), folder.toUtf8());
        QCOMPARE(configLine(10), folder.toUtf8());
    }

    void extensionsGetTheirDot_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("without dot") << QStringLiteral("txt") << QStringLiteral(".txt");
        QTest::newRow("emptied") << QString() << QStringLiteral(".");
        QTest::newRow("with dot") << QStringLiteral(".csv") << QStringLiteral(".csv");
        QTest::newRow("inner dot only") << QStringLiteral("tar.gz") << QStringLiteral(".tar.gz");
    }

    void extensionsGetTheirDot()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        openThroughMenu(window, "actionFile", [&](QDialog* dialog) {
            retype(child<QLineEdit>(dialog, "f_ext"), typed);
            openTab(dialog, 1);
            click(dialog, "cb_backup");
            retype(child<QLineEdit>(dialog, "b_ext"), typed);
            pressButton(dialog, QDialogButtonBox::Ok);
        });
        QCOMPARE(window.currentSettings().file.ext, stored);
        QCOMPARE(window.currentSettings().backup.ext, stored);
        QCOMPARE(labelText(window, "l_file_ext"), stored);
        QCOMPARE(labelText(window, "l_backup_ext"), stored);
    }

    void chosenFoldersGetSlashes_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Windows path") << QStringLiteral("C:\\Adatok\\gprs") << QStringLiteral("C:/Adatok/gprs/");
        QTest::newRow("Unix path") << QStringLiteral("/srv/gprs") << QStringLiteral("/srv/gprs/");
        QTest::newRow("drive root") << QStringLiteral("D:\\") << QStringLiteral("D://");
    }

    void chosenFoldersGetSlashes()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, shown);
        ScopedWorkDir dir;
        ChooserStandIn chooser({chosen, chosen + QStringLiteral("bak")});
        const QString shownBackup = shown.chopped(1) + QStringLiteral("bak/");
        QString data, backup;
        {
            MainWindow window;
            window.show();
            openThroughMenu(window, "actionFile", [&](QDialog* dialog) {
                click(dialog, "f_setfolder");
                data = text(dialog, "f_path");
                openTab(dialog, 1);
                click(dialog, "cb_backup");
                click(dialog, "b_setfolder");
                backup = text(dialog, "b_path");
                pressButton(dialog, QDialogButtonBox::Ok);
            });
            QCOMPARE(data, shown);
            QCOMPARE(backup, shownBackup);
            QCOMPARE(window.currentSettings().file.path, shown);
            QCOMPARE(window.currentSettings().backup.path, shownBackup);
        }
        QCOMPARE(chooser.asked, (QStringList {QStringLiteral("Select folder"), QStringLiteral("Select folder")}));
        QCOMPARE(chooser.askers, (QStringList {QStringLiteral("File"), QStringLiteral("File")}));
        QCOMPARE(configLine(6), shown.toUtf8());
        QCOMPARE(configLine(10), shownBackup.toUtf8());
    }

    void cancelledChooserKeepsTheFolderShown()
    {
        ScopedWorkDir dir;
        ChooserStandIn chooser({QStringLiteral("/first")}); // every later opening is cancelled
        MainWindow window;
        window.show();
        QStringList shown;
        openThroughMenu(window, "actionFile", [&](QDialog* dialog) {
            click(dialog, "f_setfolder");
            click(dialog, "f_setfolder");
            shown << text(dialog, "f_path");
            openTab(dialog, 1);
            click(dialog, "cb_backup");
            click(dialog, "b_setfolder");
            shown << text(dialog, "b_path");
            pressButton(dialog, QDialogButtonBox::Ok);
        });
        QCOMPARE(chooser.asked.size(), 3);
        QCOMPARE(shown, (QStringList {QStringLiteral("/first/"), workingFolder()}));
        QCOMPARE(window.currentSettings().file.path, QStringLiteral("/first/"));
        QCOMPARE(window.currentSettings().backup.path, workingFolder());
    }

    // The backup naming is taken on OK even while the backup is off.
    void backupAreaFollowsTheCheckBox()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QList<bool> enabled;
        openThroughMenu(window, "actionFile", [&](QDialog* dialog) {
            openTab(dialog, 1);
            enabled << backupAreaEnabled(dialog);
            click(dialog, "cb_backup");
            enabled << backupAreaEnabled(dialog);
            retype(child<QLineEdit>(dialog, "b_prefix"), QStringLiteral("mentes_"));
            click(dialog, "cb_backup");
            enabled << backupAreaEnabled(dialog);
            pressButton(dialog, QDialogButtonBox::Ok);
        });
        QCOMPARE(enabled, (QList<bool> {false, true, false}));
        QVERIFY(!window.currentSettings().make_backup);
        QCOMPARE(window.currentSettings().backup.prefix, QStringLiteral("mentes_"));
        QCOMPARE(labelText(window, "l_backup_prefix"), QStringLiteral("mentes_"));
        QVERIFY(!backupPanelShown(window));
    }

    void acceptedSwitchShowsAndHidesTheBackupPanel()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QList<bool> shown;
        for (int round = 0; round < 2; ++round) {
            openThroughMenu(window, "actionFile", [&](QDialog* dialog) {
                openTab(dialog, 1);
                click(dialog, "cb_backup");
                pressButton(dialog, QDialogButtonBox::Ok);
            });
            shown << window.currentSettings().make_backup << backupPanelShown(window);
        }
        QCOMPARE(shown, (QList<bool> {true, true, false, false}));
    }

    void cancelAfterChangesKeepsEverything()
    {
        ScopedWorkDir dir;
        writeConfig({"*** GPRS Data Server Config File ***", "10001", "30", "d_", ".csv", "", "0", "b_", ".bak", "",
            "ok", "", ""});
        ChooserStandIn chooser({QStringLiteral("C:\\elsewhere"), QStringLiteral("/other")});
        {
            MainWindow window;
            window.show();
            openThroughMenu(window, "actionFile", [&](QDialog* dialog) {
                retype(child<QLineEdit>(dialog, "f_prefix"), QStringLiteral("x_"));
                retype(child<QLineEdit>(dialog, "f_ext"), QStringLiteral("log"));
                click(dialog, "f_setfolder");
                openTab(dialog, 1);
                click(dialog, "cb_backup");
                retype(child<QLineEdit>(dialog, "b_prefix"), QStringLiteral("y_"));
                retype(child<QLineEdit>(dialog, "b_ext"), QStringLiteral("old"));
                click(dialog, "b_setfolder");
                pressButton(dialog, QDialogButtonBox::Cancel);
            });
            QCOMPARE(chooser.asked.size(), 2);
            QCOMPARE(naming(window.currentSettings().file),
                (QStringList {QStringLiteral("d_"), QStringLiteral(".csv"), QString()}));
            QCOMPARE(naming(window.currentSettings().backup),
                (QStringList {QStringLiteral("b_"), QStringLiteral(".bak"), QString()}));
            QVERIFY(!window.currentSettings().make_backup);
            QCOMPARE(namingLabels(window),
                (QStringList {
                    QStringLiteral("d_"), QStringLiteral(".csv"), QStringLiteral("b_"), QStringLiteral(".bak")}));
            QVERIFY(!backupPanelShown(window));
        }
        QCOMPARE(configLine(6), QByteArray());
        QCOMPARE(configLine(7), QByteArray("0"));
        QCOMPARE(configLine(10), QByteArray());
    }
};

QTEST_MAIN(StorageDialogTest)
#include "tst_storagedialog.moc"
