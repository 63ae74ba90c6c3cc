#include <gtest/gtest.h>

#include <QCoreApplication>

// The Qt port, timer and pump need an application object and its event loop.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
