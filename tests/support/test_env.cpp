#include "support/test_env.h"

#include <QDir>

namespace corvantis::testing {

TestEnvironment::TestEnvironment() {
    const QString config = m_dir.path() + QStringLiteral("/config");
    const QString home = m_dir.path() + QStringLiteral("/app");
    QDir().mkpath(config);
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    qputenv("CORVANTIS_HOME", home.toLocal8Bit());
}

} // namespace corvantis::testing
