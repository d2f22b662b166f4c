#pragma once

#include "alert/alert_settings.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace corvantis::scan {
class ScanSession;
}

namespace corvantis::alert {

// The alert of an earlier scan that one way did not deliver; it goes out with
// the next alert that way until it is delivered.
struct EarlierAlert {
    qint64 id = 0; // where the history keeps it
    Way way = Way::Mail;
    QDateTime scan; // when its scan ended
    QString subject;
    QString partners;
    QByteArray json;
};

// What a scan's alert says, made once for every way it is sent.
struct Alert {
    QString subject;   // "Corvantis: 1 link lost, 1 value changed on mysite.example.com"
    QString partners;  // one line per partner with a change, worst first, then those still lost
    QString body;      // the e-mail's text: a heading line, the partners
    QByteArray json;   // the scan's JSON document, as the webhook posts it
    bool news = false; // some partner changed other than by being new
    QString domain;
    QDateTime scan;              // when the scan ended; null for a test alert
    QList<EarlierAlert> earlier; // undelivered alerts of earlier scans, oldest first

    // The earlier alerts one way still owes.
    QList<EarlierAlert> earlierFor(Way way) const;
};

// The alert as one way sends it: the subject counts the earlier alerts it
// carries, and the text adds each one's partners under the time of its scan.
Alert WithEarlier(const Alert& alert, Way way);

// The alert of the scan whose results the session holds; json is its document.
Alert MakeAlert(const scan::ScanSession& session, const QByteArray& json,
                const QDateTime& finished);

// The alert "Send a test alert" sends: it names the domain and says it is a test.
Alert TestAlert(const QString& domain, const QByteArray& json);

} // namespace corvantis::alert
