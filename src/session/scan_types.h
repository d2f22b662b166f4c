#pragma once

// The plain values the engine and whoever shows it speak in: no behaviour, so
// both sides of the engine can include them.

#include "page/link_value.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <iterator>
#include <optional>

namespace corvantis::scan {

// Which of the window's buttons the scan wants enabled.
struct ScanControls {
    bool start = true;   // Command1
    bool stop = false;   // cmdStop
    bool next = false;   // cmdNextSearch
    bool project = true; // cmdNew, cmdOpen, cmdSave
    bool email = true;   // cmdViewDatabase, Command2, Command3
    bool operator==(const ScanControls&) const = default;
};

// The four panels of the status bar, by what they show.
enum class StatusPanel {
    Activity, // what the scan is doing: "Downloading: …", "Stopped"
    Page,     // "Page n of m", then the analysis step
    Site,     // "Searching …", "Found n links"
    Timeout,  // the idle seconds of the page being fetched
};

// The entry fields the scan may send the user back to.
enum class EntryField {
    Domain,  // txtDomain
    Address, // Text1, the partner address
};

// The five entry fields of a new partner site.
struct PartnerEntry {
    QString Text1; // address
    QString Text2; // links expected
    QString Text3; // link URL
    QString Text4; // link text
    QString Text5; // description
};

// What a partner's site ended with. Direct, Domain and Redirect name the kind of a
// link back too.
enum class VerdictKind { Direct, Domain, Redirect, Missing, NoneFound };

// Why some page of a site could not be read; None when every page was. An unread
// site's missing link proves nothing.
enum class UnreadReason {
    None,
    NoAnswer,    // time-out or refused connection
    Certificate, // the certificate failed verification
    OverTime,    // the overall time-out of a page
    CutOff,      // the connection closed before the whole response came
    HttpStatus,  // a 5xx, 429, 401, 403 or 407
    BotWall,
    Parked,
    NotRendered, // a page a browser had to show could not be rendered
};

// One link back a site gave, in the order found.
struct FoundLink {
    VerdictKind kind = VerdictKind::Direct; // Direct, Domain or Redirect
    QString page{};
    // Why it does not pass its value (empty: it counts); none when values are
    // not read (the option off, a redirect link).
    std::optional<QList<ValueReason>> reasons{};
    QString anchor{};
    bool operator==(const FoundLink&) const = default;
};

// A partner's outcome, handed over by the engine when its site ends: the rows,
// the history and the exit status are made from it.
struct PartnerVerdict {
    QString site;
    VerdictKind kind = VerdictKind::NoneFound; // a fully linked site: its last link's kind
    int missing = 0;                           // Missing: links short of the expected
    QString note{};                            // NoneFound: why, when known
    QList<FoundLink> links{};
    UnreadReason unread = UnreadReason::None; // the first page that could not be read
    bool pagesRead() const { return unread == UnreadReason::None; }
    bool operator==(const PartnerVerdict&) const = default;
};

// What changed for a partner since its last recorded scan. The order is the rank,
// worst first: a change is worse than another when it is less (<).
enum class Change { Lost, Unconfirmed, ValueChanged, Moved, Found, NewPartner, None };

// How a change is named, one row per change in the enum's order: its text in the
// result list, the JSON document, the report, the alert and the command line's
// result lines (None: empty), and the words that count it in an alert's subject
// ("1 link lost", "2 links lost").
struct ChangeNames {
    Change change;
    const char* text;
    const char* one;
    const char* many;
};
inline constexpr ChangeNames kChangeNames[] = {
    {Change::Lost, "Lost", "link lost", "links lost"},
    {Change::Unconfirmed, "Unconfirmed", "unconfirmed", "unconfirmed"},
    {Change::ValueChanged, "Value changed", "value changed", "values changed"},
    {Change::Moved, "Moved", "link moved", "links moved"},
    {Change::Found, "Found", "link found", "links found"},
    {Change::NewPartner, "New partner", "new partner", "new partners"},
    {Change::None, "", "", ""},
};
static_assert([] {
    for (std::size_t i = 0; i < std::size(kChangeNames); ++i)
        if (kChangeNames[i].change != Change(i))
            return false;
    return std::size(kChangeNames) == std::size_t(Change::None) + 1;
}());

constexpr const ChangeNames& NamesOf(Change change) {
    return kChangeNames[std::size_t(change)];
}

// "Lost", "Unconfirmed", "Value changed", "Moved", "Found", "New partner"; empty for None.
inline QString ChangeText(Change change) {
    return change == Change::None ? QString() : QString::fromLatin1(NamesOf(change).text);
}

// The change a text names, as ChangeText writes it; None for any other text.
inline Change ChangeFromText(QStringView text) {
    for (const ChangeNames& names : kChangeNames)
        if (text == QLatin1String(names.text))
            return names.change;
    return Change::None;
}

} // namespace corvantis::scan
