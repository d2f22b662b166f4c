#pragma once

#include <QGroupBox>

#include <array>

class QCheckBox;
class QPlainTextEdit;

namespace corvantis::util {
class FileDialogs;
class Messages;
} // namespace corvantis::util
namespace corvantis::scan {
class ScanProject;
}

namespace corvantis::ui {

// "Page Builder" (Frame5, on the "Pages" tab): the three texts of the links
// page, "Generate Links", "Save Webpage" and the two options of the links.
// The texts are the project's, kept exactly as they came: showing one in its
// box writes nothing back; only the user's own edits change it.
class PageBuilder : public QGroupBox {
    Q_OBJECT
public:
    PageBuilder(QWidget* parent, scan::ScanProject& project, util::Messages& messages,
                util::FileDialogs& dialogs);

    // The texts and the two options from the settings store.
    void loadOptions();
    // The boxes follow the project's texts after a command changed them.
    void showTexts();

private:
    scan::ScanProject& m_project;
    util::Messages& m_messages;
    util::FileDialogs& m_dialogs;
    QCheckBox* m_bullet = nullptr;
    QCheckBox* m_newWindow = nullptr;
    std::array<QPlainTextEdit*, 3> m_html{};
    std::array<QString, 3> m_shown; // the texts the boxes were last given or typed
    bool m_showing = false;
};

} // namespace corvantis::ui
