#include "tests/dialogdriving.h"

#include "app/mainwindow.h"
#include "tests/testsupport.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMetaEnum>
#include <QPushButton>
#include <QtTest>

void openThroughMenu(MainWindow& window, const char* actionName, std::function<void(QDialog*)> act)
{
    whenModalOpens([act = std::move(act)](QWidget* modal) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            act(dialog);
    });
    window.findChild<QAction*>(QLatin1String(actionName))->trigger();
}

QString shownButtons(QDialog* dialog)
{
    auto* box = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    const QMetaEnum names = QMetaEnum::fromType<QDialogButtonBox::StandardButtons>();
    return QString::fromLatin1(names.valueToKeys(int(box->standardButtons())));
}

void pressButton(QDialog* dialog, QDialogButtonBox::StandardButton which)
{
    QPushButton* button = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(which);
    if (button && button->isVisible() && button->isEnabled())
        QTest::mouseClick(button, Qt::LeftButton);
    else
        dialog->reject();
}

void retype(QLineEdit* field, const QString& text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    // Key events that carry their character, as a keyboard layout or input method delivers
    // letters beyond ASCII, which QTest::keyClicks cannot type.
    for (const QChar character : text)
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(character), Qt::NoModifier);
}

QString labelText(const MainWindow& window, const char* name)
{
    auto* label = window.findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

void writeConfig(const QList<QByteArray>& lines)
{
    QFile file(QStringLiteral("config.cfg"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (const QByteArray& line : lines)
        file.write(line + "\r\n");
}

QByteArray configLine(int number)
{
    QByteArray line = readFileBytes(QStringLiteral("config.cfg")).split('\n').value(number - 1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}
