// corvantis-cli-docs: writes corvantis-scan's manual page and bash completion
// from its option table, at build time.
#include "cli/cli_docs.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

using namespace corvantis;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString kind = args.value(1);
    QString text;
    if (kind == QLatin1String("man") && args.size() == 5)
        text = cli::ScanManPage(args[3], args[4]);
    else if (kind == QLatin1String("bash-completion") && args.size() == 3)
        text = cli::ScanBashCompletion();
    else {
        std::fputs("usage: corvantis-cli-docs man FILE VERSION DATE | bash-completion FILE\n",
                   stderr);
        return 2;
    }
    QFile out(args[2]);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(text.toUtf8()) < 0 || !out.flush()) {
        std::fprintf(stderr, "corvantis-cli-docs: %s: %s\n", qPrintable(args[2]),
                     qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
