#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class QAbstractItemView;
class QMenu;
class QModelIndex;

namespace corvantis::scan {
class ScanProject;
}

namespace corvantis::ui {

// What the result and error lists do besides sorting: the result list's menu
// "Popup2" (browse, copy the site or the address, mark the verdict by hand), a
// double click on a result (browse it in the "Web" tab), a double click on an
// error (open it in the desktop's browser) and a second, slow click on the
// selected error (browse it in the "Web" tab); a plain click only selects. Addresses are prepared
// for a browser first; one that is no web address is not opened and the status says so.
class ResultActions : public QObject {
    Q_OBJECT
public:
    using Browse = std::function<void(const QString& address)>; // as stored, in the "Web" tab
    using Status = std::function<void(const QString& text)>;

    ResultActions(scan::ScanProject& project, QAbstractItemView* results, QAbstractItemView* errors,
                  Browse browse, Status status, QWidget* menuParent);

    // The actions of "Popup2" on the selected result row, by index 0 to 5.
    void runPopup2(int item);

Q_SIGNALS:
    // "Partner History", for the selected row's partner.
    void historyRequested(const QString& partner);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int selectedRow(const QAbstractItemView* view) const;
    void browseRow(const QAbstractItemView* view, int column);
    void openErrorExternally(const QModelIndex& index);
    std::optional<QString> prepared(const QString& address);

    scan::ScanProject& m_project;
    QAbstractItemView* m_results;
    QAbstractItemView* m_errors;
    Browse m_browse;
    Status m_status;
    QMenu* m_popup2;
    QObject* m_errorViewport;
    int m_errorRowBeforePress = -1;
    QTimer m_secondClick;
};

} // namespace corvantis::ui
