#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace corvantis::scan {
class ScanSession;
}

namespace corvantis::alert {

// What a scan's alert says, made once for every way it is sent.
struct Alert {
    QString subject;   // "Corvantis: 1 link lost, 1 value changed on mysite.example.com"
    QString partners;  // one line per partner with a change, worst first, then those still lost
    QString body;      // the e-mail's text: a heading line, the partners
    QByteArray json;   // the scan's JSON document, as the webhook posts it
    bool news = false; // some partner changed other than by being new
};

// The alert of the scan whose results the session holds; json is its document.
Alert MakeAlert(const scan::ScanSession& session, const QByteArray& json,
                const QDateTime& finished);

// The alert "Send a test alert" sends: it names the domain and says it is a test.
Alert TestAlert(const QString& domain, const QByteArray& json);

} // namespace corvantis::alert
