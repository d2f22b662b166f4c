#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;

namespace corvantis::alert {
class SecretStore;
struct AlertSettings;
} // namespace corvantis::alert
namespace corvantis::schedule {
struct Schedule;
}
namespace corvantis::scan {
class ScanSession;
}

namespace corvantis::ui {

// "Schedule and Alerts": a saved project checked every day or week by the
// desktop's timer service, and where the alerts after a scan go. The alert
// fields are kept in the settings, the password and secret in the keyring; the
// schedule only in its unit files, where corvantis-scan --schedule writes it
// too. "Apply" writes the schedule, "Send a test alert" tries every way at once.
class ScheduleWindow : public QWidget {
    Q_OBJECT
public:
    ScheduleWindow(const scan::ScanSession& session, alert::SecretStore& secrets,
                   QWidget* parent = nullptr);

    // Shows the settings as stored, and the project last opened or saved.
    void load();

private:
    alert::AlertSettings alertSettings() const;
    schedule::Schedule schedule() const;
    // Keeps the alert fields, and a password or secret the user typed, once
    // every field can be used; otherwise says which cannot.
    bool keepAlertFields();
    // Built in steps: the fields, the buttons, their layout, what they do.
    void makeFields();
    void makeButtons();
    void layOut();
    void connectControls();
    void apply();
    void sendTestAlert();
    void showStatus(const QStringList& lines);

    const scan::ScanSession& m_session;
    alert::SecretStore& m_secrets;
    QLineEdit* m_project;
    QComboBox* m_every;
    QComboBox* m_day;
    QTimeEdit* m_time;
    QLineEdit* m_mailTo;
    QLineEdit* m_mailFrom;
    QLineEdit* m_smtp;
    QLineEdit* m_smtpUser;
    QLineEdit* m_password;
    QLineEdit* m_webhook;
    QLineEdit* m_secret;
    QCheckBox* m_always;
    QCheckBox* m_notify;
    QPushButton* m_test;
    QPushButton* m_apply;
    QPushButton* m_close;
    QLabel* m_status;
};

} // namespace corvantis::ui
