#pragma once

// What the engine's scenario tests share: a session and an engine over a host
// router, the seams recorded, options applied at the start of each scan, and
// every scenario run with the read-ahead on and off, one site at a time and
// four at once, connections kept open between pages or one a page, against
// servers that keep them or close each.

#include "fetch/host_route.h"
#include "scan/scan_engine.h"
#include "support/fakes.h"
#include "support/test_http_server.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace corvantis::testing {

class ScanFixture {
protected:
    std::unique_ptr<scan::ScanSession> m_session;
    std::unique_ptr<scan::ScanEngine> m_engine;
    scan::HostRouter m_router;
    FakeMessages m_messages;
    RecordingSound m_sound;
    scan::ScanOptions m_options; // what the next scan runs with

    // For initTestCase_data: the global columns "readAhead", "sitesAtOnce",
    // "keepAlive" (the option) and "serverKeeps" (the test servers keep
    // connections open, see ServerRule).
    static void ReadAheadOnAndOff() {
        QTest::addColumn<bool>("readAhead");
        QTest::addColumn<int>("sitesAtOnce");
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<bool>("serverKeeps");
        QTest::newRow("read-ahead") << true << 1 << true << true;
        QTest::newRow("plain") << false << 1 << true << true;
        QTest::newRow("read-ahead, 4 sites") << true << 4 << true << false;
        QTest::newRow("plain, 4 sites") << false << 4 << true << true;
        QTest::newRow("a connection a page") << true << 1 << false << true;
        QTest::newRow("a connection a page, plain") << false << 1 << false << false;
    }

    // How the test servers treat connections, as the global column says: kept
    // for every request the client sends on them, or closed after each answer.
    static ConnectionRule ServerRule() {
        QFETCH_GLOBAL(bool, serverKeeps);
        ConnectionRule rule;
        rule.keepAlive = serverKeeps;
        return rule;
    }

    // A new session and engine (read-ahead as the global column says), with
    // default options but a five-second time-out, no robots.txt request and no
    // rendering: the crawl scenarios count the pages asked for, the link-value
    // ones turn the request on; the command line's test renders.
    void makeEngine() {
        QFETCH_GLOBAL(bool, readAhead);
        QFETCH_GLOBAL(int, sitesAtOnce);
        QFETCH_GLOBAL(bool, keepAlive);
        m_session = std::make_unique<scan::ScanSession>();
        m_options = scan::ScanOptions{};
        m_options.timeoutSeconds = 5;
        m_options.checkLinkValue = false;
        m_options.renderPages = false;
        m_options.sitesAtOnce = sitesAtOnce;
        m_options.keepAlive = keepAlive;
        m_messages.informed.clear();
        m_sound.played.clear();
        m_engine = std::make_unique<scan::ScanEngine>(*m_session, m_messages, m_sound, m_router,
                                                      scan::ScanEngine::Options{readAhead});
    }

    // The engine again, on the same session, rendering with the renderer given.
    void useRenderer(scan::PageRenderer* renderer) {
        QFETCH_GLOBAL(bool, readAhead);
        m_engine =
            std::make_unique<scan::ScanEngine>(*m_session, m_messages, m_sound, m_router,
                                               scan::ScanEngine::Options{readAhead, renderer});
    }

    void dropEngine() {
        m_engine.reset();
        m_session.reset();
    }

    void addPartner(const QString& address, const QString& expected = QStringLiteral("1")) {
        m_session->project.partners.append(scan::PartnerSite{address, expected, {}, {}, {}});
    }

    // Runs a scan to its end; false when it did not stop in time, or ended more
    // than once (a scan ends once, whatever ends its last site).
    bool runScan(int maxMs = 15000) {
        QSignalSpy stopped(m_engine.get(), &scan::ScanEngine::scanStopped);
        QSignalSpy ended(m_engine.get(), &scan::ScanEngine::scanEnded);
        m_session->options = m_options;
        m_engine->StartScan();
        const bool stoppedInTime = stopped.count() > 0 || stopped.wait(maxMs);
        return stoppedInTime && stopped.count() == 1 && ended.count() == 1;
    }

    // The partners the last scan ended, those whose pages could not be read marked so.
    QStringList endedSites() const {
        QStringList out;
        for (const scan::PartnerVerdict& e : m_engine->verdicts())
            out.append(e.pagesRead() ? e.site : e.site + QStringLiteral(" (unread)"));
        return out;
    }
};

} // namespace corvantis::testing
