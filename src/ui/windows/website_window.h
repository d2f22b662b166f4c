#pragma once

#include <QMainWindow>

class QGroupBox;
class QLabel;
class QUrl;
class QLineEdit;
class QToolButton;
class QWebEngineView;

namespace corvantis::ui {

class BrowserControls;

// The stand-alone browser: opens maximized on the product's website, above
// all other windows while it opens, with an address box, go, back, forward,
// stop and refresh, and two status panels.
class WebsiteWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit WebsiteWindow(QWidget* parent = nullptr);

    // The first open, and the first after a close, loads the window: caption
    // and address from websiteAddress (a bare domain will do), maximized.
    // While it is open, opening it again only brings it to the front, without
    // reloading the page.
    void open(const QString& websiteAddress);
    bool isOpen() const { return m_loaded && isVisible(); }

    // Loads the typed text as an address, as the go button and Enter do.
    void navigate(const QString& text);

Q_SIGNALS:
    // The window was closed; the program may end now if it waited for this.
    void closed();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    int twips(int value) const;
    void buildStatusBar();
    void placeControls();
    void arrange();
    void loadStarted(const QUrl& url);
    void loadFinished();

    QWidget* m_area;
    QGroupBox* m_frame;
    QLabel* m_urlLabel;
    QLineEdit* m_address;
    QToolButton* m_go;
    QToolButton* m_back;
    QToolButton* m_forward;
    QToolButton* m_stop;
    QToolButton* m_refresh;
    QWebEngineView* m_view;
    BrowserControls* m_browser;
    QLabel* m_statusText;
    QLabel* m_downloadState;
    bool m_loaded = false;
};

} // namespace corvantis::ui
