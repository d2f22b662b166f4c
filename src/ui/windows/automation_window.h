#pragma once

#include "session/scan_model.h"
#include "util/seams.h"

#include <QList>
#include <QTimer>
#include <QWidget>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTabBar;
class QTreeView;

namespace corvantis::scan {
class HostRouter;
class ScanProject;
} // namespace corvantis::scan

namespace corvantis::automation {
class ImportListModel;
class LinkImporter;
class ResultPoster;
} // namespace corvantis::automation

namespace corvantis::ui {

class Pacer;

// "Advanced Link Automation": fills the partner list from the user's links page,
// his script or a text file, and posts the scan's results to his script. A
// modeless window that deletes itself when closed; downloads still under way
// then go with it.
class AutomationWindow : public QWidget {
    Q_OBJECT
public:
    AutomationWindow(scan::ScanProject& project, util::Messages& messages,
                     util::FileDialogs& dialogs, const scan::HostRouter& router,
                     QWidget* parent = nullptr);
    ~AutomationWindow() override;

    // Gives up on a download that stalls this long (milliseconds).
    void setTransferTimeout(int ms);

public Q_SLOTS:
    void GetLinks();
    void AddSelectedLinks();
    void ImportLinksFile();
    void ShowUrlVariables();
    void ShowUrlExample();
    void PostResults();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildGetLinksFrames();
    void buildSourceFields();
    void buildWebsiteFrame();
    void buildFileFrame();
    void buildPostFrame();
    void loadSettings();
    void connectSettings();
    void showTab(int index);
    int delimiterIndex() const;
    void setStatus(const QString& text);
    void appendLog(const QString& text);
    void addPartners(const QList<scan::PartnerSite>& sites);
    void feedPartners();

    scan::ScanProject& m_project;
    util::Messages& m_messages;
    util::FileDialogs& m_dialogs;

    automation::ImportListModel* m_list;
    automation::LinkImporter* m_importer;
    automation::ResultPoster* m_poster;

    QTabBar* m_tabs;
    QGroupBox* m_frameWebsite;
    QGroupBox* m_frameFile;
    QGroupBox* m_framePost;
    QRadioButton* m_option[2];
    QLabel* m_optionLabel[2];
    QLineEdit* m_text1;
    QLineEdit* m_text2;
    QLineEdit* m_text3;
    QComboBox* m_combo1;
    QPushButton* m_command1;
    QPushButton* m_command2;
    QTreeView* m_listView1;
    QPlainTextEdit* m_text4;
    QStatusBar* m_statusBar;

    // Status texts are shown at most about 30 times a second; the last one stays.
    QString m_pendingStatus;
    Pacer* m_statusPacer;

    // Partner rows still to be added, a share per event-loop turn.
    QList<scan::PartnerSite> m_partnerQueue;
    qsizetype m_partnerPos = 0;
};

} // namespace corvantis::ui
