#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "ModalTestHelper.h"
#include "TestHome.h"

// Modal steps a test armed and never used end with it.
struct DisarmModalSteps : ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override { ++calvenor::test::ModalGeneration(); }
};

// Window tests run on the offscreen platform unless told otherwise, also when CTest lists them.
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    UseTestHome();
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new DisarmModalSteps);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
