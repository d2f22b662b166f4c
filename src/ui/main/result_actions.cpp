#include "ui/main/result_actions.h"

#include "session/scan_project.h"
#include "util/browse_address.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMouseEvent>
#include <QUrl>

namespace corvantis::ui {

namespace {
// The columns the actions read.
constexpr int kResultSite = 0;
constexpr int kResultUrl = 3;
constexpr int kErrorUrl = 1;
} // namespace

ResultActions::ResultActions(scan::ScanProject& project, QAbstractItemView* results,
                             QAbstractItemView* errors, Browse browse, Status status,
                             QWidget* menuParent)
    : QObject(menuParent), m_project(project), m_results(results), m_errors(errors),
      m_browse(std::move(browse)), m_status(std::move(status)), m_popup2(new QMenu(menuParent)),
      m_errorViewport(errors->viewport()) {
    m_popup2->setObjectName(QStringLiteral("Popup2"));
    const char* items[] = {"Browse Link",   "Copy Site Field",    "Copy URL Field",
                           "Mark as Found", "Mark as None Found", "Partner History"};
    for (int i = 0; i < 6; ++i) {
        QAction* a = m_popup2->addAction(QLatin1String(items[i]));
        a->setObjectName(QStringLiteral("mnuPopup2Item_%1").arg(i));
        connect(a, &QAction::triggered, this, [this, i] { runPopup2(i); });
    }
    m_results->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_results, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_popup2->popup(m_results->viewport()->mapToGlobal(at)); });
    connect(m_results, &QAbstractItemView::doubleClicked, this,
            [this] { browseRow(m_results, kResultUrl); });
    connect(m_errors, &QAbstractItemView::doubleClicked, this, &ResultActions::openErrorExternally);
    // A second, slow click on the error row that was already selected is where
    // editing would begin: the row is browsed in the "Web" tab then. The view selects
    // the pressed row before it reports the press, so the row selected before it is
    // read from the press itself; and like the view's own edit trigger, the browse
    // waits out the double-click interval, so a double click goes to the desktop's
    // browser alone.
    m_errorViewport->installEventFilter(this);
    m_secondClick.setSingleShot(true);
    connect(&m_secondClick, &QTimer::timeout, this, [this] { browseRow(m_errors, kErrorUrl); });
    connect(m_errors, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && index.row() == m_errorRowBeforePress)
            m_secondClick.start(QApplication::doubleClickInterval());
    });
}

bool ResultActions::eventFilter(QObject* watched, QEvent* event) {
    // The viewport also reports its own end, when the list is half gone: only
    // its pointer is compared, and only mouse events read the list.
    if (watched == m_errorViewport) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            m_errorRowBeforePress = selectedRow(m_errors);
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            m_errorRowBeforePress = -1;
            m_secondClick.stop();
        }
    }
    return QObject::eventFilter(watched, event);
}

int ResultActions::selectedRow(const QAbstractItemView* view) const {
    const QItemSelectionModel* selection = view->selectionModel();
    if (!selection || !selection->hasSelection())
        return -1;
    return view->currentIndex().isValid() ? view->currentIndex().row()
                                          : selection->selectedIndexes().first().row();
}

std::optional<QString> ResultActions::prepared(const QString& address) {
    const std::optional<QString> url = util::PrepareBrowseAddress(address);
    if (!url)
        m_status(QStringLiteral("Not a web address: ") + address);
    return url;
}

void ResultActions::browseRow(const QAbstractItemView* view, int column) {
    const int row = selectedRow(view);
    if (row < 0)
        return;
    m_browse(view->model()->index(row, column).data().toString());
}

void ResultActions::openErrorExternally(const QModelIndex& index) {
    if (!index.isValid())
        return;
    const QString address = m_errors->model()->index(index.row(), kErrorUrl).data().toString();
    if (const std::optional<QString> url = prepared(address))
        QDesktopServices::openUrl(QUrl(*url, QUrl::StrictMode));
}

void ResultActions::runPopup2(int item) {
    const int row = selectedRow(m_results);
    if (row < 0 || item < 0 || item > 5)
        return; // nothing selected: nothing happens
    const QAbstractItemModel* model = m_results->model();
    switch (item) {
    case 0:
        browseRow(m_results, kResultUrl);
        break;
    case 1:
    case 2: {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(
            model->index(row, item == 1 ? kResultSite : kResultUrl).data().toString());
        break;
    }
    case 3:
    case 4:
        // A verdict corrected by hand is an edit of the project.
        if (item == 3)
            m_project.results.setStatus(row, scan::kDirectLink, scan::RowColour::Blue,
                                        scan::RowMarker::Linking);
        else
            m_project.results.setStatus(row, scan::kNoneFound, scan::RowColour::Red,
                                        scan::RowMarker::NotLinking);
        m_project.MarkProjectEdited();
        break;
    case 5:
        Q_EMIT historyRequested(model->index(row, kResultSite).data().toString());
        break;
    }
}

} // namespace corvantis::ui
