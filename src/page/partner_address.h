#pragma once

#include <QString>
#include <QStringView>
#include <QVarLengthArray>

// A partner's address: its scheme, its host and how two addresses are told to be
// one site. The list keeps addresses without a scheme, except for a leading
// "https://" that says the site is on https.
namespace corvantis::scan {

// A partner address taken apart, because the queue holds its pages scheme-less
// while the fetch must know the site is on https.
struct SchemeAndRest {
    bool https = false; // it started with "https://", any letter case
    QString rest;       // what follows that "https://", or the whole address
};
SchemeAndRest SplitScheme(const QString& address);

// The entry field's text as the list keeps it: every "http://" and "https://"
// taken out, but one that led stays in front, since that site is on https.
QString EnteredPartnerAddress(const QString& typed);

// The host of an address as the lists hold it ("host/path", with or without a
// scheme), in lower case and without a port: what scans are told apart by.
QString AddressHost(const QString& address);

// The text without a leading "www." (any letter case), because a site and its
// "www." twin are one site. "www." alone loses it too.
QString WithoutLeadingWww(const QString& host);

// Two host names of one site: equal, or one is the other's "www." twin (letter
// case ignored), so a redirect there does not leave the site.
bool IsSameHost(const QString& a, const QString& b);

// What a partner is found by among the addresses a crawl meets: a leading
// "https://" dropped, every lower-case "www." anywhere taken out, lower-cased.
QString PartnerKey(const QString& address);

// PartnerKey of a scheme-less ASCII address, built in the caller's buffer so
// that the test of every link a crawl meets needs no allocation. False, with
// the buffer unfinished, when the address is not ASCII: then use PartnerKey.
using PartnerKeyBuffer = QVarLengthArray<char16_t, 256>;
bool AsciiPartnerKey(QStringView address, PartnerKeyBuffer& key);

// The text without any "www." (any letter case, anywhere): the import base, so
// that links to the user's site with and without "www." both contain it.
QString WithoutEveryWww(const QString& text);

} // namespace corvantis::scan
