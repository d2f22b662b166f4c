#include "ui/windows/website_window.h"

#include "ui/common/browser_controls.h"
#include "ui/common/browser_view.h"
#include "ui/common/top_most.h"
#include "ui/common/twips.h"
#include "ui/common/widgets.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cstdlib>

namespace corvantis::ui {

namespace {

// Places of the controls that the arrangement keeps, in twips.
constexpr int kFrameLeft = 120;
constexpr int kButtonTop = 330;
constexpr int kButtonSize = 390;
constexpr int kButtonStep = 420;
constexpr int kLabelLeft = 120 + 4 * kButtonStep;
constexpr int kAddressLeft = kLabelLeft + 540;
constexpr int kViewLeft = 120;
constexpr int kViewTop = kButtonTop + kButtonSize + 120;

QToolButton* StyleButton(QWidget* parent, const char* name, QStyle::StandardPixmap picture,
                         const QString& tip) {
    return NavigationButton(parent, QLatin1String(name), parent->style()->standardIcon(picture),
                            tip);
}

} // namespace

WebsiteWindow::WebsiteWindow(QWidget* parent)
    : QMainWindow(parent), m_area(new QWidget(this)), m_frame(new QGroupBox(tr("Browser"), m_area)),
      m_urlLabel(new QLabel(tr("URL:"), m_frame)), m_address(new QLineEdit(m_frame)),
      m_go(StyleButton(m_frame, "Command3", QStyle::SP_ArrowRight, tr("browse the entered url"))),
      m_back(StyleButton(m_frame, "Command4", QStyle::SP_ArrowBack, tr("back"))),
      m_forward(StyleButton(m_frame, "Command5", QStyle::SP_ArrowForward, tr("forward"))),
      m_stop(StyleButton(m_frame, "Command6", QStyle::SP_BrowserStop, tr("stop"))),
      m_refresh(StyleButton(m_frame, "Command7", QStyle::SP_BrowserReload, tr("refresh"))),
      m_view(new QWebEngineView(m_frame)), m_statusText(new QLabel(this)),
      m_downloadState(new QLabel(this)) {
    setObjectName(QStringLiteral("frmWebsite"));
    setCentralWidget(m_area);
    m_frame->setObjectName(QStringLiteral("frmBrowser"));
    m_frame->setAccessibleName(m_frame->title());
    m_urlLabel->setObjectName(QStringLiteral("Label5"));
    m_urlLabel->setAccessibleName(m_urlLabel->text());
    m_address->setObjectName(QStringLiteral("Text1"));
    m_address->setAccessibleName(tr("URL:"));
    m_urlLabel->setBuddy(m_address);
    m_view->setObjectName(QStringLiteral("WebBrowser1"));
    m_view->setAccessibleName(tr("Browser"));
    ConfigureBrowserView(m_view);

    buildStatusBar();
    placeControls();
    // With no history back and forward do nothing, which is all the user needs to see.
    m_browser = new BrowserControls(
        {m_view, m_address, m_go, m_back, m_forward, m_stop, m_refresh},
        [this](const QString& text) { m_statusText->setText(text); }, this);
    QWebEnginePage* page = m_view->page();
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
            loadStarted(info.url());
    });
    connect(page, &QWebEnginePage::loadFinished, this, [this] { loadFinished(); });
    resize(900, 650);
}

void WebsiteWindow::buildStatusBar() {
    QStatusBar* status = statusBar();
    Named(status, QStringLiteral("StatusBar1"), tr("Status"));
    status->setSizeGripEnabled(false);
    Named(m_statusText, QStringLiteral("StatusBar1Panel1"), tr("Status text"));
    Named(m_downloadState, QStringLiteral("StatusBar1Panel2"), tr("Download state"));
    // Half the width each; long addresses are cut rather than widening the window.
    for (QLabel* panel : {m_statusText, m_downloadState}) {
        panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        status->addWidget(panel, 1);
    }
}

// The fixed places; arrange() sizes the frame, the address box and the view.
void WebsiteWindow::placeControls() {
    m_frame->move(twips(kFrameLeft), 0);
    const int button = twips(kButtonSize);
    int left = twips(kFrameLeft);
    for (QToolButton* b : {m_back, m_forward, m_stop, m_refresh}) {
        b->setGeometry(left, twips(kButtonTop), button, button);
        left += twips(kButtonStep);
    }
    m_urlLabel->setGeometry(twips(kLabelLeft), twips(kButtonTop), twips(kAddressLeft - kLabelLeft),
                            button);
    m_address->setGeometry(twips(kAddressLeft), twips(kButtonTop), twips(3000), button);
    m_go->setGeometry(0, twips(kButtonTop), button, button);
    m_view->move(twips(kViewLeft), twips(kViewTop));
}

void WebsiteWindow::open(const QString& websiteAddress) {
    if (m_loaded) {
        if (isMinimized())
            showMaximized();
        show();
        raise();
        activateWindow();
        return;
    }
    m_loaded = true;
    setWindowTitle(websiteAddress);
    // Above every other window while it opens, then an ordinary window, however
    // long its page takes.
    SetTopMost(this, true);
    navigate(websiteAddress);
    showMaximized();
    raise();
    activateWindow();
    SetTopMost(this, false);
}

void WebsiteWindow::navigate(const QString& text) {
    m_browser->browse(text);
}

void WebsiteWindow::loadStarted(const QUrl& url) {
    if (!m_loaded)
        return; // the blank page of a closed window
    m_downloadState->setText(tr("Opening ") + url.toString());
}

void WebsiteWindow::loadFinished() {
    if (!m_loaded)
        return;
    const QString address = m_view->url().toString();
    m_downloadState->setText(tr("Completed ") + address);
    m_address->setText(address);
    const QString title = m_view->title();
    setWindowTitle(title.isEmpty() ? address : title);
}

int WebsiteWindow::twips(int value) const {
    return TwipsToPixels(value, logicalDpiX());
}

// The frame fills the window but a margin; the address box and the view fill
// the frame. Sizes come from the window's outer size, as absolute values, so a
// window made very small never gives a control a negative size.
void WebsiteWindow::arrange() {
    const QSize outer = frameGeometry().size();
    const int w = outer.width();
    const int h = outer.height();
    const int statusHeight = statusBar()->height();

    m_frame->resize(std::abs(w - twips(300)), std::abs(h - statusHeight));
    const int addressWidth =
        std::abs(m_frame->width() - m_address->x() - twips(300) - m_go->width());
    m_address->resize(addressWidth, m_address->height());
    m_go->move(m_address->x() + m_address->width() + twips(100), m_go->y());
    m_view->resize(std::abs(m_frame->width() - m_view->x() - twips(100)),
                   std::abs(m_frame->height() - m_view->y() - twips(800) - statusHeight));
}

void WebsiteWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    arrange();
}

void WebsiteWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    arrange();
}

void WebsiteWindow::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (!event->isAccepted())
        return;
    // Closing unloads the window: the next open starts afresh on the website.
    m_loaded = false;
    m_view->stop();
    m_view->setUrl(QUrl(QStringLiteral("about:blank")));
    Q_EMIT closed();
}

} // namespace corvantis::ui
