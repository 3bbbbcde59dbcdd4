#include "app/deviceswindow.h"

#include "app/devicemodel.h"
#include "settings/clock.h"
#include "ui_deviceswindow.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSaveFile>
#include <QScrollBar>
#include <QSettings>
#include <QSortFilterProxyModel>

namespace {

// Rows taken over per turn of the event loop: a few milliseconds of work even while the view sorts.
constexpr std::size_t sliceRows = 500;

const QString silentMinutesKey = QStringLiteral("devices/silentMinutes");

QSettings windowSettings()
{
    return QSettings(QStringLiteral("Stilwater"), QStringLiteral("Stilwater"));
}

} // namespace

// Finds a device by its name, its last address or its state; equal values keep the names' natural
// order.
class DeviceFilter : public QSortFilterProxyModel
{
public:
    DeviceFilter(DeviceModel* devices, QObject* parent) : QSortFilterProxyModel(parent), devices(devices)
    {
        setSourceModel(devices);
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const QRegularExpression& pattern = filterRegularExpression();
        for (const int column : {DeviceModel::Name, DeviceModel::Peer, DeviceModel::State}) {
            if (sourceModel()->index(row, column, parent).data().toString().contains(pattern))
                return true;
        }
        return false;
    }

    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override
    {
        if (left.column() != DeviceModel::Name) {
            const QPartialOrdering order
                = QVariant::compare(left.data(DeviceModel::sortRole), right.data(DeviceModel::sortRole));
            if (order != QPartialOrdering::Equivalent)
                return order == QPartialOrdering::Less;
        }
        return devices->nameLess(left.row(), right.row());
    }

private:
    const DeviceModel* devices;
};

DevicesWindow::DevicesWindow(DeviceTable& table, QWidget* parent)
    : QWidget(parent, Qt::Window), ui(new Ui::DevicesWindow), table(table)
{
    ui->setupUi(this);
    model = new DeviceModel(this);
    proxy = new DeviceFilter(model, this);
    // Rows keep their places while their values change: re-sorted every second, a page sorted by
    // the last message would never stand still.
    proxy->setDynamicSortFilter(false);
    proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    QTableView* view = ui->tv_devices;
    view->setModel(proxy);
    view->sortByColumn(DeviceModel::State, Qt::AscendingOrder);
    // One line of text per row, so that a big fleet fills the window with rows, not with padding.
    const int rowHeight = view->fontMetrics().height() + 4;
    view->verticalHeader()->setMinimumSectionSize(rowHeight);
    view->verticalHeader()->setDefaultSectionSize(rowHeight);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->addActions({ui->actionCopy, ui->actionForget});
    ui->sb_silentMinutes->setValue(windowSettings().value(silentMinutesKey, 60).toInt());

    connect(ui->e_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        proxy->setFilterFixedString(text);
        showCounts();
    });
    connect(ui->sb_silentMinutes, &QSpinBox::valueChanged, this, [this](int minutes) {
        windowSettings().setValue(silentMinutesKey, minutes);
        markSilent();
    });
    connect(ui->pb_sort, &QPushButton::clicked, this, &DevicesWindow::sortAgain);
    connect(ui->pb_export, &QPushButton::clicked, this, &DevicesWindow::exportCsv);
    connect(ui->pb_forget, &QPushButton::clicked, this, &DevicesWindow::forgetSelected);
    connect(ui->actionCopy, &QAction::triggered, this, &DevicesWindow::copySelected);
    connect(ui->actionForget, &QAction::triggered, this, &DevicesWindow::forgetSelected);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &DevicesWindow::enableForgetting);
    connect(model, &QAbstractItemModel::dataChanged, this, &DevicesWindow::enableForgetting);
    enableForgetting();
    refreshTimer.setInterval(1000);
    connect(&refreshTimer, &QTimer::timeout, this, &DevicesWindow::refresh);
    sliceTimer.setInterval(0);
    connect(&sliceTimer, &QTimer::timeout, this, &DevicesWindow::takeSlice);
}

DevicesWindow::~DevicesWindow()
{
    delete ui;
}

void DevicesWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
    refreshTimer.start();
}

void DevicesWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    refreshTimer.stop();
}

void DevicesWindow::refresh()
{
    if (sliceTimer.isActive())
        return;
    // After midnight every row is taken again, so that yesterday's counts go; so are they once the
    // table has dropped rows, which it tells by their number only.
    const QDate today = clockNow().date();
    if (today != shownDay)
        seenVersion = 0;
    shownDay = today;
    const quint64 removals = table.removals();
    if (removals != seenRemovals) {
        model->clear();
        seenVersion = 0;
        seenRemovals = removals;
    }
    const quint64 version = table.version();
    model->enqueue(table.rowsChangedSince(seenVersion));
    seenVersion = version;
    takeSlice();
}

