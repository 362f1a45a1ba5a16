#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "TestHome.h"

// Window tests run on the offscreen platform unless told otherwise, also when CTest lists them.
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    UseTestHome();
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
