#include "ui/windows/help_window.h"

#include "ui/rtf/rtf_reader.h"
#include "util/app_folder.h"
#include "util/file_utils.h"
#include "util/settings_store.h"

#include <QCheckBox>
#include <QFile>
#include <QSignalBlocker>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace corvantis::ui {

namespace {
const QString kShowHelpKey = QStringLiteral("showHelp");
}

HelpWindow::HelpWindow(QWidget* parent)
    : QDialog(parent), m_text(new QTextBrowser(this)),
      m_showAtStartup(new QCheckBox(tr("Show at Startup"), this)) {
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Readme/Help"));
    // A fixed frame that stays above every other window while open.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setModal(false);

    m_text->setObjectName(QStringLiteral("rtf1"));
    m_text->setAccessibleName(tr("Help text"));
    m_text->setOpenLinks(false);
    m_showAtStartup->setObjectName(QStringLiteral("Check1"));
    m_showAtStartup->setAccessibleName(m_showAtStartup->text());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_showAtStartup);
    setFixedSize(640, 560);

    connect(m_showAtStartup, &QCheckBox::toggled, this, [](bool on) {
        util::WriteSetting(kShowHelpKey, on ? QStringLiteral("1") : QStringLiteral("0"));
    });
}

QString HelpWindow::helpFilePath() {
    return util::AppFilePath(QStringLiteral("Help.rtf"));
}

bool HelpWindow::showAtStartup() {
    return util::ReadSetting(kShowHelpKey, QStringLiteral("1")) == QLatin1String("1");
}

bool HelpWindow::openIfPresent() {
    if (!util::FileExists(helpFilePath()))
        return false;
    if (!isVisible())
        load();
    show();
    raise();
    activateWindow();
    return true;
}

void HelpWindow::load() {
    // An unreadable file shows as an empty page; a damaged one as far as it reads.
    QFile file(helpFilePath());
    QByteArray rtf;
    if (file.open(QIODevice::ReadOnly))
        rtf = file.read(kMaxHelpFileBytes);
    ReadRtf(rtf, m_text->document());
    m_text->moveCursor(QTextCursor::Start);

    // The box shows the stored choice and stores what it shows, so an odd
    // stored value becomes "0".
    const bool on = showAtStartup();
    {
        const QSignalBlocker block(m_showAtStartup);
        m_showAtStartup->setChecked(on);
    }
    util::WriteSetting(kShowHelpKey, on ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace corvantis::ui
