#include "ui/main/command_row.h"

#include "scan/scan_engine.h"
#include "ui/common/stored_controls.h"
#include "ui/common/widgets.h"
#include "util/settings_store.h"

#include <QComboBox>
#include <QPushButton>

namespace corvantis::ui {

CommandRow::CommandRow(QWidget* client, scan::ScanEngine* engine)
    : QObject(client), m_engine(engine) {
    auto* newButton = Named(Button(client, QStringLiteral("New"),
                                   QStringLiteral("Clear all data and create a new project")),
                            QStringLiteral("cmdNew"));
    auto* open =
        Named(Button(client, QStringLiteral("Open"), QStringLiteral("Open an existing project")),
              QStringLiteral("cmdOpen"));
    auto* save =
        Named(Button(client, QStringLiteral("Save"),
                     QStringLiteral("Save this project to a file so that you can run it any time")),
              QStringLiteral("cmdSave"));
    m_projectButtons = {newButton, open, save};
    connect(newButton, &QPushButton::clicked, this, &CommandRow::newProjectRequested);
    connect(open, &QPushButton::clicked, this, &CommandRow::openProjectRequested);
    connect(save, &QPushButton::clicked, this, &CommandRow::saveProjectRequested);
    auto* automation =
        Named(Button(client, QStringLiteral("Automation")), QStringLiteral("Command7"));
    connect(automation, &QPushButton::clicked, this, &CommandRow::automationRequested);
    buildScanButtons(client);
    buildSearchBoxes(client);
    m_website = Named(Button(client, QString()), QStringLiteral("cmdWebsite"));
    connect(m_website, &QPushButton::clicked, this, &CommandRow::websiteRequested);
}

void CommandRow::buildScanButtons(QWidget* client) {
    m_start =
        Named(Button(client, QStringLiteral("Start"), QStringLiteral("Begin searching for links")),
              QStringLiteral("Command1"));
    m_stop =
        Named(Button(client, QStringLiteral("Stop"), QStringLiteral("Stop scanning for links")),
              QStringLiteral("cmdStop"));
    // No action of its own: a scan goes on with Start.
    Named(Button(client, QStringLiteral("Resume")), QStringLiteral("cmdResume"))->setEnabled(false);
    m_next =
        Named(Button(client, QStringLiteral("Next"),
                     QStringLiteral("Skip to the next website in your list of sites to check")),
              QStringLiteral("cmdNextSearch"));
    // The window prepares the scan before it starts.
    connect(m_start, &QPushButton::clicked, this, &CommandRow::startRequested);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        if (m_engine)
            m_engine->StopScan();
    });
    connect(m_next, &QPushButton::clicked, this, [this] {
        if (m_engine)
            m_engine->NextSite();
    });
}

void CommandRow::buildSearchBoxes(QWidget* client) {
    m_combo1 = Named(new QComboBox(client), QStringLiteral("Combo1"));
    m_combo1->addItems({QStringLiteral("Google Search"), QStringLiteral("Yahoo Search")});
    m_combo1->setPlaceholderText(QStringLiteral("Which Search Type?"));
    m_combo2 = Named(new QComboBox(client), QStringLiteral("Combo2"));
    m_combo2->addItems({QStringLiteral("~100 Domains"), QStringLiteral("~200 Domains"),
                        QStringLiteral("~500 Domains"), QStringLiteral("~1000 Domains"),
                        QStringLiteral("~5000 Domains"), QStringLiteral("~10000 Domains")});
    m_combo2->setPlaceholderText(QStringLiteral("How Many Search Results?"));
    for (QComboBox* box : {m_combo1, m_combo2}) {
        box->setAccessibleName(box->placeholderText());
        box->setCurrentIndex(-1);
    }
}

void CommandRow::applyControls(const scan::ScanControls& controls) {
    m_start->setEnabled(controls.start);
    m_stop->setEnabled(controls.stop);
    m_next->setEnabled(controls.next);
    for (QPushButton* b : m_projectButtons)
        b->setEnabled(controls.project);
}

void CommandRow::loadOptions() {
    for (QComboBox* box : {m_combo1, m_combo2})
        KeepStored(box, util::ReadPositionSetting(box->objectName(), -1, box->count()));
}

void CommandRow::setWebsiteAddress(const QString& address) {
    m_website->setText(QStringLiteral("Visit ") + address);
    m_website->setAccessibleName(m_website->text());
}

} // namespace corvantis::ui
