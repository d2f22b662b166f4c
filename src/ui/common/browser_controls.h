#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAbstractButton;
class QLineEdit;
class QWebEngineView;

namespace corvantis::ui {

// A browser view with its controls (the main window's "Web" tab, the website
// window): the address box, go (and Enter), back, forward, stop and refresh.
// The address box follows the page after every load; the link under the mouse
// goes to the status callback.
class BrowserControls : public QObject {
    Q_OBJECT
public:
    struct Controls {
        QWebEngineView* view;
        QLineEdit* address;
        QAbstractButton* go;
        QAbstractButton* back;
        QAbstractButton* forward;
        QAbstractButton* stop;
        QAbstractButton* refresh;
    };
    using Status = std::function<void(const QString& text)>;

    BrowserControls(const Controls& controls, Status status, QObject* parent = nullptr);

    // Opens an address as typed or stored (a bare domain will do). Only web
    // addresses are opened; for anything else the status says so and it
    // returns false.
    bool browse(const QString& text);

private:
    Controls m_c;
    Status m_status;
    bool m_showingLink = false; // the status bar shows a hovered link
};

} // namespace corvantis::ui
