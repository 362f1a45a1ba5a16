#include <gtest/gtest.h>

#include <QProcess>
#include <QString>

#include "TestSupport.h"

namespace {

// The page the helper prints from `html` under `scale`, rasterised (greyscale, 50 dpi).
QByteArray PrintedAt(const char* html, int scale, const calvenor::test::TempFolder& folder) {
    const QString pdf = QString::fromStdString((folder / (html + std::to_string(scale))).string());
    QProcess helper;
    helper.setEnvironment(QProcess::systemEnvironment()
                          << "QT_QPA_PLATFORM=offscreen"
                          << QString("QT_SCALE_FACTOR=%1").arg(scale));
    helper.start(PRINT_PAGE_HELPER, {QString::fromStdString(calvenor::test::TestData(html)), pdf});
    EXPECT_TRUE(helper.waitForFinished(60000) && helper.exitCode() == 0)
        << helper.readAllStandardError().toStdString();
    QProcess raster;
    raster.start(PDFTOPPM, {"-r", "50", "-gray", pdf});
    EXPECT_TRUE(raster.waitForFinished(60000));
    return raster.readAllStandardOutput();
}

// Qt's scale factor enlarges windows; paper has its own resolution. A page laid out from the
// screen's pixels would come out shrunk or cut off at scale 2. Both printed pages (the filed
// return and the sign-off page, as their golden files hold them) must come out the same.
TEST(PrintScaleTest, PrintedPagesAreTheSameAtScaleOneAndTwo) {
    if (QString(PDFTOPPM).isEmpty() || QString(PDFTOPPM).endsWith("NOTFOUND"))
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    calvenor::test::TempFolder folder;
    for (const char* html : {"results_print_document.html", "sign_off_page.html"}) {
        const QByteArray atOne = PrintedAt(html, 1, folder);
        EXPECT_FALSE(atOne.isEmpty()) << html;
        EXPECT_TRUE(atOne == PrintedAt(html, 2, folder)) << html << " differs at scale 2";
    }
}

}  // namespace