void DevicesWindow::takeSlice()
{
    if (model->takeSlice(sliceRows)) {
        sliceTimer.start();
        return;
    }
    sliceTimer.stop();
    markSilent();
    // Once, to the first rows: fitted again at every change, a big fleet's columns would jump.
    if (!columnsFitted && model->rowCount() > 0) {
        columnsFitted = true;
        ui->tv_devices->resizeColumnsToContents();
    }
}

void DevicesWindow::markSilent()
{
    const bool crossed
        = model->markSilent(clockNow().toMSecsSinceEpoch(), static_cast<qint64>(ui->sb_silentMinutes->value()) * 60);
    // A device that falls silent or comes back changes only the order by state and the rows the
    // filter keeps; any other order stays as it is.
    if (crossed && (proxy->sortColumn() == DeviceModel::State || !ui->e_filter->text().isEmpty()))
        sortAgain();
    const int silent = model->silentCount();
    setWindowTitle(silent > 0 ? tr("Eszközök – %n néma", nullptr, silent) : tr("Eszközök"));
    showCounts();
}

void DevicesWindow::sortAgain()
{
    // A view scrolled down keeps its top row at the top, wherever the sorting takes it; one at the
    // start stays there, so that devices falling silent come into sight. The selection follows its
    // rows by itself.
    QTableView* view = ui->tv_devices;
    const QPersistentModelIndex top
        = view->verticalScrollBar()->value() > 0 ? view->indexAt(QPoint(0, 0)) : QModelIndex();
    proxy->invalidate();
    if (top.isValid())
        view->scrollTo(top, QAbstractItemView::PositionAtTop);
    showCounts();
}

void DevicesWindow::showCounts()
{
    ui->l_counts->setText(tr("Eszközök: %1 · kapcsolódva: %2 · néma: %3 · látható: %4")
                              .arg(model->rowCount())
                              .arg(model->connectedCount())
                              .arg(model->silentCount())
                              .arg(proxy->rowCount()));
}

QList<int> DevicesWindow::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : ui->tv_devices->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void DevicesWindow::copySelected()
{
    const QList<int> rows = selectedRows();
    if (!rows.isEmpty())
        QGuiApplication::clipboard()->setText(tableText(*proxy, rows, u'\t'));
}

void DevicesWindow::exportCsv()
{
    // Qt's own dialog: the same on every platform, and one that the tests can fill in. It opens in
    // the working folder, beside config.cfg and the data files.
    const QString path = QFileDialog::getSaveFileName(this, tr("Exportálás CSV-be"),
        QDir::current().absoluteFilePath(QStringLiteral("eszkozok.csv")), tr("CSV-fájl (*.csv)"), nullptr,
        QFileDialog::DontUseNativeDialog);
    if (path.isEmpty())
        return;
    QList<int> rows;
    for (int row = 0; row < proxy->rowCount(); ++row)
        rows << row;
    // The mark in front tells a spreadsheet that the file is UTF-8; the semicolon is what a
    // Hungarian one separates fields by.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write("\xEF\xBB\xBF" + tableText(*proxy, rows, u';').toUtf8()) >= 0
        && file.commit())
        return;
    QMessageBox::critical(this, tr("Hiba"), tr("A fájl nem írható: %1").arg(QDir::toNativeSeparators(path)),
        QMessageBox::Ok, QMessageBox::NoButton);
}

void DevicesWindow::forgetSelected()
{
    const QList<int> rows = selectedRows();
    if (!ui->pb_forget->isEnabled() || rows.isEmpty())
        return;
    QStringList names;
    for (const int row : rows)
        names << proxy->index(row, DeviceModel::Name).data().toString();
    QMessageBox box(QMessageBox::Warning, tr("Figyelmeztetés"),
        tr("Elfelejti a kijelölt %n eszközt? Amíg újra nem jelentkezik, nem szerepel a táblázatban.", nullptr,
            static_cast<int>(names.size())),
        QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Cancel);
    if (box.exec() != QMessageBox::Ok)
        return;
    model->remove(table.forget(names));
    markSilent();
}

void DevicesWindow::enableForgetting()
{
    // A device with an open connection is in service: only the others can be forgotten.
    const QModelIndexList connected = ui->tv_devices->selectionModel()->selectedRows(DeviceModel::Connected);
    const bool canForget = !connected.isEmpty()
        && std::none_of(connected.cbegin(), connected.cend(),
            [](const QModelIndex& index) { return index.data(DeviceModel::sortRole).toInt() > 0; });
    ui->pb_forget->setEnabled(canForget);
    ui->actionForget->setEnabled(canForget);
}
