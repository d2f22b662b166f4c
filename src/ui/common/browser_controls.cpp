#include "ui/common/browser_controls.h"

#include "util/browse_address.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QUrl>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <utility>

namespace corvantis::ui {

BrowserControls::BrowserControls(const Controls& controls, Status status, QObject* parent)
    : QObject(parent), m_c(controls), m_status(std::move(status)) {
    QWebEngineView* view = m_c.view;
    connect(m_c.go, &QAbstractButton::clicked, this, [this] { browse(m_c.address->text()); });
    connect(m_c.address, &QLineEdit::returnPressed, this, [this] { browse(m_c.address->text()); });
    connect(m_c.back, &QAbstractButton::clicked, view, &QWebEngineView::back);
    connect(m_c.forward, &QAbstractButton::clicked, view, &QWebEngineView::forward);
    connect(m_c.stop, &QAbstractButton::clicked, view, &QWebEngineView::stop);
    connect(m_c.refresh, &QAbstractButton::clicked, view, &QWebEngineView::reload);
    // The address box shows where the view is, redirects included.
    connect(view, &QWebEngineView::urlChanged, this, [this](const QUrl& url) {
        if (!url.isEmpty() && url != QUrl(QStringLiteral("about:blank")))
            m_c.address->setText(url.toString());
    });
    // A hovered link's address shows until the pointer leaves it; the page's
    // other "left a link" reports leave the status bar alone.
    connect(view->page(), &QWebEnginePage::linkHovered, this, [this](const QString& url) {
        if (!url.isEmpty() || std::exchange(m_showingLink, false))
            m_status(url);
        m_showingLink = !url.isEmpty();
    });
}

bool BrowserControls::browse(const QString& text) {
    const std::optional<QString> address = util::PrepareBrowseAddress(text);
    if (!address) {
        m_status(QStringLiteral("Not a web address: ") + text.trimmed());
        return false;
    }
    const QUrl url(*address);
    m_c.address->setText(url.toString());
    m_c.view->load(url);
    return true;
}

} // namespace corvantis::ui
