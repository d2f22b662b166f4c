// The scan history: what changed for a partner over a history made here, and a
// store that cannot be used.
#include "history/history_store.h"
#include "session/scan_model.h"
#include "session/scan_types.h"
#include "support/test_env.h"
#include "util/sqlite_connection.h"

#include <QFile>
#include <QHash>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <latch>
#include <optional>
#include <thread>

using namespace corvantis;
using namespace corvantis::history;

namespace {

// One scan of partner.test for mysite.test, from a word: "link" (a link that
// counts on /links), "link:nofollow" (its value), "link:" (its value not
// measured), "link@/other" (another page), "link@/a,/b" (two links, on /a and /b),
// "none" (read, no link), "unread" (no link, the pages not read), "link-unread"
// (a link on the pages read, not all of them read), "elsewhere" (a link found
// for another domain).
PartnerRecord Scan(QString word, int n) {
    const bool unread = word.endsWith(QLatin1String("unread"));
    word.remove(QLatin1String("-unread"));
    const bool rendered = word.endsWith(QLatin1String("+js")); // found only in a browser
    word.remove(QLatin1String("+js"));
    PartnerRecord r;
    r.time = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC).addDays(7 * n);
    r.domain = QStringLiteral("mysite.test");
    r.partner = QStringLiteral("partner.test");
    r.verdict = scan::kNoneFound;
    if (word.startsWith(QLatin1String("link")) || word == QLatin1String("elsewhere")) {
        r.verdict = scan::kDirectLink;
        const QString paths =
            word.contains(u'@') ? word.section(u'@', 1) : QStringLiteral("/links");
        for (const QString& path : paths.split(u','))
            r.pages.append(QStringLiteral("partner.test") + path);
        r.links = int(r.pages.size());
        r.page = r.pages.first();
        r.value = word.contains(u':') ? word.section(u':', 1) : QStringLiteral("Counts");
        if (rendered)
            r.value = QStringLiteral("after JavaScript");
        r.anchor = QStringLiteral("My site");
        if (word == QLatin1String("elsewhere"))
            r.domain = QStringLiteral("other.test");
    }
    r.pagesRead = !unread;
    return r;
}

// A file nobody may write while it lives: its permissions, and for root (whom
// permissions do not bind) its immutable attribute, taken off again at the end.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString& path) : m_path(path) {
        QFile::setPermissions(path, QFile::ReadOwner);
        if (::geteuid() == 0)
            m_immutable = setImmutable(true);
    }
    ~ReadOnlyFile() {
        if (m_immutable)
            setImmutable(false);
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
    }
    // Whether writing is refused (a file system without the attribute may not).
    bool holds() const {
        QFile probe(m_path);
        return !probe.open(QIODevice::WriteOnly | QIODevice::Append);
    }

private:
    bool setImmutable(bool on) const {
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return ok;
    }
    QString m_path;
    bool m_immutable = false;
};

// Long enough for a test's own store, short for one held locked on purpose.
constexpr std::chrono::milliseconds kShortWait{200};

// The change of each record, without since when its link is lost.
QList<Change> Changes(const HistoryStore::Recorded& recorded) {
    QList<Change> out;
    for (const PartnerChange& c : recorded.changes)
        out.append(c.change);
    return out;
}

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class HistoryTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString freshPath(const char* name) const {
        const QString path = m_dir.filePath(QLatin1String(name));
        QFile::remove(path);
        return path;
    }

