#pragma once

#include <QGroupBox>
#include <QPointer>

#include <array>

class QLineEdit;
class QListView;
class QMenu;
class QTreeView;

namespace corvantis::util {
class Messages;
}
namespace corvantis::scan {
class ScanEngine;
class ScanSession;
enum class EntryField;
} // namespace corvantis::scan

namespace corvantis::ui {

class DisplayPacing;

// "Websites" (Frame1): the user's domain, the five entry fields of a partner,
// Add, Delete, Edit and Import, the partner list with its menu, and the queue of
// pages about to be scanned.
class WebsitesFrame : public QGroupBox {
    Q_OBJECT
public:
    WebsitesFrame(QWidget* client, scan::ScanSession& session, scan::ScanEngine* engine,
                  util::Messages& messages, DisplayPacing& pacing);

    // The simple entry form shows the address alone.
    void setSimpleView(bool simple);
    void focusField(scan::EntryField field);
    // A new project starts with empty address and links-expected fields.
    void clearEntry();

    QTreeView* partnerList() const { return m_partners; }
    QListView* queueList() const { return m_queue; }

Q_SIGNALS:
    void editRequested(int row);
    // "Partner History" on the partner list's menu, for the selected partner.
    void historyRequested(const QString& partner);
    // A field took the focus: what it is for.
    void fieldHelp(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildEntry();
    void buildButtons();
    void buildLists(DisplayPacing& pacing);
    int selectedPartner() const; // 0-based; -1 when none
    void addPartner(bool fromEnter);
    void deletePartner();

    scan::ScanSession& m_session;
    QPointer<scan::ScanEngine> m_engine;
    util::Messages& m_messages;
    QLineEdit* m_domain = nullptr;
    std::array<QLineEdit*, 5> m_entry{}; // Text1 to Text5
    QList<QWidget*> m_detailedOnly;      // labels and fields the simple form hides
    QTreeView* m_partners = nullptr;
    QMenu* m_popup1 = nullptr;
    QListView* m_queue = nullptr;
};

} // namespace corvantis::ui
