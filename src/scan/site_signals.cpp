#include "scan/site_signals.h"

#include "scan/http_response.h"
#include "util/text_utils.h"

#include <algorithm>
#include <optional>

namespace corvantis::scan {

using Kind = SiteSignalKind;

const std::vector<SiteSignature>& SiteSignatures() {
    constexpr Kind bot = Kind::BotChallenge;
    static const std::vector<SiteSignature> table = {
        {.kind = bot,
         .header = u"cf-mitigated",
         .headerValue = u"challenge",
         .reason = u"Cloudflare marks the answer as its challenge, not the page"},
        {.kind = bot,
         .statuses = {403, 503},
         .bodyText = u"<title>Just a moment...</title>",
         .reason = u"the title of Cloudflare's page shown while it checks the browser"},
        {.kind = bot,
         .statuses = {403, 503},
         .bodyText = u"_cf_chl_opt",
         .reason = u"the settings of Cloudflare's challenge script"},
        {.kind = bot,
         .statuses = {403, 503},
         .bodyText = u"challenge-platform",
         .reason = u"the path Cloudflare loads its challenge scripts from"},
        {.kind = bot,
         .header = u"x-vercel-mitigated",
         .headerValue = u"challenge",
         .reason = u"Vercel's firewall answered with a challenge"},
        {.kind = bot,
         .header = u"x-amzn-waf-action",
         .reason = u"the AWS firewall acted on the request (challenge, captcha or block)"},
        {.kind = bot,
         .statuses = {403},
         .header = u"x-datadome",
         .reason = u"DataDome refused the request"},
        {.kind = bot,
         .statuses = {403},
         .bodyText = u"captcha-delivery.com",
         .reason = u"DataDome's captcha page, served from its own host"},
        {.kind = bot,
         .statuses = {999},
         .reason = u"a status some sites (LinkedIn) give to every client they take for a bot"},
        {.kind = Kind::Parking,
         .bodyText = u"this domain is for sale",
         .reason = u"a for-sale notice"},
        {.kind = Kind::Parking, .bodyText = u"domain is parked", .reason = u"a parking notice"},
        {.kind = Kind::Parking,
         .bodyText = u"parked free, courtesy of",
         .reason = u"the notice registrars put on domains they park"},
        {.kind = Kind::Parking,
         .bodyText = u"parking-lander",
         .reason = u"the page name of a parking service"},
        {.kind = Kind::Parking, .bodyText = u"buy this domain", .reason = u"a for-sale offer"},
    };
    return table;
}

namespace {

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

const SiteSignature* MatchBotChallenge(int status, QStringView headerBlock, QStringView body) {
    Response response(status, headerBlock, body);
    return FirstFired(Kind::BotChallenge, response);
}

const SiteSignature* MatchParkingPage(QStringView body) {
    Response response(0, {}, body);
    return FirstFired(Kind::Parking, response);
}

} // namespace corvantis::scan
