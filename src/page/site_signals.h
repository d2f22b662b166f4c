#pragma once

#include <QLatin1String>
#include <QStringView>

#include <vector>

namespace corvantis::scan {

// What the program shows for a page that fired a signature.
inline constexpr QLatin1String kBlockedByBotProtection("Blocked by bot protection");
inline constexpr QLatin1String kParkedDomain("Parked domain");

enum class SiteSignalKind {
    BotChallenge, // a bot filter answered instead of the page
    Parking,      // the domain shows a parking or for-sale page
};

// One way a response gives itself away. Every condition given must hold; an
// empty one is not checked. Texts are compared without regard to letter case.
struct SiteSignature {
    SiteSignalKind kind;
    std::vector<int> statuses; // the response has one of these status codes
    QStringView header;        // a header field of this name is present
    QStringView headerValue;   // and has this value
    QStringView bodyText;      // the body holds this text
    QStringView reason;        // why the signature means what it does
};

// Every signature, bot challenges first.
const std::vector<SiteSignature>& SiteSignatures();

// The first bot-challenge signature a response (status code, header block as
// received, body) fires, or null.
const SiteSignature* MatchBotChallenge(int status, QStringView headerBlock, QStringView body);

// The first parking signature a body fires, or null.
const SiteSignature* MatchParkingPage(QStringView body);

inline bool IsBotChallenge(int status, QStringView headerBlock, QStringView body) {
    return MatchBotChallenge(status, headerBlock, body) != nullptr;
}

inline bool IsParkingPage(QStringView body) {
    return MatchParkingPage(body) != nullptr;
}

} // namespace corvantis::scan
