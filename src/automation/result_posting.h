#pragma once

#include "session/scan_model.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace corvantis::scan {
class HostRouter;
class PageDownloader;
} // namespace corvantis::scan

namespace corvantis::automation {

// The user's script address with a result row's values in place of "$domain2"
// (the address), "$domain" (the site), "$status" ("True" or "False"), "$value"
// (the link value) and "$anchor" (the anchor text), in any letter case. The values are
// percent-encoded as query components (letters, digits and "-._~/:" stay), so an address holding
// "&" or "#" stays one value.
QString ExpandScriptUrl(const QString& scriptTemplate, const QString& site, const QString& address,
                        bool linking, const QString& value = {}, const QString& anchor = {});

// Whether a row with this status is posted, and as linking or not: the verdict
// (the status without its " (note)") holding "direct" links, one holding
// "missing" is not posted, every other is posted as not linking.
std::optional<bool> PostedLinking(const QString& status);

// One call of a posting run, taken from the result list when the run starts.
struct PostingCall {
    int number = 0; // the row's position in the list, from 1
    QString site;
    QString address;
    bool linking = false;
    QString value;
    QString anchor;
};
QList<PostingCall> PostingCalls(const QList<scan::ResultRow>& rows);

// "Post Links to My Site": calls the script once per result row, in list order,
// one call at a time, on a copy of the rows taken at the start, so a new scan or
// a sort during the run changes nothing it sends.
class ResultPoster : public QObject {
    Q_OBJECT
public:
    explicit ResultPoster(const scan::HostRouter& router, QObject* parent = nullptr);

    bool isRunning() const { return m_running; }
    // False, sending nothing, when a run is under way or there are no rows.
    bool PostResults(const QString& scriptTemplate, const QList<scan::ResultRow>& rows);

    void setTransferTimeout(int ms);

Q_SIGNALS:
    // "Sending Site " + number + ": " + site, before each call.
    void status(const QString& text);
    // The log lines of one call: the address as called and, when the script
    // answered with a body, what it returned (CR LF line ends).
    void logged(const QString& text);
    void finished();

private:
    void next();

    scan::PageDownloader* m_downloader;
    QString m_template;
    QList<PostingCall> m_calls;
    qsizetype m_index = 0;
    QString m_calling;
    bool m_running = false;
};

} // namespace corvantis::automation
