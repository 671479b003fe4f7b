// Tests of the Qt-based core run with a QCoreApplication so that timers, sockets and queued
// calls have an event loop to run on.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
