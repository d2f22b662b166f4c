#include "alert/alert_digest.h"

#include "session/scan_session.h"

#include <QStringList>

#include <iterator>

namespace corvantis::alert {

namespace {

QString Utc(const QDateTime& t) {
    return t.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
}

// "1 link lost", "2 links lost": how many partners had one change.
QString Count(qsizetype n, const char* one, const char* many) {
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

// "partner: Lost, None Found" or "partner: Value changed, Direct Link, page, nofollow".
QString PartnerLine(const scan::ResultRow& r) {
    QStringList fields{scan::ChangeText(r.change), r.status};
    for (const QString& field : {r.url, r.value})
        if (!field.isEmpty())
            fields.append(field);
    return r.site + QStringLiteral(": ") + fields.join(QStringLiteral(", "));
}

} // namespace

Alert MakeAlert(const scan::ScanSession& session, const QByteArray& json,
                const QDateTime& finished) {
    const QList<scan::ResultRow>& rows = session.project.results.rows();
    const QString domain = session.project.domain();
    const QList<const scan::ResultRow*> changed =
        scan::ChangedSites(rows, session.run.domainInHistory);
    const QList<const scan::ResultRow*> stillLost = scan::StillLostSites(rows);
    Alert a;
    a.json = json;
    qsizetype counts[std::size(scan::kChangeNames)] = {}; // partners per change
    QStringList lines;
    for (const scan::ResultRow* r : changed) {
        ++counts[qsizetype(r->change)];
        a.news = a.news || r->change != scan::Change::NewPartner;
        lines.append(PartnerLine(*r));
    }
    if (!stillLost.isEmpty()) {
        if (!lines.isEmpty())
            lines.append(QString());
        lines.append(QStringLiteral("Still lost:"));
        for (const scan::ResultRow* r : stillLost)
            lines.append(r->site + QStringLiteral(": lost since ") + Utc(r->lostSince));
    }
    QStringList parts;
    for (const scan::ChangeNames& names : scan::kChangeNames)
        if (const qsizetype n = counts[qsizetype(names.change)]; n > 0)
            parts.append(Count(n, names.one, names.many));
    if (parts.isEmpty())
        parts.append(QStringLiteral("no changes"));
    if (!stillLost.isEmpty())
        parts.append(Count(stillLost.size(), "still lost", "still lost"));
    a.domain = domain;
    a.scan = finished;
    a.subject = QStringLiteral("Corvantis: ") + parts.join(QStringLiteral(", ")) +
                QStringLiteral(" on ") + domain;
    a.partners = lines.join(QLatin1Char('\n'));
    a.body =
        QStringLiteral("The scan of the partners of %1 ended %2.\n\n").arg(domain, Utc(finished)) +
        (lines.isEmpty() ? QStringLiteral("No partner changed.") : a.partners) + QLatin1Char('\n');
    return a;
}

QList<EarlierAlert> Alert::earlierFor(Way way) const {
    QList<EarlierAlert> out;
    for (const EarlierAlert& e : earlier)
        if (e.way == way)
            out.append(e);
    return out;
}

Alert WithEarlier(const Alert& alert, Way way) {
    const QList<EarlierAlert> owed = alert.earlierFor(way);
    if (owed.isEmpty())
        return alert;
    Alert a = alert;
    a.subject += owed.size() == 1
                     ? QStringLiteral("; 1 earlier alert not delivered")
                     : QStringLiteral("; %1 earlier alerts not delivered").arg(owed.size());
    for (const EarlierAlert& e : owed) {
        const QString piece =
            QStringLiteral("\n\nNot delivered before, from the scan that ended ") + Utc(e.scan) +
            QStringLiteral(":\n") + e.partners;
        a.partners += a.partners.isEmpty() ? piece.mid(2) : piece;
        a.body += piece.mid(1) + QLatin1Char('\n');
    }
    return a;
}

Alert TestAlert(const QString& domain, const QByteArray& json) {
    Alert a;
    a.subject = QStringLiteral("Corvantis: test alert for ") + domain;
    a.partners = QStringLiteral("This is a test: the alerts of Corvantis reach you.");
    a.body = a.partners + QLatin1Char('\n');
    a.json = json;
    a.news = true;
    return a;
}

} // namespace corvantis::alert
