#pragma once

#include <QString>

#include <functional>

namespace corvantis::scan {

// What a page looks like to a browser, once its scripts have run: the engine
// asks for it when a site's HTML does not show the links expected. The real one
// runs the page renderer process; tests may supply their own.
class PageRenderer {
public:
    struct Result {
        bool ok = false;
        QString html;  // the rendered document; links the browser does not show have the hidden
                       // attribute
        QString error; // why there is none
    };
    using Done = std::function<void(const Result&)>;

    virtual ~PageRenderer() = default;
    // Renders url (with its scheme) within timeoutMs; done is called once, later,
    // on this thread. Requests start in the order given; several may be under way
    // at once, and their answers come in the order the pages finish.
    virtual void render(const QString& url, int timeoutMs, Done done) = 0;
    // How many pages may be under way at once (the scan's sites at once).
    virtual void setPagesAtOnce(int n) { (void)n; }
    // Why no page can be rendered at all on this machine, once that is known;
    // empty while pages can be.
    virtual QString unavailableReason() const { return {}; }
};

} // namespace corvantis::scan
