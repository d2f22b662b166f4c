#include "page/site_signals.h"

#include "page/http_response.h"
#include "util/text_utils.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace corvantis::scan {

using Kind = SiteSignalKind;

namespace {

SiteSignature OnHeader(QStringView name, QStringView value, QStringView reason,
                       std::vector<int> statuses = {}) {
    return {Kind::BotChallenge, std::move(statuses), name, value, {}, reason};
}

SiteSignature InBody(std::vector<int> statuses, QStringView text, QStringView reason,
                     Kind kind = Kind::BotChallenge) {
    return {kind, std::move(statuses), {}, {}, text, reason};
}

// The checks of one signature, cheapest first; the body, the only large part,
// is folded once and only when a signature that got that far needs it.
class Response {
public:
    Response(int status, QStringView header, QStringView body)
        : m_status(status), m_header(header), m_body(body) {}

    bool fires(const SiteSignature& s) {
        if (!s.statuses.empty() &&
            std::find(s.statuses.begin(), s.statuses.end(), m_status) == s.statuses.end())
            return false;
        if (!s.header.isEmpty()) {
            const std::optional<QString> value = HeaderValue(m_header, s.header);
            if (!value ||
                (!s.headerValue.isEmpty() && value->compare(s.headerValue, Qt::CaseInsensitive)))
                return false;
        }
        if (s.bodyText.isEmpty())
            return true;
        if (!m_folded)
            m_folded.emplace(m_body);
        return m_folded->contains(s.bodyText);
    }

private:
    int m_status;
    QStringView m_header;
    QStringView m_body;
    std::optional<util::CaseFoldedText> m_folded;
};

const SiteSignature* FirstFired(Kind kind, Response& response) {
    for (const SiteSignature& s : SiteSignatures())
        if (s.kind == kind && response.fires(s))
            return &s;
    return nullptr;
}

} // namespace

const std::vector<SiteSignature>& SiteSignatures() {
    constexpr Kind parking = Kind::Parking;
    static const std::vector<SiteSignature> table = {
        OnHeader(u"cf-mitigated", u"challenge",
                 u"Cloudflare marks the answer as its challenge, not the page"),
        InBody({403, 503}, u"<title>Just a moment...</title>",
               u"the title of Cloudflare's page shown while it checks the browser"),
        InBody({403, 503}, u"_cf_chl_opt", u"the settings of Cloudflare's challenge script"),
        InBody({403, 503}, u"challenge-platform",
               u"the path Cloudflare loads its challenge scripts from"),
        OnHeader(u"x-vercel-mitigated", u"challenge",
                 u"Vercel's firewall answered with a challenge"),
        OnHeader(u"x-amzn-waf-action", {},
                 u"the AWS firewall acted on the request (challenge, captcha or block)"),
        OnHeader(u"x-datadome", {}, u"DataDome refused the request", {403}),
        InBody({403}, u"captcha-delivery.com",
               u"DataDome's captcha page, served from its own host"),
        InBody({999}, {},
               u"a status some sites (LinkedIn) give to every client they take for a bot"),
        InBody({}, u"this domain is for sale", u"a for-sale notice", parking),
        InBody({}, u"domain is parked", u"a parking notice", parking),
        InBody({}, u"parked free, courtesy of", u"the notice registrars put on domains they park",
               parking),
        InBody({}, u"parking-lander", u"the page name of a parking service", parking),
        InBody({}, u"buy this domain", u"a for-sale offer", parking),
    };
    return table;
}

const SiteSignature* MatchBotChallenge(int status, QStringView headerBlock, QStringView body) {
    Response response(status, headerBlock, body);
    return FirstFired(Kind::BotChallenge, response);
}

const SiteSignature* MatchParkingPage(QStringView body) {
    Response response(0, {}, body);
    return FirstFired(Kind::Parking, response);
}

} // namespace corvantis::scan
