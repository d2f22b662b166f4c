#pragma once

// The plain values the engine and whoever shows it speak in: no behaviour, so
// both sides of the engine can include them.

#include <QString>

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

// A partner whose site ended in a scan, and whether its pages could be read:
// false when a page failed by time-out, connection, certificate, a server error
// (5xx), 429, 401, 403 or 407, a bot wall or parking. An unread site's missing
// link proves nothing.
struct EndedSite {
    QString site;
    bool pagesRead = true;
    bool operator==(const EndedSite&) const = default;
};

} // namespace corvantis::scan
