#pragma once

// Shared by the main window's test and the screenshot program: what a user
// would call clipped or overlapping, and a browser profile that never leaves
// the loopback network.

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHostAddress>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

namespace corvantis::testing {

// Sends every request for a host outside 127.0.0.0/8 to one local address
// (or blocks it when none is given), so the program's own website address
// and partner pages are never looked up on the network.
class LoopbackOnly : public QWebEngineUrlRequestInterceptor {
public:
    explicit LoopbackOnly(QUrl local = {}) : m_local(std::move(local)) {}
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
            return;
        if (QHostAddress(url.host()).isLoopback())
            return;
        if (m_local.isValid())
            info.redirect(m_local);
        else
            info.block(true);
    }

private:
    QUrl m_local;
};

namespace detail {

// Where a control's ink is: a label's text, or the whole control.
inline QRect InkRect(const QWidget* w) {
    const auto* label = qobject_cast<const QLabel*>(w);
    if (!label || label->wordWrap() || label->text().isEmpty())
        return w->geometry();
    const QSize text = label->fontMetrics().size(0, label->text());
    QRect r(w->pos(), text);
    if (label->alignment() & Qt::AlignRight)
        r.moveRight(w->geometry().right());
    return r;
}

// Why the control's caption does not fit it, or nothing.
inline QString CaptionProblem(const QWidget* w) {
    const QFontMetrics fm = w->fontMetrics();
    const QSize size = w->size();
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->text().isEmpty())
            return {};
        const QRect need = label->wordWrap() ? fm.boundingRect(QRect(0, 0, size.width(), 10000),
                                                               Qt::TextWordWrap, label->text())
                                             : QRect(QPoint(), fm.size(0, label->text()));
        if (need.width() > size.width() || need.height() > size.height())
            return QStringLiteral("text needs %1x%2").arg(need.width()).arg(need.height());
        return {};
    }
    if (const auto* box = qobject_cast<const QCheckBox*>(w)) {
        const QSize need = box->sizeHint();
        if (!box->text().isEmpty() && (need.width() > size.width() || fm.height() > size.height()))
            return QStringLiteral("needs %1x%2").arg(need.width()).arg(need.height());
        return {};
    }
    if (const auto* button = qobject_cast<const QPushButton*>(w)) {
        const int need = fm.horizontalAdvance(button->text()) + 12;
        if (need > size.width() || fm.height() + 4 > size.height())
            return QStringLiteral("caption needs %1 wide").arg(need);
        return {};
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
        QStringList texts{combo->placeholderText()};
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        for (const QString& t : texts)
            if (fm.horizontalAdvance(t) + 30 > size.width())
                return QStringLiteral("\"%1\" does not fit").arg(t);
    }
    return {};
}

inline QString Name(const QWidget* w) {
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                     : w->objectName();
}

} // namespace detail

// Among the visible controls of each container: captions that do not fit,
// controls reaching out of their container or into a frame's title, and
// controls whose ink overlaps. Pairs that overlap by design are passed in as
// "nameA|nameB" (views standing over the tab strip, the progress bar over the
// status bar).
inline QStringList LayoutProblems(const QList<QWidget*>& containers,
                                  const QStringList& allowedOverlaps) {
    QStringList problems;
    for (QWidget* container : containers) {
        if (!container->isVisible())
            continue;
        QList<QWidget*> children;
        for (QObject* o : container->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w && w->isVisible() && !w->isWindow() && !w->objectName().isEmpty() &&
                !w->objectName().startsWith(QLatin1String("qt_")))
                children << w;
        }
        QRect inside = container->rect();
        QRect title;
        if (auto* box = qobject_cast<QGroupBox*>(container)) {
            inside.adjust(1, 1, -1, -1);
            QStyleOptionGroupBox option;
            option.initFrom(box);
            option.text = box->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            title = box->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                 QStyle::SC_GroupBoxLabel, box);
        }
        for (QWidget* w : children) {
            const QString name = detail::Name(w);
            if (const QString why = detail::CaptionProblem(w); !why.isEmpty())
                problems << name + QStringLiteral(": ") + why;
            if (!inside.contains(w->geometry()))
                problems << name + QStringLiteral(" reaches out of ") + detail::Name(container);
            if (title.isValid() && title.intersects(detail::InkRect(w)))
                problems << name + QStringLiteral(" covers the title of ") +
                                detail::Name(container);
        }
        for (int i = 0; i < children.size(); ++i)
            for (int j = i + 1; j < children.size(); ++j) {
                const QString a = detail::Name(children[i]);
                const QString b = detail::Name(children[j]);
                if (allowedOverlaps.contains(a + u'|' + b) ||
                    allowedOverlaps.contains(b + u'|' + a))
                    continue;
                if (detail::InkRect(children[i]).intersects(detail::InkRect(children[j])))
                    problems << a + QStringLiteral(" overlaps ") + b;
            }
    }
    return problems;
}

} // namespace corvantis::testing
