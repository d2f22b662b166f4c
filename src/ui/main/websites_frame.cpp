#include "ui/main/websites_frame.h"

#include "scan/scan_engine.h"
#include "session/scan_session.h"
#include "ui/common/list_view_helpers.h"
#include "ui/common/widgets.h"
#include "ui/main/display_pacing.h"
#include "ui/main/queue_snapshot.h"
#include "util/seams.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>

namespace corvantis::ui {

namespace {
struct Entry {
    const char* field;
    const char* label;
    const char* caption;
    const char* toolTip;
};
constexpr Entry kEntries[5] = {
    {"Text1", "Label2",
     "Website URL:", "Enter the URL of the website/page you want to search for links."},
    {"Text2", "Label3", "Links expected:",
     "Optional - Enter the number of links you expect to be on this site.  Default is 1."},
    {"Text3", "Label15", "Link URL:",
     "Optional - Enter the URL you would to use for this site in your generated HTML pages."},
    {"Text4", "Label16", "Link Text:",
     "Optional - Enter the link text you would to use for this site in your generated HTML "
     "pages."},
    {"Text5", "Label17", "Description:",
     "Optional - Enter a description of this website to appear on your generated HTML pages."},
};
} // namespace

WebsitesFrame::WebsitesFrame(QWidget* client, scan::ScanSession& session, scan::ScanEngine* engine,
                             util::Messages& messages, DisplayPacing& pacing)
    : QGroupBox(QStringLiteral("Websites"), client), m_session(session), m_engine(engine),
      m_messages(messages) {
    Named(this, QStringLiteral("Frame1"), title());
    buildEntry();
    buildButtons();
    buildLists(pacing);
    // The domain field is the session's domain; a scan writes it back normalised.
    connect(m_domain, &QLineEdit::textChanged, &m_session.project, &scan::ScanProject::setDomain);
    connect(&m_session.project, &scan::ScanProject::domainChanged, this,
            [this](const QString& domain) {
                if (m_domain->text() != domain)
                    m_domain->setText(domain);
            });
}

void WebsitesFrame::buildEntry() {
    auto* domainLabel = Named(Caption(this, QStringLiteral("Find links to this website:")),
                              QStringLiteral("Label1"));
    m_domain = Named(Labelled(new QLineEdit(this), domainLabel,
                              QStringLiteral("Enter the website you want to find links to from "
                                             "remote sites")),
                     QStringLiteral("txtDomain"));
    for (int i = 0; i < 5; ++i) {
        auto* label = Named(Caption(this, QLatin1String(kEntries[i].caption)),
                            QLatin1String(kEntries[i].label));
        m_entry[i] = Named(Labelled(new QLineEdit(this), label, QLatin1String(kEntries[i].toolTip)),
                           QLatin1String(kEntries[i].field));
        if (i > 0)
            m_detailedOnly << label << m_entry[i];
    }
    // The entry fields tell what they are for in the status bar when they take the focus.
    for (QLineEdit* field : {m_domain, m_entry[0], m_entry[1], m_entry[2], m_entry[3], m_entry[4]})
        field->installEventFilter(this);
    for (QLineEdit* field : {m_entry[0], m_entry[1]})
        connect(field, &QLineEdit::returnPressed, this, [this] { addPartner(true); });
    connect(m_entry[1], &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!m_engine)
            return;
        const QString kept = m_engine->CheckLinksExpected(text);
        if (kept != text)
            m_entry[1]->setText(kept);
    });
}

void WebsitesFrame::buildButtons() {
    auto* add = Named(
        Button(this, QStringLiteral("Add"), QStringLiteral("Add the site you have entered above")),
        QStringLiteral("cmdAdd"));
    auto* del =
        Named(Button(this, QStringLiteral("Delete"), QStringLiteral("Delete the selected site")),
              QStringLiteral("cmbDel"));
    auto* edit =
        Named(Button(this, QStringLiteral("Edit"), QStringLiteral("Edit the selected site")),
              QStringLiteral("cmdEdit"));
    connect(add, &QPushButton::clicked, this, [this] { addPartner(false); });
    connect(del, &QPushButton::clicked, this, &WebsitesFrame::deletePartner);
    connect(edit, &QPushButton::clicked, this, [this] {
        if (const int row = selectedPartner(); row >= 0)
            Q_EMIT editRequested(row);
    });
    // No action of its own: partners are imported in "Automation".
    Named(Button(this, QStringLiteral("Import")), QStringLiteral("Command4"))->setEnabled(false);
}

