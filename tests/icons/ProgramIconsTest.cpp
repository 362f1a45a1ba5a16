#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <cstdlib>
#include <string>

#include "ProgramIcons.h"

namespace {

constexpr int kSizes[] = {16, 32, 48, 64, 128, 256};

// Parameter: the program's icon name, as a plain string so test names read cleanly.
class ProgramIconTest : public ::testing::TestWithParam<const char*> {
protected:
    QString Name() const { return QString::fromUtf8(GetParam()); }
};

// A window manager asks for the size it draws; each one must come from its own rendering, at
// exactly that size and with a transparent corner (a square drawn behind the rounded tile shows
// as a box on dark panels).
TEST_P(ProgramIconTest, EveryRenderedSizeIsExactAndRoundCornered) {
    const QIcon icon = calvenor::ProgramIcon(Name());
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> available = icon.availableSizes();
    for (int size : kSizes) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(available.contains(QSize(size, size)));
        const QImage image(QStringLiteral(":/icons/%1/%2.png").arg(size).arg(Name()));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(size, size));
        EXPECT_TRUE(image.hasAlphaChannel());
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        // The middle of the mark is opaque.
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255);
    }
}

TEST_P(ProgramIconTest, DrawingIsInTheResource) {
    QFile svg(QStringLiteral(":/icons/%1.svg").arg(Name()));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(svg.readAll().contains("<svg"));
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramIconTest, ::testing::Values("calvenor", "pellwick"),
                         [](const auto& info) { return std::string(info.param); });

TEST(ProgramIconsTest, TheTwoProgramsAreTellApartAtTheSmallestSize) {
    const QImage filer = calvenor::FilerIcon().pixmap(16, 16).toImage();
    const QImage approvals = calvenor::ApprovalsIcon().pixmap(16, 16).toImage();
    ASSERT_FALSE(filer.isNull());
    ASSERT_FALSE(approvals.isNull());
    // The tiles differ in colour, so their centre-left pixels (the tile's edge) differ clearly.
    const QColor a = filer.pixelColor(1, 8);
    const QColor b = approvals.pixelColor(1, 8);
    EXPECT_GT(std::abs(a.hue() - b.hue()), 40);
}

TEST(ProgramIconsTest, UnknownProgramGivesNoIcon) {
    EXPECT_TRUE(calvenor::ProgramIcon(QStringLiteral("nosuchprogram")).isNull());
}

}  // namespace
