#pragma once

#include <filesystem>
#include <string>

#include <QProcess>
#include <QStringList>

namespace calvenor::test {

// The text of a PDF file as poppler's pdftotext reads it (layout kept); empty when it cannot.
inline std::string PdfText(const std::filesystem::path& pdf) {
    QProcess tool;
    tool.start(
        QStringLiteral("pdftotext"),
        {QStringLiteral("-layout"), QString::fromStdString(pdf.string()), QStringLiteral("-")});
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
        return {};
    return tool.readAllStandardOutput().toStdString();
}

}  // namespace calvenor::test
