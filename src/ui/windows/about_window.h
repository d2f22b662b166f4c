#pragma once

#include <QDialog>

class QLabel;

namespace corvantis::ui {

// The About window: the product's picture and name, its version (major.minor),
// its owner and its website, the last a link that opens the website window.
// Fixed in size and not modal; opening it again only shows it.
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);

Q_SIGNALS:
    // The website label was clicked.
    void websiteRequested();
};

} // namespace corvantis::ui
