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
    // on this thread. Requests are served one at a time, in order.
    virtual void render(const QString& url, int timeoutMs, Done done) = 0;
};

} // namespace corvantis::scan
