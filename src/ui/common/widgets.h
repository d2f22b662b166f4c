#pragma once

#include <QString>

class QAbstractButton;
class QIcon;
class QLabel;
class QPushButton;
class QToolButton;
class QTreeView;
class QWidget;

namespace corvantis::ui {

// Makers for the windows' controls. Every control carries its control name as
// its objectName and its caption or field label as its accessible name, so
// tests, screen readers and desktop automation find it.

template <typename W> W* Named(W* widget, const QString& name, const QString& accessible = {}) {
    widget->setObjectName(name);
    if (!accessible.isEmpty())
        widget->setAccessibleName(accessible);
    return widget;
}

// A caption, named by its text, at the top left of its rectangle.
QLabel* Caption(QWidget* parent, const QString& text);

// A caption that wraps, named by its text.
QLabel* WrappedCaption(QWidget* parent, const QString& text);

QPushButton* Button(QWidget* parent, const QString& caption, const QString& toolTip = {});

// An input named by the label beside it, and that label's buddy.
void NameByLabel(QWidget* field, QLabel* label, const QString& toolTip = {});
template <typename W> W* Labelled(W* field, QLabel* label, const QString& toolTip = {}) {
    NameByLabel(field, label, toolTip);
    return field;
}

// A label that names the field it stands beside (for windows laid out by layouts).
QLabel* LabelFor(QWidget* field, const QString& text);

// A list of rows and columns: whole rows selected one at a time, nothing edited.
QTreeView* ListView(QWidget* parent, const QString& accessible);

// A browser's navigation button: a picture, named by its tool tip.
QToolButton* NavigationButton(QWidget* parent, const QString& name, const QIcon& picture,
                              const QString& toolTip);

// A long caption stands in a label beside its button; a left click on the label
// clicks the button, as a click on a caption of its own would.
void ClickThroughLabel(QLabel* label, QAbstractButton* button);

} // namespace corvantis::ui
