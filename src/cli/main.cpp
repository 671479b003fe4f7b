#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::fprintf(stderr, "usage: zadari-cli search|apply|upgrade|adapters [options]\n");
    return 2;
}
