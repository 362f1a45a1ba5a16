#include <gtest/gtest.h>

#include <QImage>

#include "ProgramIcons.h"

namespace {

// A window manager asks for the size it draws; each one must come from its own rendering, at
// exactly that size and with a transparent corner (a square drawn behind the rounded tile shows
// as a box on dark panels) around an opaque middle.
TEST(ProgramIcons, EveryRenderedSizeIsExactAndRoundCornered) {
    for (const QString name : {"calvenor", "pellwick"}) {
        const QIcon icon = calvenor::ProgramIcon(name);
        for (int size : {16, 32, 48, 64, 128, 256}) {
            SCOPED_TRACE(name.toStdString() + " " + std::to_string(size));
            const QImage image = QImage(QStringLiteral(":/icons/%1/%2.png").arg(size).arg(name))
                                     .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            ASSERT_EQ(image.size(), QSize(size, size));
            EXPECT_TRUE(qAlpha(image.pixel(0, 0)) == 0 &&
                        qAlpha(image.pixel(size / 2, size / 2)) == 255);
            // The icon hands out that rendering itself, not another size scaled.
            EXPECT_EQ(icon.pixmap(QSize(size, size)).toImage().convertToFormat(image.format()),
                      image);
        }
    }
}

}  // namespace
