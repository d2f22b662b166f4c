#include "ui/windows/about_window.h"

#include "ui/common/branding.h"
#include "ui/common/twips.h"
#include "ui/common/widgets.h"

#include <QLabel>
#include <QPixmap>

namespace corvantis::ui {

namespace {
// The window and its rows, in twips: captions 180 from the left, values at
// 2,580, rows at 1,260, 1,680 and 2,100 from the top.
constexpr int kWidth = 6300;
constexpr int kHeight = 2700;
constexpr int kCaptionLeft = 180;
constexpr int kValueLeft = 2580;
constexpr int kRowTops[] = {1260, 1680, 2100};
constexpr int kRowHeight = 300;

QLabel* Label(QWidget* parent, const QString& name, const QString& text) {
    return Named(new QLabel(text, parent), name, text);
}
} // namespace

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    const Branding& b = BrandingRecord();
    setWindowTitle(QStringLiteral("About ") + b.productName);
    setModal(false);
    const double dpi = logicalDpiX();
    const auto px = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
    setFixedSize(px(kWidth), px(kHeight));

    auto* picture = Label(this, QStringLiteral("Picture1"), QString());
    picture->setAccessibleName(b.productName);
    picture->setPixmap(QPixmap(QStringLiteral(":/images/about.png")));
    picture->setGeometry(px(kWidth - 180) - 96, px(180), 96, 96);

    auto* name = Label(this, QStringLiteral("Label1"), b.productName);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    name->setFont(big);
    name->setGeometry(px(kCaptionLeft), px(300), px(kWidth - 360) - 96 - px(180), px(600));

    const QString version =
        QString::number(b.versionMajor) + QLatin1Char('.') + QString::number(b.versionMinor);
    const struct {
        const char* caption;
        const char* valueName;
        QString value;
    } rows[] = {{"Version:", "lblVersion", version},
                {"Owned By:", "lblCompany", b.companyName},
                {"Website:", "lblWebsite", b.websiteAddress}};
    for (int i = 0; i < 3; ++i) {
        auto* caption =
            Label(this, QStringLiteral("lblCaption_%1").arg(i), QLatin1String(rows[i].caption));
        caption->setGeometry(px(kCaptionLeft), px(kRowTops[i]), px(kValueLeft - kCaptionLeft),
                             px(kRowHeight));
        auto* value = Label(this, QLatin1String(rows[i].valueName), rows[i].value);
        value->setGeometry(px(kValueLeft), px(kRowTops[i]), px(kWidth - kValueLeft - 180),
                           px(kRowHeight));
        caption->setBuddy(value);
    }
    // The website is drawn in blue and acts as a link.
    auto* website = findChild<QLabel*>(QStringLiteral("lblWebsite"));
    website->setText(QStringLiteral("<a href=\"#\" style=\"color:#0000ff\">") +
                     b.websiteAddress.toHtmlEscaped() + QStringLiteral("</a>"));
    website->setCursor(Qt::PointingHandCursor);
    connect(website, &QLabel::linkActivated, this, [this] { Q_EMIT websiteRequested(); });
}

} // namespace corvantis::ui
