#include "ui/windows/splash_window.h"

#include "ui/common/branding.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>

namespace corvantis::ui {

namespace {
const QSize kPictureSize(480, 300);
}

SplashWindow::SplashWindow(OpenMainWindow openMainWindow, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint),
      m_openMainWindow(std::move(openMainWindow)), m_picture(new QLabel(this)) {
    setObjectName(QStringLiteral("frmSplash"));
    FillBranding();
    const Branding& brand = BrandingRecord();
    setWindowTitle(brand.productName);
    setAccessibleName(brand.productName);
    setWindowIcon(QIcon(QStringLiteral(":/images/corvantis.png")));

    m_picture->setObjectName(QStringLiteral("Image1"));
    m_picture->setAccessibleName(brand.productName);
    const QPixmap picture(QStringLiteral(":/images/splash.png"));
    m_picture->setPixmap(picture);
    const QSize size = picture.isNull() ? kPictureSize : picture.size();
    m_picture->setGeometry(QRect(QPoint(0, 0), size));
    setFixedSize(size);

    m_timer.setObjectName(QStringLiteral("Timer2"));
    m_timer.setInterval(kTimerIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &SplashWindow::tick);
    m_timer.start();
}

void SplashWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void SplashWindow::tick() {
    m_count = qint16(m_count + 2);
    if (m_count != kStartUpCount)
        return;
    m_timer.stop();
    if (m_openMainWindow)
        m_openMainWindow(this);
    hide();
}

} // namespace corvantis::ui
