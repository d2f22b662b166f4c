#include "ui/main_window.h"

#include <QLabel>

namespace corvantis::ui {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Corvantis"));
    // Until the main window is built, say plainly where the scan can be run.
    auto* label = new QLabel(tr("This window is not built yet.\n\nCheck your link partners with the "
                                "command-line scanner:\ncorvantis-scan --help"),
                             this);
    label->setAlignment(Qt::AlignCenter);
    setCentralWidget(label);
    resize(1000, 700);
}

} // namespace corvantis::ui
