#include "ui/main/statistics_frame.h"

#include "session/scan_session.h"
#include "ui/common/widgets.h"
#include "ui/main/email_commands.h"

#include <QLabel>
#include <QPushButton>

namespace corvantis::ui {

StatisticsFrame::StatisticsFrame(QWidget* client, scan::ScanSession& session,
                                 util::Messages& messages)
    : QGroupBox(QStringLiteral("Statistics"), client), m_session(session), m_messages(messages) {
    Named(this, QStringLiteral("Frame3"), title());
    buildCounters();
    buildEmailCommands();
}

void StatisticsFrame::buildCounters() {
    struct Row {
        const char* label;
        const char* heading;
        const char* caption;
    };
    static constexpr Row kRows[5] = {{"Label20", "This Scan", "Pages Scanned:"},
                                     {"Label21", "This Scan", "Pages Found:"},
                                     {"Label22", "This Scan", "Links Found:"},
                                     {"Label24", "Historically", "Pages Scanned:"},
                                     {"Label25", "Historically", "Links Found:"}};
    for (const auto& [name, text] :
         {std::pair{"Label19", "This Scan"}, std::pair{"Label23", "Historically"}}) {
        auto* heading = Named(Caption(this, QLatin1String(text)), QLatin1String(name));
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
    }
    for (int i = 0; i < 5; ++i) {
        Named(Caption(this, QLatin1String(kRows[i].caption)), QLatin1String(kRows[i].label));
        m_stats[i] = Named(Caption(this, QStringLiteral("0")), QStringLiteral("lblStats_%1").arg(i),
                           QLatin1String(kRows[i].heading) + QLatin1Char(' ') +
                               QLatin1String(kRows[i].caption));
        m_stats[i]->setAlignment(Qt::AlignRight | Qt::AlignTop);
    }
}

void StatisticsFrame::buildEmailCommands() {
    auto* view = Named(Button(this, QStringLiteral("View Database"),
                              QStringLiteral("Spider.mdb stores all the emails you have found")),
                       QStringLiteral("cmdViewDatabase"));
    auto* exportButton = Named(Button(this, QStringLiteral("Export Emails"),
                                      QStringLiteral("Export all the emails you have found")),
                               QStringLiteral("Command2"));
    auto* deleteButton = Named(Button(this, QStringLiteral("Delete All Emails"),
                                      QStringLiteral("Delete all saved emails")),
                               QStringLiteral("Command3"));
    m_emailButtons = {view, exportButton, deleteButton};
    // A file manager that cannot be started is not reported.
    connect(view, &QPushButton::clicked, this, [] { ViewDatabase(); });
    connect(exportButton, &QPushButton::clicked, this, &StatisticsFrame::exportRequested);
    connect(deleteButton, &QPushButton::clicked, this, [this] {
        if (ConfirmDeleteAllEmails(m_messages))
            ForgetLinksFound(m_session);
    });
}

void StatisticsFrame::showCounters() {
    const scan::ScanCounters& c = m_session.run.counters();
    const qint32 values[5] = {c.runPagesScanned, c.runPagesFound, c.runLinksFound,
                              c.lHistWebScanned, c.lHistEmailFound};
    for (int i = 0; i < 5; ++i)
        m_stats[i]->setText(QString::number(values[i]));
}

void StatisticsFrame::setEmailCommandsEnabled(bool on) {
    for (QPushButton* b : m_emailButtons)
        b->setEnabled(on);
}

} // namespace corvantis::ui
