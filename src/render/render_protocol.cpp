#include "render/render_protocol.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace corvantis::render {

namespace {

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

} // namespace

QByteArray RequestLine(const RenderRequest& r) {
    return Line({{QStringLiteral("url"), r.url}, {QStringLiteral("timeout_ms"), r.timeoutMs}});
}

std::optional<RenderRequest> ParseRequest(const QByteArray& line) {
    const std::optional<QJsonObject> o = Object(line);
    if (!o || !o->value(QStringLiteral("url")).isString())
        return std::nullopt;
    return RenderRequest{o->value(QStringLiteral("url")).toString(),
                         o->value(QStringLiteral("timeout_ms")).toInt(60000)};
}

QByteArray ReplyLine(const RenderReply& r) {
    return Line({{QStringLiteral("ok"), r.ok},
                 {QStringLiteral("html"), r.html},
                 {QStringLiteral("error"), r.error}});
}

std::optional<RenderReply> ParseReply(const QByteArray& line) {
    const std::optional<QJsonObject> o = Object(line);
    if (!o)
        return std::nullopt;
    return RenderReply{o->value(QStringLiteral("ok")).toBool(),
                       o->value(QStringLiteral("html")).toString(),
                       o->value(QStringLiteral("error")).toString()};
}

} // namespace corvantis::render
