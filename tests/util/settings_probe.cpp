// Reads one key of the settings store and prints its value as hex, so a test can
// check what a separate process sees.
#include "util/settings_store.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString value =
        corvantis::util::ReadSetting(QString::fromLocal8Bit(argv[1]), QStringLiteral("<default>"));
    std::printf("%s\n", value.toUtf8().toHex().constData());
    return 0;
}
