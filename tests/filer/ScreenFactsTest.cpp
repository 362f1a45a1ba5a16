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
    // In device pixels, as HMRC asks, whatever scaling Qt applies.
    const qreal ratio = screen->devicePixelRatio();
    const ScreenFacts facts = GetScreenFacts();
    EXPECT_EQ(facts.width, qRound(screen->size().width() * ratio));
    EXPECT_EQ(facts.height, qRound(screen->size().height() * ratio));
    EXPECT_GT(facts.width, 0);
    EXPECT_EQ(facts.logicalDpi, qRound(screen->logicalDotsPerInch() * ratio));
    EXPECT_EQ(facts.colourDepth, screen->depth());
}

}  // namespace
