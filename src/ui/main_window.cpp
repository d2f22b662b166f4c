#include "ui/main_window.h"

#include <QLabel>

namespace corvantis::ui {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Corvantis"));
    auto* label = new QLabel(tr("Corvantis is starting up."), this);
    label->setAlignment(Qt::AlignCenter);
    setCentralWidget(label);
    resize(1000, 700);
}

} // namespace corvantis::ui
