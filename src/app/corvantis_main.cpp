#include "ui/main/main_window.h"
#include "ui/windows/splash_window.h"
#include "util/settings_store.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
bool HasDisplay() {
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}
} // namespace

int main(int argc, char* argv[]) {
    if (!HasDisplay()) {
        std::fprintf(stderr,
                     "corvantis: no display found; start it in a desktop session, under "
                     "'xvfb-run -a', or scan without a window with corvantis-scan --help\n");
        return 1;
    }
    // The browser engine refuses to run as root with its sandbox on.
    if (::getuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvantis"));
    QApplication::setApplicationName(QStringLiteral("Corvantis"));

    // The session and the seams outlive every window that holds on to them.
    corvantis::scan::ScanSession session;
    corvantis::ui::DesktopSeams seams;
    // The splash opens the main window; the program ends when the last window
    // closes (the main window, or the website window it left open).
    corvantis::ui::SplashWindow splash([&](corvantis::ui::SplashWindow* s) {
        auto* window = new corvantis::ui::MainWindow(session, seams.seams());
        seams.setParentWindow(window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->adoptSplash(s);
        window->show();
    });
    splash.show();
    const int rc = app.exec();
    corvantis::util::SettingsStore::instance().sync();
    return rc;
}
