#include <gtest/gtest.h>

#include <QCoreApplication>

// The Qt port, timer and pump, and the child processes, need an application object.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
