#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include "TestSupport.h"

namespace {

using calvenor::test::TempFolder;

// Prints both pages under `scale` and returns them rasterised (greyscale, 50 dpi, every page).
std::vector<QByteArray> PrintedPagesAt(const TempFolder& folder, const QString& scale) {
    const QString results = QString::fromStdString(
        (folder.Path() / ("results-" + scale.toStdString() + ".pdf")).string());
    const QString signOff = QString::fromStdString(
        (folder.Path() / ("signoff-" + scale.toStdString() + ".pdf")).string());
    QProcess helper;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
    helper.setProcessEnvironment(env);
    helper.start(QStringLiteral(PRINT_PAGE_HELPER), {results, signOff});
    EXPECT_TRUE(helper.waitForFinished(60000));
    EXPECT_EQ(helper.exitCode(), 0) << helper.readAllStandardError().toStdString();

    std::vector<QByteArray> pages;
    for (const QString& pdf : {results, signOff}) {
        QProcess raster;
        raster.start(QStringLiteral(PDFTOPPM),
                     {QStringLiteral("-r"), QStringLiteral("50"), QStringLiteral("-gray"), pdf});
        EXPECT_TRUE(raster.waitForFinished(60000));
        pages.push_back(raster.readAllStandardOutput());
        EXPECT_FALSE(pages.back().isEmpty()) << pdf.toStdString();
    }
    return pages;
}

// Qt's scale factor enlarges windows; paper has its own resolution. A page laid out from the
// screen's pixels would come out shrunk or cut off at scale 2.
TEST(PrintScaleTest, PrintedPagesAreTheSameAtScaleOneAndTwo) {
    if (QString(QStringLiteral(PDFTOPPM)).isEmpty() ||
        QString(QStringLiteral(PDFTOPPM)).endsWith(QStringLiteral("NOTFOUND"))) {
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    }
    TempFolder folder;
    const auto atOne = PrintedPagesAt(folder, QStringLiteral("1"));
    const auto atTwo = PrintedPagesAt(folder, QStringLiteral("2"));
    ASSERT_EQ(atOne.size(), atTwo.size());
    for (std::size_t i = 0; i < atOne.size(); ++i) {
        EXPECT_TRUE(atOne[i] == atTwo[i]) << "page set " << i << " differs at scale 2";
    }
}

}  // namespace
