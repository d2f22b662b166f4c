#include "render/render_environment.h"

#include <QStringList>

namespace corvantis::render {

QProcessEnvironment RendererEnvironment(const QProcessEnvironment& from) {
    static const QStringList kTaken{
        QStringLiteral("PATH"),           QStringLiteral("LANG"),
        QStringLiteral("HOME"),           QStringLiteral("XDG_RUNTIME_DIR"),
        QStringLiteral("XDG_CACHE_HOME"), QStringLiteral("XDG_CONFIG_HOME"),
        QStringLiteral("XDG_DATA_HOME")};
    QProcessEnvironment env;
    const QStringList keys = from.keys();
    for (const QString& key : keys)
        if (kTaken.contains(key) || key.startsWith(QLatin1String("LC_")))
            env.insert(key, from.value(key));
    if (!env.contains(QStringLiteral("PATH")))
        env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    const QString flags = from.value(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"));
    if (!flags.isEmpty() && !WeakensSandbox(flags))
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), flags);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

bool WeakensSandbox(const QString& chromiumFlags) {
    // --no-sandbox, --disable-seccomp-filter-sandbox, --disable-namespace-sandbox,
    // --no-zygote-sandbox and the like all name it; --single-process runs the
    // pages in the browser's process, --renderer-cmd-prefix wraps them in anything.
    return chromiumFlags.contains(QLatin1String("sandbox"), Qt::CaseInsensitive) ||
           chromiumFlags.contains(QLatin1String("single-process"), Qt::CaseInsensitive) ||
           chromiumFlags.contains(QLatin1String("cmd-prefix"), Qt::CaseInsensitive);
}

} // namespace corvantis::render
