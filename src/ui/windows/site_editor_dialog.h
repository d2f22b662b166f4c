#pragma once

#include <QDialog>
#include <QPersistentModelIndex>

#include <array>

class QLineEdit;

namespace corvantis::scan {
class ScanProject;
}

namespace corvantis::ui {

// Form2: edits the five fields of one partner row. Not modal, so the lists may
// change while it is open: it holds its row, not a position. A row deleted
// meanwhile is not written; a sort carries the row along. The close box (or
// Escape) discards the edits; OK or Enter in the first four fields saves them.
class SiteEditorDialog : public QDialog {
    Q_OBJECT
public:
    SiteEditorDialog(scan::ScanProject& project, QWidget* parent = nullptr);

    // Fills the boxes from a 0-based partner row and keeps that row for saving.
    void editRow(int row);
    // The partner row being edited; -1 once it was deleted.
    int row() const { return m_row.isValid() ? m_row.row() : -1; }

    void SavePartnerEdit();

private:
    scan::ScanProject& m_project;
    QPersistentModelIndex m_row;
    std::array<QLineEdit*, 5> m_text{};
};

} // namespace corvantis::ui
