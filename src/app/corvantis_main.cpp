#include "alert/alert_senders.h"
#include "alert/secret_store.h"
#include "fetch/host_route.h"
#include "ui/common/sound_player.h"
#include "ui/common/standard_dialogs.h"
#include "ui/main/main_window.h"
#include "ui/windows/splash_window.h"
#include "util/settings_store.h"
#include "version_record.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

bool HasDisplay() {
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

// What the program's window is made with on the desktop: message boxes and file
// dialogs over the window, sound cues, partner hosts reached on their own ports,
// the keyring, and the desktop's notification service asked whether it is there.
// Made before the window, with the session, and kept until the program ends.
class DesktopSeams {
public:
    corvantis::ui::MainWindow::Seams seams() {
        corvantis::ui::MainWindow::Seams s{&m_messages, &m_dialogs, &m_sound, &m_router,
                                           &m_secrets};
        s.desktopNotifies = &corvantis::alert::DesktopNotificationsAvailable;
        return s;
    }
    // Message boxes and dialogs stand over this window.
    void setParentWindow(QWidget* window) {
        m_messages.setParentWindow(window);
        m_dialogs.setParentWindow(window);
    }

private:
    corvantis::ui::MessageBoxes m_messages;
    corvantis::ui::FileDialogBoxes m_dialogs;
    corvantis::ui::SoundEffectPlayer m_sound;
    corvantis::scan::HostRouter m_router;
    corvantis::alert::KeyringSecrets m_secrets;
};

// --version and --help print and end, with no window: they need no display.
bool OnlyPrints(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        for (const char* asks : {"-v", "--version", "-h", "--help", "--help-all"})
            if (std::strcmp(argv[i], asks) == 0)
                return true;
    return false;
}
} // namespace

int main(int argc, char* argv[]) {
    if (!HasDisplay() && OnlyPrints(argc, argv))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
    QApplication::setApplicationVersion(QStringLiteral(CORVANTIS_VERSION_TEXT));
    QApplication::setDesktopFileName(QStringLiteral(CORVANTIS_APP_ID)); // its menu entry
    QCommandLineParser options; // Qt's own (-style, ...) QApplication has taken
    options.setApplicationDescription(QStringLiteral(CORVANTIS_SUMMARY));
    options.addHelpOption();
    options.addVersionOption();
    options.process(app);

    // The session and the seams outlive every window that holds on to them.
    corvantis::scan::ScanSession session;
    DesktopSeams seams;
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
