#pragma once

#include <QDialog>

class QCheckBox;
class QTextBrowser;

namespace corvantis::ui {

// Largest help file read; the rest of a bigger file is not shown.
inline constexpr qint64 kMaxHelpFileBytes = 8 * 1024 * 1024;

// The "Readme/Help" window: the help file of the application folder as
// formatted text, above all other windows, with "Show at Startup".
class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // "Help.rtf" in the application folder.
    static QString helpFilePath();
    // Whether the user wants the help at start-up ("showHelp", "1" unless changed).
    static bool showAtStartup();

    // Shows the window with the help file read afresh. Without a help file the
    // window is not shown and false is returned. An open window is only raised.
    bool openIfPresent();

private:
    void load();

    QTextBrowser* m_text;
    QCheckBox* m_showAtStartup;
};

} // namespace corvantis::ui
