#include "automation/result_posting.h"

#include "fetch/page_downloader.h"
#include "util/text_utils.h"

#include <QTimer>
#include <QUrl>

namespace corvantis::automation {

namespace {

QString QueryValue(const QString& value) {
    return QString::fromLatin1(QUrl::toPercentEncoding(value, "/:"));
}

} // namespace

QString ExpandScriptUrl(const QString& scriptTemplate, const QString& site, const QString& address,
                        bool linking, const QString& value, const QString& anchor) {
    // "$domain2" first: "$domain" is its beginning.
    QString url = util::ReplaceAllCI(scriptTemplate, u"$domain2", QueryValue(address));
    url = util::ReplaceAllCI(url, u"$domain", QueryValue(site));
    url = util::ReplaceAllCI(url, u"$value", QueryValue(value));
    url = util::ReplaceAllCI(url, u"$anchor", QueryValue(anchor));
    return util::ReplaceAllCI(url, u"$status",
                              linking ? QStringLiteral("True") : QStringLiteral("False"));
}

std::optional<bool> PostedLinking(const QString& status) {
    // A note such as "(Possible Redirected URL)" says nothing about a link found.
    const qsizetype note = status.indexOf(QLatin1String(" ("));
    const QStringView verdict = QStringView(status).left(note < 0 ? status.size() : note);
    if (util::ContainsCI(verdict, u"direct"))
        return true;
    if (util::ContainsCI(verdict, u"missing"))
        return std::nullopt;
    return false;
}

QList<PostingCall> PostingCalls(const QList<scan::ResultRow>& rows) {
    QList<PostingCall> calls;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const scan::ResultRow& r = rows.at(i);
        if (const std::optional<bool> linking = PostedLinking(r.status))
            calls.append({int(i + 1), r.site, r.url, *linking, r.value, r.anchor});
    }
    return calls;
}

ResultPoster::ResultPoster(const scan::HostRouter& router, QObject* parent)
    : QObject(parent), m_downloader(new scan::PageDownloader(router, this)) {}

void ResultPoster::setTransferTimeout(int ms) {
    m_downloader->setTransferTimeout(ms);
}

bool ResultPoster::PostResults(const QString& scriptTemplate, const QList<scan::ResultRow>& rows) {
    if (m_running || rows.isEmpty())
        return false;
    m_template = scriptTemplate;
    m_calls = PostingCalls(rows);
    m_index = 0;
    m_running = true;
    QTimer::singleShot(0, this, &ResultPoster::next);
    return true;
}

void ResultPoster::next() {
    if (m_index >= m_calls.size()) {
        m_running = false;
        m_calls.clear();
        Q_EMIT finished();
        return;
    }
    const PostingCall& call = m_calls.at(m_index);
    Q_EMIT status(QStringLiteral("Sending Site %1: ").arg(call.number) + call.site);
    m_calling =
        ExpandScriptUrl(m_template, call.site, call.address, call.linking, call.value, call.anchor);
    // The downloader goes with this object, and with it any answer still due.
    m_downloader->DownloadPage(m_calling, [this](const QString& body) {
        QString log = QStringLiteral("\r\nURL: ") + m_calling + QStringLiteral("\r\n");
        if (!body.isEmpty())
            log += QStringLiteral("\r\nReturned: ") + body + QStringLiteral("\r\n");
        Q_EMIT logged(log);
        ++m_index;
        // Through the event loop, also when the answer came at once, so a run
        // of addresses that cannot be opened does not nest.
        QTimer::singleShot(0, this, &ResultPoster::next);
    });
}

} // namespace corvantis::automation
