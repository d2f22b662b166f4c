#include "ui/common/widgets.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>

namespace corvantis::ui {

namespace {
class ClickThrough : public QObject {
public:
    ClickThrough(QLabel* label, QAbstractButton* button) : QObject(label), m_button(button) {
        label->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            m_button->setFocus(Qt::MouseFocusReason);
            m_button->click();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QAbstractButton* m_button;
};
} // namespace

QLabel* Caption(QWidget* parent, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setAccessibleName(text);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLabel* WrappedCaption(QWidget* parent, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setAccessibleName(text);
    label->setWordWrap(true);
    return label;
}

QPushButton* Button(QWidget* parent, const QString& caption, const QString& toolTip) {
    auto* button = new QPushButton(caption, parent);
    button->setAccessibleName(caption);
    button->setToolTip(toolTip);
    return button;
}

void NameByLabel(QWidget* field, QLabel* label, const QString& toolTip) {
    field->setAccessibleName(label->text());
    field->setToolTip(toolTip);
    label->setBuddy(field);
}

QLabel* LabelFor(QWidget* field, const QString& text) {
    auto* label = new QLabel(text);
    label->setBuddy(field);
    field->setAccessibleName(text);
    return label;
}

QTreeView* ListView(QWidget* parent, const QString& accessible) {
    auto* view = new QTreeView(parent);
    view->setAccessibleName(accessible);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setItemsExpandable(false);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->setStretchLastSection(false);
    return view;
}

QToolButton* NavigationButton(QWidget* parent, const QString& name, const QIcon& picture,
                              const QString& toolTip) {
    auto* button = Named(new QToolButton(parent), name, toolTip);
    button->setIcon(picture);
    button->setToolTip(toolTip);
    return button;
}

void ClickThroughLabel(QLabel* label, QAbstractButton* button) {
    new ClickThrough(label, button);
}

} // namespace corvantis::ui