void WebsitesFrame::buildLists(DisplayPacing& pacing) {
    m_partners = Named(ListView(this, QStringLiteral("Check these sites for links:")),
                       QStringLiteral("List1"));
    m_partners->setModel(&m_session.project.partners);
    // The scan finds partners by position, so the list keeps its order while one runs.
    SortOnHeaderClicks(m_partners, [this] {
        if (!m_session.run.scanRunning())
            return true;
        m_messages.inform(QStringLiteral("You cannot sort this column while a search is running."));
        return false;
    });
    m_popup1 = Named(new QMenu(window()), QStringLiteral("Popup1"));
    QAction* deleteSite = m_popup1->addAction(QStringLiteral("Delete Site"));
    deleteSite->setObjectName(QStringLiteral("mnuPopup1Item_0"));
    connect(deleteSite, &QAction::triggered, this, &WebsitesFrame::deletePartner);
    QAction* history = m_popup1->addAction(QStringLiteral("Partner History"));
    history->setObjectName(QStringLiteral("mnuPopup1Item_1"));
    connect(history, &QAction::triggered, this, [this] {
        const QModelIndex current = m_partners->currentIndex();
        if (current.isValid())
            Q_EMIT historyRequested(m_session.project.partners.at(current.row()).address);
    });
    m_partners->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_partners, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_popup1->popup(m_partners->viewport()->mapToGlobal(at)); });

    auto* queuedLabel =
        Named(Caption(this, QStringLiteral("Webpages Queued:")), QStringLiteral("Label4"));
    m_queue = Named(new QListView(this), QStringLiteral("List2"));
    auto* shown = new QueueSnapshot(m_session.run.queue, this);
    m_queue->setModel(shown);
    m_queue->setUniformItemSizes(true);
    m_queue->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pacing.bindQueue(shown);
    Labelled(m_queue, queuedLabel,
             QStringLiteral("These webpages are queued about to be scanned for links to your Main "
                            "Site"));
}

void WebsitesFrame::setSimpleView(bool simple) {
    for (QWidget* w : m_detailedOnly)
        w->setVisible(!simple);
}

void WebsitesFrame::focusField(scan::EntryField field) {
    (field == scan::EntryField::Domain ? m_domain : m_entry[0])->setFocus();
}

void WebsitesFrame::clearEntry() {
    m_entry[0]->clear();
    m_entry[1]->clear();
}

int WebsitesFrame::selectedPartner() const {
    const QModelIndexList rows = m_partners->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void WebsitesFrame::addPartner(bool fromEnter) {
    if (!m_engine)
        return;
    scan::PartnerEntry entry{m_entry[0]->text(), m_entry[1]->text(), m_entry[2]->text(),
                             m_entry[3]->text(), m_entry[4]->text()};
    m_engine->AddPartnerSite(entry);
    const QString written[5] = {entry.Text1, entry.Text2, entry.Text3, entry.Text4, entry.Text5};
    for (int i = 0; i < 5; ++i)
        if (m_entry[i]->text() != written[i])
            m_entry[i]->setText(written[i]);
    if (fromEnter)
        m_entry[0]->clear();
}

void WebsitesFrame::deletePartner() {
    if (m_engine)
        m_engine->DeletePartnerSite(selectedPartner());
}

bool WebsitesFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        if (auto* field = qobject_cast<QLineEdit*>(watched))
            Q_EMIT fieldHelp(field->toolTip());
    return QGroupBox::eventFilter(watched, event);
}

} // namespace corvantis::ui
