#include "ui/windows/schedule_window.h"

#include "alert/alert_settings.h"
#include "alert/secret_store.h"
#include "output/project_file.h"
#include "output/scan_json.h"
#include "schedule/schedule_install.h"
#include "session/scan_session.h"
#include "ui/common/alert_delivery.h"
#include "ui/common/widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace corvantis::ui {

namespace {

QLineEdit* Field(QWidget* parent, const char* name, const QString& placeholder = {}) {
    auto* field = Named(new QLineEdit(parent), QLatin1String(name));
    field->setPlaceholderText(placeholder);
    return field;
}

QLineEdit* SecretField(QWidget* parent, const char* name) {
    QLineEdit* field = Field(parent, name, QStringLiteral("kept in the keyring; empty: unchanged"));
    field->setEchoMode(QLineEdit::Password);
    return field;
}

} // namespace

ScheduleWindow::ScheduleWindow(const scan::ScanSession& session, alert::SecretStore& secrets,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), m_session(session), m_secrets(secrets) {
    setObjectName(QStringLiteral("frmSchedule"));
    setWindowTitle(QStringLiteral("Schedule and Alerts"));
    makeFields();
    makeButtons();
    layOut();
    connectControls();
    resize(560, sizeHint().height());
}

void ScheduleWindow::makeFields() {
    m_project = Field(this, "txtScheduleProject", QStringLiteral("a saved project file"));
    m_every = Named(new QComboBox(this), QStringLiteral("cmbScheduleEvery"));
    m_every->addItems(
        {QStringLiteral("Off"), QStringLiteral("Every day"), QStringLiteral("Every week")});
    m_day = Named(new QComboBox(this), QStringLiteral("cmbScheduleDay"));
    for (int d = 1; d <= 7; ++d)
        m_day->addItem(QLocale().dayName(d));
    m_time = Named(new QTimeEdit(QTime(7, 0), this), QStringLiteral("timScheduleTime"));
    m_time->setDisplayFormat(QStringLiteral("HH:mm"));
    m_mailTo = Field(this, "txtAlertMailTo", QStringLiteral("you@example.com"));
    m_mailFrom = Field(this, "txtAlertMailFrom", QStringLiteral("the address it goes to"));
    m_smtp = Field(this, "txtSmtpServer", QStringLiteral("smtp://mail.example.com:587"));
    m_smtpUser = Field(this, "txtSmtpUser", QStringLiteral("empty: no login"));
    m_password = SecretField(this, "txtSmtpPassword");
    m_webhook = Field(this, "txtWebhookUrl", QStringLiteral("https://example.com/hook"));
    m_secret = SecretField(this, "txtWebhookSecret");
    m_always = Named(new QCheckBox(QStringLiteral("Alert after every scan, not only one with a "
                                                  "change"),
                                   this),
                     QStringLiteral("chkAlertAlways"));
    m_always->setAccessibleName(m_always->text());
    m_notify =
        Named(new QCheckBox(QStringLiteral("Desktop notification after a scheduled check"), this),
              QStringLiteral("chkScheduleNotify"));
    m_notify->setAccessibleName(m_notify->text());
    m_status = Named(new QLabel(this), QStringLiteral("lblScheduleStatus"),
                     QStringLiteral("Schedule status"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void ScheduleWindow::makeButtons() {
    m_test = Button(this, QStringLiteral("Send a test alert"));
    m_test->setObjectName(QStringLiteral("cmdTestAlert"));
    m_apply = Button(this, QStringLiteral("Apply"));
    m_apply->setObjectName(QStringLiteral("cmdApplySchedule"));
    m_close = Button(this, QStringLiteral("Close"));
    m_close->setObjectName(QStringLiteral("cmdCloseSchedule"));
}

void ScheduleWindow::layOut() {
    auto* form = new QFormLayout;
    const std::pair<const char*, QWidget*> rows[] = {
        {"Project", m_project},     {"How often", m_every},        {"Day", m_day},
        {"Time", m_time},           {"Alert e-mail to", m_mailTo}, {"From", m_mailFrom},
        {"SMTP server", m_smtp},    {"SMTP user", m_smtpUser},     {"SMTP password", m_password},
        {"Webhook URL", m_webhook}, {"Webhook secret", m_secret},
    };
    for (const auto& [label, field] : rows)
        form->addRow(LabelFor(field, QLatin1String(label)), field);
    form->addRow(QString(), m_always);
    form->addRow(QString(), m_notify);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_test);
    buttons->addStretch(1);
    buttons->addWidget(m_apply);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_status);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

// The day is asked for a weekly check only.
void ScheduleWindow::connectControls() {
    const auto dayShown = [this] { m_day->setEnabled(m_every->currentIndex() == 2); };
    connect(m_every, &QComboBox::currentIndexChanged, this, dayShown);
    dayShown();
    connect(m_apply, &QPushButton::clicked, this, &ScheduleWindow::apply);
    connect(m_test, &QPushButton::clicked, this, &ScheduleWindow::sendTestAlert);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
}

void ScheduleWindow::load() {
    const alert::AlertSettings s = alert::AlertSettings::FromSettings();
    m_mailTo->setText(s.mailTo);
    m_mailFrom->setText(s.mailFrom);
    m_smtp->setText(s.smtpServer);
    m_smtpUser->setText(s.smtpUser);
    m_webhook->setText(s.webhookUrl);
    m_always->setChecked(s.alwaysAlert);
    m_password->clear();
    m_secret->clear();
    const QString project = m_session.project.projectPath();
    m_project->setText(project);
    // What the unit files hold, whoever wrote them.
    const std::optional<schedule::ScheduledCheck> check =
        project.isEmpty() ? std::nullopt
                          : schedule::ReadScheduledCheck(schedule::UserUnitFolder(), project);
    m_every->setCurrentIndex(check ? int(check->when.every) : 0);
    if (check) {
        m_day->setCurrentIndex(check->when.weekday - 1);
        m_time->setTime(check->when.time);
    }
    m_notify->setChecked(check && check->extraArguments.contains(QStringLiteral("--notify")));
    m_status->clear();
}

alert::AlertSettings ScheduleWindow::alertSettings() const {
    alert::AlertSettings s;
    s.mailTo = m_mailTo->text().trimmed();
    s.mailFrom = m_mailFrom->text().trimmed();
    s.smtpServer = m_smtp->text().trimmed();
    s.smtpUser = m_smtpUser->text().trimmed();
    s.webhookUrl = m_webhook->text().trimmed();
    s.alwaysAlert = m_always->isChecked();
    return s;
}

schedule::Schedule ScheduleWindow::schedule() const {
    return schedule::Schedule{schedule::Every(m_every->currentIndex()), m_day->currentIndex() + 1,
                              QTime(m_time->time().hour(), m_time->time().minute())};
}

bool ScheduleWindow::keepAlertFields() {
    const alert::AlertSettings s = alertSettings();
    if (const std::optional<alert::AlertProblem> problem = alert::CheckAlertSettings(s)) {
        const std::pair<const char*, QLineEdit*> fields[] = {
            {"Alert e-mail to", m_mailTo}, {"From", m_mailFrom},       {"SMTP server", m_smtp},
            {"SMTP user", m_smtpUser},     {"Webhook URL", m_webhook},
        };
        const auto& [label, field] = fields[int(problem->field)];
        showStatus({QLatin1String(label) + QStringLiteral(": ") + problem->why + u'.'});
        field->setFocus();
        return false;
    }
    s.save();
    QStringList failed;
    for (const auto& [field, name] : {std::pair{m_password, alert::kSmtpPasswordSecret},
                                      std::pair{m_secret, alert::kWebhookSecret}}) {
        if (field->text().isEmpty())
            continue;
        failed.append(alert::KeepSecret(m_secrets, name, field->text()));
        field->clear();
    }
    failed.removeAll(QString());
    if (!failed.isEmpty())
        showStatus(failed);
    return failed.isEmpty();
}

void ScheduleWindow::apply() {
    if (!keepAlertFields())
        return;
    const QString project = m_project->text().trimmed();
    if (project.isEmpty()) {
        showStatus({QStringLiteral("The alert fields are kept. A schedule needs a saved "
                                   "project: save the project first.")});
        return;
    }
    const schedule::Schedule when = schedule();
    // Ending the checks needs only the path: the file may be gone.
    if (const QString error = output::ProjectFileError(project);
        !error.isEmpty() && when.every != schedule::Every::Off) {
        showStatus({error});
        return;
    }
    alert::AlertSettings alerts = alertSettings();
    alerts.notify = m_notify->isChecked();
    const schedule::ScheduledCheck check = schedule::CheckOfProject(
        project, when, QCoreApplication::applicationDirPath() + QStringLiteral("/corvantis-scan"),
        alerts.arguments());
    if (const QString why = schedule::UnitProblem(check);
        !why.isEmpty() && when.every != schedule::Every::Off) {
        showStatus({QStringLiteral("The schedule cannot be written: ") + why});
        return;
    }
    const schedule::ScheduleOutcome done =
        schedule::ApplySchedule(check, schedule::UserUnitFolder());
    showStatus(done.error.isEmpty() ? done.lines : QStringList{done.error});
}

void ScheduleWindow::sendTestAlert() {
    if (!keepAlertFields())
        return;
    alert::AlertSettings s = alertSettings();
    s.notify = true;
    s.readKeptSecrets();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    m_test->setEnabled(false);
    showStatus({QStringLiteral("Sending a test alert...")});
    SendAlertInBackground(
        this, alert::TestAlert(m_session.project.domain(), output::ScanJson(m_session, now, now)),
        s, m_secrets, afterscan::AfterScanRequest{}, [this](const QStringList& failed) {
            m_test->setEnabled(true);
            showStatus(failed.isEmpty() ? QStringList{QStringLiteral("The test alert was sent.")}
                                        : failed);
        });
}

void ScheduleWindow::showStatus(const QStringList& lines) {
    m_status->setText(lines.join(QLatin1Char('\n')));
}

} // namespace corvantis::ui