private Q_SLOTS:
    // Each scan is recorded in turn; the change of the last one is compared.
    void changes_data() {
        QTest::addColumn<int>("lostAfter");
        QTest::addColumn<QString>("scans");
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("lostSince"); // the scan whose time it is; -1: not lost
        const struct {
            const char* name;
            int k;
            const char* scans;
            const char* change;
            int lostSince = -1;
        } rows[] = {
            {"first scan", 1, "link", "New partner"},
            {"another domain's history", 1, "elsewhere link", "New partner"},
            {"the same", 1, "link link", ""},
            {"found", 1, "none link", "Found"},
            {"found after unread", 1, "unread link", "Found"},
            {"value changed", 1, "link link:nofollow", "Value changed"},
            {"value back", 1, "link:nofollow link", "Value changed"},
            {"moved", 1, "link link@/other", "Moved"},
            {"lost", 1, "link none", "Lost", 1},
            {"not read", 1, "link unread", "Unconfirmed"},
            {"read after not read", 1, "link unread none", "Lost", 2},
            {"lost is said once", 1, "link none none", "", 1},
            {"still lost when not read", 1, "link none none unread", "", 1},
            {"never linked", 1, "none none", ""},
            {"back after lost", 1, "link none link", "Found"},
            {"K=2: first miss", 2, "link none", "Unconfirmed"},
            {"K=2: second miss", 2, "link none none", "Lost", 2},
            {"K=2: unread between", 2, "link none unread none", "Lost", 3},
            {"K=2: unread second", 2, "link none unread", "Unconfirmed"},
            {"K=2: said once", 2, "link none none none", "", 2},
            {"K=2: not read", 2, "link unread", "Unconfirmed"},
            {"K=2: back before lost", 2, "link none link", "Found"},
            // An unread scan says nothing about the link: compared with the last read one.
            {"value changed after unread", 1, "link unread link:nofollow", "Value changed"},
            {"the same after unread", 1, "link unread link", ""},
            {"moved after unread", 1, "link unread unread link@/other", "Moved"},
            {"found after none, unread", 1, "none unread link", "Found"},
            {"found on a scan not all read", 1, "none link-unread link", ""},
            {"K=2: the same after unread", 2, "link unread unread link", ""},
            // A value not measured (the option off, an old record) is not compared.
            {"value not measured now", 1, "link link:", ""},
            {"value not measured before", 1, "link: link:nofollow", ""},
            {"not measured, moved", 1, "link: link@/other", "Moved"},
        };
        for (const auto& r : rows)
            QTest::newRow(r.name) << r.k << QString::fromLatin1(r.scans)
                                  << QString::fromLatin1(r.change) << r.lostSince;
    }
    void changes() {
        QFETCH(int, lostAfter);
        QFETCH(QString, scans);
        QFETCH(QString, change);
        QFETCH(int, lostSince);
        HistoryStore store(freshPath("changes.sqlite"), kShortWait);
        const QStringList words = scans.split(u' ');
        HistoryStore::Recorded recorded;
        for (int i = 0; i < words.size(); ++i) {
            recorded = store.recordScan({Scan(words[i], i)}, lostAfter);
            QCOMPARE(recorded.error, QString());
        }
        QCOMPARE(scan::ChangeText(recorded.changes.value(0).change), change);
        QCOMPARE(recorded.changes.value(0).lostSince,
                 lostSince < 0 ? QDateTime() : Scan(words[lostSince], lostSince).time);
        QCOMPARE(recorded.domainKnown, words.size() > 1 && !scans.startsWith(S("elsewhere")));
        // Everything was recorded, oldest first, exactly as given.
        QString error;
        const QList<PartnerRecord> kept = store.partnerHistory(
            QStringLiteral("mysite.test"), QStringLiteral("partner.test"), error);
        QCOMPARE(error, QString());
        QCOMPARE(kept.size(), words.size() - int(scans.startsWith(QLatin1String("elsewhere"))));
        QCOMPARE(kept.last(), Scan(words.last(), int(words.size()) - 1));
    }

    // Each partner's remembered pages: those of its last read scan with links,
    // in a new store and in one version 1 wrote, which the first use brings up
    // to date keeping every record.
    void linkPages_data() {
        QTest::addColumn<bool>("versionOne");
        QTest::addColumn<QString>("scans");
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<bool>("rendered"); // its links found only once its scripts ran
        QTest::newRow("the last scan's page") << false << "link link@/other"
                                              << "/other" << false;
        QTest::newRow("found by a browser") << false << "link link+js"
                                            << "/links" << true;
        QTest::newRow("found by a browser, then not found") << false << "link+js none"
                                                            << "/links" << true;
        QTest::newRow("found by a browser, then in the HTML") << false << "link+js link@/a"
                                                              << "/a" << false;
        QTest::newRow("two links") << false << "link link@/a,/b"
                                   << "/a /b" << false;
        QTest::newRow("a scan without links") << false << "link none"
                                              << "/links" << false;
        QTest::newRow("a scan not read") << false << "link link@/other-unread"
                                         << "/links" << false;
        QTest::newRow("another domain's scan") << false << "none elsewhere"
                                               << "" << false;
        QTest::newRow("version 1, read first") << true << ""
                                               << "/other" << false;
        QTest::newRow("version 1, recorded first") << true << "link@/a,/b"
                                                   << "/a /b" << false;
    }
    void linkPages() {
        QFETCH(bool, versionOne);
        QFETCH(QString, scans);
        QFETCH(QString, remembered);
        QFETCH(bool, rendered);
        const QString path = freshPath("pages.sqlite");
        // What version 1 recorded there: two scans of two partners, one of another domain.
        QList<PartnerRecord> old;
        if (versionOne) {
            QVERIFY(QFile::copy(QStringLiteral(HISTORY_VERSION_1_FILE), path));
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
            old = {Scan(S("link"), 0), Scan(S("none"), 0), Scan(S("link@/other"), 1),
                   Scan(S("unread"), 1)};
            old[1].partner = old[3].partner = S("other.test");
        }
        HistoryStore store(path, kShortWait);
        const QStringList words = scans.split(u' ', Qt::SkipEmptyParts);
        for (int i = 0; i < words.size(); ++i)
            QCOMPARE(store.recordScan({Scan(words[i], 10 + i)}, 1).error, QString());
        QString error;
        const HistoryStore::RememberedLinks links = store.rememberedLinks(
            S("mysite.test"), {S("partner.test"), S("other.test"), S("new.test")}, error);
        QCOMPARE(error, QString());
        const QHash<QString, QStringList>& pages = links.pages;
        QCOMPARE(links.afterJavaScript,
                 rendered ? QSet<QString>{S("partner.test")} : QSet<QString>());
        QStringList expected;
        for (const QString& p : remembered.split(u' ', Qt::SkipEmptyParts))
            expected.append(S("partner.test") + p);
        QCOMPARE(pages.value(S("partner.test")), expected);
        QCOMPARE(pages.size(), int(!expected.isEmpty()));
        if (!versionOne)
            return;
        for (const char* partner : {"partner.test", "other.test"}) {
            QList<PartnerRecord> kept = store.partnerHistory(S("mysite.test"), S(partner), error);
            QCOMPARE(error, QString());
            kept = kept.mid(0, 2);
            QCOMPARE(kept.size(), 2);
            QCOMPARE(kept[0], old[kept[0].partner == S("other.test") ? 1 : 0]);
            QCOMPARE(kept[1], old[kept[1].partner == S("other.test") ? 3 : 2]);
        }
        QCOMPARE(store.partnerHistory(S("other.test"), S("partner.test"), error).size(), 1);
        util::SqliteConnection c(path, util::SqlAccess::ReadOnly, kShortWait);
        QSqlQuery version(c.database());
        QVERIFY(version.exec(S("SELECT version FROM schema_version")) && version.next());
        QCOMPARE(version.value(0).toInt(), kHistorySchemaVersion);
        QVERIFY(!version.next());
    }

    // The alerts a way did not deliver wait in the store, in a new one and in one
    // version 1 wrote, until they are delivered; a domain keeps a bounded number a way.
    void keptAlerts_data() {
        QTest::addColumn<bool>("versionOne");
        QTest::newRow("new store") << false;
        QTest::newRow("version 1 store") << true;
    }
    void keptAlerts() {
        QFETCH(bool, versionOne);
        const QString path = freshPath("kept.sqlite");
        if (versionOne) {
            QVERIFY(QFile::copy(QStringLiteral(HISTORY_VERSION_1_FILE), path));
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        }
        HistoryStore store(path, kShortWait);
        const auto alert = [](const char* domain, const char* way, int n) {
            return KeptAlert{0,
                             S(domain),
                             QDateTime(QDate(2026, 1, 1), QTime(7, 30), Qt::UTC).addDays(n),
                             S(way),
                             S("Corvantis: 1 link lost on ") + S(domain),
                             S("partner.test: Lost"),
                             "{\"n\": " + QByteArray::number(n) + "}\n"};
        };
        QCOMPARE(
            store.settleAlerts({}, {alert("mysite.test", "mail", 1), alert("other.test", "mail", 1),
                                    alert("mysite.test", "webhook", 2)}),
            QString());
        QString error;
        QList<KeptAlert> kept = store.keptAlerts(S("mysite.test"), error);
        QCOMPARE(error, QString());
        QCOMPARE(kept.size(), 2);
        for (KeptAlert& k : kept)
            k.id = 0;
        QCOMPARE(kept, (QList<KeptAlert>{alert("mysite.test", "mail", 1),
                                         alert("mysite.test", "webhook", 2)}));
        // The mail delivered, a new one waiting: the webhook's and the new one are left.
        kept = store.keptAlerts(S("mysite.test"), error);
        QCOMPARE(store.settleAlerts({kept[0].id}, {alert("mysite.test", "mail", 3)}), QString());
        kept = store.keptAlerts(S("mysite.test"), error);
        QCOMPARE(kept.size(), 2);
        QCOMPARE(kept[0].way, S("webhook"));
        QCOMPARE(kept[1].scan, alert("mysite.test", "mail", 3).scan);
        QCOMPARE(store.keptAlerts(S("other.test"), error).size(), 1);
        // Beyond the bound, the oldest of that way go.
        QList<KeptAlert> many;
        for (int n = 10; n < 10 + kMaxKeptAlerts; ++n)
            many.append(alert("mysite.test", "mail", n));
        QCOMPARE(store.settleAlerts({}, many), QString());
        kept = store.keptAlerts(S("mysite.test"), error);
        QCOMPARE(kept.size(), 1 + kMaxKeptAlerts);
        QCOMPARE(kept[0].way, S("webhook"));
        QCOMPARE(kept[1].scan, many.first().scan);
        if (versionOne) // the records of version 1 are still there
            QCOMPARE(store.partnerHistory(S("mysite.test"), S("partner.test"), error).size(), 2);
    }

    // Two scans recording into one store at the same moment (the window and a
    // timer's scan, say) both keep their records, one after the other.
    void twoScansAtOnce_data() {
        QTest::addColumn<int>("earlierScans");
        QTest::newRow("new store") << 0;
        QTest::newRow("store with earlier scans") << 3;
    }
    void twoScansAtOnce() {
        QFETCH(int, earlierScans);
        const QString path = freshPath("together.sqlite");
        constexpr int kPartners = 300;
        const auto scanOf = [](int n) {
            QList<PartnerRecord> records;
            for (int p = 0; p < kPartners; ++p) {
                records.append(Scan(S("link"), n));
                records.last().partner = QStringLiteral("p%1.test").arg(p);
            }
            return records;
        };
        for (int n = 0; n < earlierScans; ++n)
            QCOMPARE(HistoryStore(path, kShortWait).recordScan(scanOf(n), 1).error, QString());
        // Each thread has its own connection, as each process would.
        HistoryStore::Recorded recorded[2];
        std::latch start(2);
        const auto record = [&](int i) {
            HistoryStore store(path, util::kCommandLineBusyTimeout);
            start.arrive_and_wait();
            recorded[i] = store.recordScan(scanOf(earlierScans + i), 1);
        };
        std::thread first(record, 0), second(record, 1);
        first.join();
        second.join();
        QCOMPARE(recorded[0].error, QString());
        QCOMPARE(recorded[1].error, QString());
        // The later one read what the earlier one wrote: only one saw new partners.
        QCOMPARE(Changes(recorded[0]).count(Change::NewPartner) +
                     Changes(recorded[1]).count(Change::NewPartner),
                 earlierScans == 0 ? kPartners : 0);
        QString error;
        QCOMPARE(HistoryStore(path, kShortWait)
                     .partnerHistory(S("mysite.test"), S("p299.test"), error)
                     .size(),
                 earlierScans + 2);
    }

    // A store that cannot be used: one message, the changes none, the file as it was.
    void unusableStore_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("damaged") << "damaged";
        QTest::newRow("locked") << "locked";
        QTest::newRow("read-only") << "read-only";
        QTest::newRow("newer schema") << "newer";
    }
    void unusableStore() {
        QFETCH(QString, kind);
        const QString path = freshPath("unusable.sqlite");
        if (kind == QLatin1String("damaged")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
        } else {
            QCOMPARE(HistoryStore(path, kShortWait).recordScan({Scan(S("link"), 0)}, 1).error,
                     QString());
        }
        if (kind == QLatin1String("newer")) {
            util::SqliteConnection c(path, util::SqlAccess::ReadWrite, kShortWait);
            QVERIFY(QSqlQuery(c.database()).exec(S("UPDATE schema_version SET version = 99")));
        }
        const QByteArray before = Bytes(path);
        std::optional<util::SqliteConnection> holder;
        if (kind == QLatin1String("locked")) {
            holder.emplace(path, util::SqlAccess::ReadWrite, kShortWait);
            QVERIFY(QSqlQuery(holder->database()).exec(S("BEGIN EXCLUSIVE")));
        }
        std::optional<ReadOnlyFile> readOnly;
        if (kind == QLatin1String("read-only")) {
            readOnly.emplace(path);
            if (!readOnly->holds())
                QSKIP("this file system cannot make a file read-only for this user");
        }
        const HistoryStore::Recorded recorded =
            HistoryStore(path, kShortWait).recordScan({Scan(S("none"), 1)}, 1);
        const QString& message = recorded.error;
        QVERIFY2(message.startsWith(S("The scan history \"")), qPrintable(message));
        QVERIFY2(message.contains(QDir::toNativeSeparators(path)), qPrintable(message));
        if (kind == QLatin1String("read-only")) // read, but not written
            QCOMPARE(Changes(recorded), QList<Change>{Change::Lost});
        else
            QCOMPARE(Changes(recorded), QList<Change>{Change::None});
        holder.reset();
        readOnly.reset();
        QCOMPARE(Bytes(path), before);
    }

private:
    static QString S(const char* text) { return QString::fromUtf8(text); }
};

CORVANTIS_TEST_MAIN(HistoryTest)
#include "tst_history.moc"
