#pragma once

#include <QDate>
#include <QTimer>
#include <QWidget>

class DeviceModel;
class DeviceTable;
class QSortFilterProxyModel;

namespace Ui {
class DevicesWindow;
}

// The devices that the server knows, beside the main window: sortable, filterable, the silent ones
// marked and counted in the title. While shown it takes the changed rows once a second.
class DevicesWindow : public QWidget
{
    Q_OBJECT

public:
    explicit DevicesWindow(DeviceTable& table, QWidget* parent = nullptr);
    ~DevicesWindow() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();
    void takeSlice();
    void markSilent();

    Ui::DevicesWindow* ui = nullptr;
    DeviceTable& table;
    DeviceModel* model = nullptr;
    QSortFilterProxyModel* proxy = nullptr;
    QTimer refreshTimer;
    QTimer sliceTimer;
    quint64 seenVersion = 0;
    quint64 seenRemovals = 0;
    QDate shownDay;
    bool columnsFitted = false;
};
