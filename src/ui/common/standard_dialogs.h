#pragma once

#include "util/seams.h"

#include <QPointer>
#include <QWidget>

namespace corvantis::ui {

// Messages and questions as the desktop's message boxes, over the given window.
// A message without a title carries the product name.
class MessageBoxes : public util::Messages {
public:
    void setParentWindow(QWidget* window) { m_parent = window; }
    void inform(const QString& text, const QString& title = QString()) override;
    util::Answer ask(const QString& title, const QString& text, util::Question kind) override;

private:
    QPointer<QWidget> m_parent;
};

// The desktop's open and save dialogs. The filter is Qt's form ("Name (*.ext)").
class FileDialogBoxes : public util::FileDialogs {
public:
    void setParentWindow(QWidget* window) { m_parent = window; }
    QString openFile(const QString& title, const QString& startPath,
                     const QString& filter) override;
    QString saveFile(const QString& title, const QString& startPath,
                     const QString& filter) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace corvantis::ui
