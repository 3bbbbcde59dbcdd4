#pragma once

#include <QDate>
#include <QTimer>
#include <QWidget>

class DeviceFilter;
class DeviceModel;
class DeviceTable;

namespace Ui {
class DevicesWindow;
}

// The devices that the server knows, beside the main window: the silent ones first and marked,
// names in natural order, filterable, counted under the table. While shown it takes the changed
// rows once a second without reordering them, so that the operator keeps the place and the
// selection; the rows are sorted again on request and when a device falls silent or comes back.
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
    void sortAgain();
    void showCounts();
    QList<int> selectedRows() const;
    void copySelected();
    void exportCsv();
    void forgetSelected();
    void enableForgetting();

    Ui::DevicesWindow* ui = nullptr;
    DeviceTable& table;
    DeviceModel* model = nullptr;
    DeviceFilter* proxy = nullptr;
    QTimer refreshTimer;
    QTimer sliceTimer;
    quint64 seenVersion = 0;
    quint64 seenRemovals = 0;
    QDate shownDay;
    bool columnsFitted = false;
};
