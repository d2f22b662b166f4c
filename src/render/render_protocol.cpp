#include "render/render_protocol.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace corvantis::render {

namespace {

const QString kId = QStringLiteral("id");

QByteArray Line(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<QJsonObject> Object(const QByteArray& line) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line.trimmed(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

// Ids are whole numbers from 1; anything else is no id.
qint64 IdOf(const QJsonObject& o) {
    const QJsonValue v = o.value(kId);
    return v.isDouble() ? qMax<qint64>(0, v.toInteger(0)) : 0;
}

// Absent is empty; present, it must be text.
std::optional<QString> TextOf(const QJsonObject& o, const QString& key) {
    const QJsonValue v = o.value(key);
    if (v.isUndefined())
        return QString();
    if (!v.isString())
        return std::nullopt;
    return v.toString();
}

} // namespace

QByteArray RequestLine(const RenderRequest& r) {
    return Line(
        {{kId, r.id}, {QStringLiteral("url"), r.url}, {QStringLiteral("timeout_ms"), r.timeoutMs}});
}

std::optional<RenderRequest> ParseRequest(const QByteArray& line) {
    const std::optional<QJsonObject> o = Object(line);
    if (!o || IdOf(*o) < 1 || !o->value(QStringLiteral("url")).isString())
        return std::nullopt;
    return RenderRequest{IdOf(*o), o->value(QStringLiteral("url")).toString(),
                         o->value(QStringLiteral("timeout_ms")).toInt(60000)};
}

QByteArray ReplyLine(const RenderReply& r) {
    return Line({{kId, r.id},
                 {QStringLiteral("ok"), r.ok},
                 {QStringLiteral("html"), r.html},
                 {QStringLiteral("error"), r.error}});
}

std::optional<RenderReply> ParseReply(const QByteArray& line) {
    const std::optional<QJsonObject> o = Object(line);
    if (!o || IdOf(*o) < 1 || !o->value(QStringLiteral("ok")).isBool())
        return std::nullopt;
    const std::optional<QString> html = TextOf(*o, QStringLiteral("html"));
    const std::optional<QString> error = TextOf(*o, QStringLiteral("error"));
    if (!html || !error)
        return std::nullopt;
    return RenderReply{IdOf(*o), o->value(QStringLiteral("ok")).toBool(), *html, *error};
}

} // namespace corvantis::render
