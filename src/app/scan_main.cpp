#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    std::fprintf(stderr, "corvantis-scan: no scan engine yet\n");
    return 2;
}
