#include "app/deviceswindow.h"

#include "app/devicemodel.h"
#include "settings/clock.h"
#include "ui_deviceswindow.h"

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

// Finds a device by its name, its last address or its state.
class DeviceFilter : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

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
};

} // namespace

DevicesWindow::DevicesWindow(DeviceTable& table, QWidget* parent)
    : QWidget(parent, Qt::Window), ui(new Ui::DevicesWindow), table(table)
{
    ui->setupUi(this);
    model = new DeviceModel(this);
    proxy = new DeviceFilter(this);
    proxy->setSourceModel(model);
    proxy->setSortRole(DeviceModel::sortRole);
    proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    ui->tv_devices->setModel(proxy);
    ui->tv_devices->sortByColumn(DeviceModel::Name, Qt::AscendingOrder);
    ui->sb_silentMinutes->setValue(windowSettings().value(silentMinutesKey, 60).toInt());

    connect(ui->e_filter, &QLineEdit::textChanged, proxy, &QSortFilterProxyModel::setFilterFixedString);
    connect(ui->sb_silentMinutes, &QSpinBox::valueChanged, this, [this](int minutes) {
        windowSettings().setValue(silentMinutesKey, minutes);
        markSilent();
    });
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
    const int silent
        = model->markSilent(clockNow().toMSecsSinceEpoch(), static_cast<qint64>(ui->sb_silentMinutes->value()) * 60);
    setWindowTitle(silent > 0 ? tr("Eszközök – %n néma", nullptr, silent) : tr("Eszközök"));
}
