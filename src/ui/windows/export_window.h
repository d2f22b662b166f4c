#pragma once

#include "util/seams.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace corvantis::ui {

// "Export Emails": writes every stored address into one text file with the
// chosen delimiter and can empty the store afterwards. It closes itself after
// an export; a cancelled save dialog, an unusable store or a failed write keep
// it open. Whoever opens it non-modally should set Qt::WA_DeleteOnClose.
class ExportWindow : public QDialog {
    Q_OBJECT
public:
    ExportWindow(util::Messages& messages, util::FileDialogs& dialogs, QWidget* parent = nullptr);

public Q_SLOTS:
    // The Export button.
    void ExportEmails();

Q_SIGNALS:
    // The stored addresses were deleted after the export; the main window then
    // empties its result list and resets "Links Found".
    void emailsDeleted();

private:
    util::Messages& m_messages;
    util::FileDialogs& m_dialogs;
    QLabel* m_outputLabel;
    QComboBox* m_outputType;
    QCheckBox* m_spaceBetween;
    QCheckBox* m_deleteWhenFinished;
    QPushButton* m_export;
};

} // namespace corvantis::ui
