#include "cli/console.h"

#include <cstdio>

namespace corvantis::cli {

void PrintError(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

int Refuse(const QString& why) {
    std::fprintf(stderr, "corvantis-scan: %s\n", why.toLocal8Bit().constData());
    return kExitBadInput;
}

void PrintLine(const QStringList& fields) {
    std::fputs(fields.join(QLatin1Char('\t')).toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
}

} // namespace corvantis::cli
