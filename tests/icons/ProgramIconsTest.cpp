#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>

#include "ProgramIcons.h"

namespace {

// A window manager asks for the size it draws; each one must come from its own rendering, at
// exactly that size and with a transparent corner (a square drawn behind the rounded tile shows
// as a box on dark panels) around an opaque middle.
TEST(ProgramIcons, EveryRenderedSizeIsExactAndRoundCornered) {
    for (const QString& name : {QStringLiteral("calvenor"), QStringLiteral("pellwick")}) {
        const QIcon icon = calvenor::ProgramIcon(name);
        ASSERT_FALSE(icon.isNull()) << name.toStdString();
        for (int size : {16, 32, 48, 64, 128, 256}) {
            SCOPED_TRACE(name.toStdString() + " " + std::to_string(size));
            EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
            const QImage image(QStringLiteral(":/icons/%1/%2.png").arg(size).arg(name));
            ASSERT_EQ(image.size(), QSize(size, size));
            EXPECT_TRUE(image.hasAlphaChannel());
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
            EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255);
            // The icon hands out that rendering itself, not another size scaled.
            EXPECT_EQ(icon.pixmap(QSize(size, size))
                          .toImage()
                          .convertToFormat(QImage::Format_ARGB32_Premultiplied),
                      image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        }
    }
    EXPECT_TRUE(calvenor::ProgramIcon(QStringLiteral("nosuchprogram")).isNull());
}

TEST(ProgramIcons, TheTwoProgramsAreToldApartAtTheSmallestSize) {
    const QImage filer = calvenor::FilerIcon().pixmap(16, 16).toImage();
    const QImage approvals = calvenor::ApprovalsIcon().pixmap(16, 16).toImage();
    ASSERT_FALSE(filer.isNull());
    ASSERT_FALSE(approvals.isNull());
    // The tiles differ in colour, so their centre-left pixels (the tile's edge) differ clearly.
    EXPECT_GT(std::abs(filer.pixelColor(1, 8).hue() - approvals.pixelColor(1, 8).hue()), 40);
}

}  // namespace
