#pragma once

#include "util/seams.h"

#include <QObject>

class QWidget;

namespace corvantis::scan {
class ScanSession;
}

namespace corvantis::ui {

// Projects in the window: New, Open and Save through the project commands, the
// check at exit, and the window's caption, which names the project file last
// opened or saved.
class ProjectController : public QObject {
    Q_OBJECT
public:
    ProjectController(scan::ScanSession& session, util::Messages& messages,
                      util::FileDialogs& dialogs, QWidget* window);

    void newProject();
    void openProject();
    void saveProject();
    // Asks to save an edited project; false when the window must stay open.
    bool mayClose();
    void showCaption();

Q_SIGNALS:
    // A project replaced the page-builder texts.
    void textsReplaced();
    // A new project starts with an empty entry.
    void entryCleared();

private:
    scan::ScanSession& m_session;
    util::Messages& m_messages;
    util::FileDialogs& m_dialogs;
    QWidget* m_window;
};

} // namespace corvantis::ui
