#include "output/scan_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace corvantis::output {

QByteArray ScanJson(const scan::ScanSession& session, const QDateTime& started,
                    const QDateTime& finished) {
    QJsonArray results;
    for (const scan::ResultRow& r : session.project.results.rows())
        results.append(QJsonObject{{QStringLiteral("site"), r.site},
                                   {QStringLiteral("status"), r.status},
                                   {QStringLiteral("number"), r.number},
                                   {QStringLiteral("url"), r.url},
                                   {QStringLiteral("value"), r.value},
                                   {QStringLiteral("anchor"), r.anchor},
                                   {QStringLiteral("change"), scan::ChangeText(r.change)},
                                   {QStringLiteral("lost_since"),
                                    r.lostSince.isValid()
                                        ? QJsonValue(r.lostSince.toUTC().toString(Qt::ISODate))
                                        : QJsonValue(QJsonValue::Null)}});
    QJsonArray errors;
    for (const scan::ErrorRow& e : session.run.errors.rows())
        errors.append(
            QJsonObject{{QStringLiteral("error"), e.error}, {QStringLiteral("url"), e.url}});
    const QJsonObject document{
        {QStringLiteral("version"), kScanJsonVersion},
        {QStringLiteral("domain"), session.project.domain()},
        {QStringLiteral("started"), started.toUTC().toString(Qt::ISODate)},
        {QStringLiteral("finished"), finished.toUTC().toString(Qt::ISODate)},
        {QStringLiteral("results"), results},
        {QStringLiteral("errors"), errors},
    };
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

} // namespace corvantis::output
