#pragma once

// What the main window's tests share: a small partner site on a local server,
// a browser profile kept on the loopback network, the seams, and the window
// opened with them.

#include "fake_secrets.h"
#include "fetch/host_route.h"
#include "main_window_check.h"
#include "support/fakes.h"
#include "support/test_http_server.h"
#include "ui/main/main_window.h"

#include <QTest>
#include <QWebEngineProfile>

#include <memory>
#include <vector>

namespace corvantis::testing {

class MainWindowFixture {
protected:
    TestHttpServer m_server;
    LoopbackOnly m_loopback;
    scan::HostRouter m_router;
    FakeMessages m_messages;
    FakeFileDialogs m_dialogs;
    RecordingSound m_sound;
    FakeSecrets m_secrets;
    std::vector<std::unique_ptr<scan::ScanSession>> m_sessions;

    // partner.test links to its links page, which links back to www.mysite.test
    // (nofollow);
    // other.test has no pages; silent.test answers only after a minute.
    bool startSite() {
        if (!m_server.start())
            return false;
        QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&m_loopback);
        for (const char* host : {"partner.test", "other.test", "silent.test"})
            m_router.add(QLatin1String(host), QStringLiteral("127.0.0.1"), m_server.port());
        m_server.setReply(
            QStringLiteral("partner.test/"),
            HttpReply::html("<html><body><a href=\"/links.html\">Links</a></body></html>"));
        m_server.setReply(
            QStringLiteral("partner.test/links.html"),
            HttpReply::html("<html><body><a rel=\"nofollow\" "
                            "href=\"http://www.mysite.test/\">Mine</a></body></html>"));
        m_server.setReply(QStringLiteral("silent.test/"),
                          HttpReply::html("<p>late</p>").delayed(60000));
        return true;
    }

    // Each window a fresh session, kept beyond the window as the program keeps its own.
    std::unique_ptr<ui::MainWindow> open() {
        m_sessions.push_back(std::make_unique<scan::ScanSession>());
        auto w = std::make_unique<ui::MainWindow>(
            *m_sessions.back(),
            ui::MainWindow::Seams{&m_messages, &m_dialogs, &m_sound, &m_router, &m_secrets});
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            return nullptr;
        return w;
    }

    template <typename T = QWidget> static T* find(QObject* w, const char* name) {
        T* child = w->findChild<T*>(QLatin1String(name));
        if (!child)
            qFatal("no control %s", name);
        return child;
    }
};

} // namespace corvantis::testing
