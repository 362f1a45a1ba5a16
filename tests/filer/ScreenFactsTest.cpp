#include <gtest/gtest.h>
#include <QGuiApplication>
#include <QScreen>

#include "CalvenorApp.h"
#include "DeviceFacts.h"

namespace {

TEST(CalvenorApp, HandsThePrimaryScreenToTheHeaderBuilder) {
    SetScreenFacts(ScreenFacts{});
    CCalvenorApp::HandOverScreenFacts();
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const ScreenFacts facts = GetScreenFacts();
    EXPECT_EQ(facts.width, screen->size().width());
    EXPECT_EQ(facts.height, screen->size().height());
    EXPECT_GT(facts.width, 0);
    EXPECT_EQ(facts.logicalDpi, qRound(screen->logicalDotsPerInch()));
    EXPECT_EQ(facts.colourDepth, screen->depth());
}

}  // namespace
