#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace corvantis::render {

// The page renderer's environment, built from nothing: what the browser engine
// needs and no more, since the partners' scripts run in its processes. From
// `from` it takes PATH, LANG, LC_*, HOME, XDG_RUNTIME_DIR and the XDG_*_HOME
// folders (the caller replaces those for a user of its own), and
// QTWEBENGINE_CHROMIUM_FLAGS unless they would weaken the sandbox; it adds
// QT_QPA_PLATFORM=offscreen. Never a CORVANTIS_ variable, never
// QTWEBENGINE_DISABLE_SANDBOX.
QProcessEnvironment RendererEnvironment(const QProcessEnvironment& from);

// Whether Chromium flags turn off or loosen the sandbox, or run pages inside
// the browser's own process.
bool WeakensSandbox(const QString& chromiumFlags);

} // namespace corvantis::render
