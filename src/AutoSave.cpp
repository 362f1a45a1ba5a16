#include "AutoSave.h"

#include <cstdio>
#include <stdexcept>

#include "AtomicFile.h"
#include "Folders.h"
#include "Log.h"

CAutoSave::CAutoSave(Clock clock) : m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = LocalTimeNow;
    const std::filesystem::path data = calvenor::DataFolder();
    if (data.empty())
        throw std::runtime_error("Failed to create autosave dir");
    m_folder = data / "AutoSave";
    // A failure here is not fatal: the save that follows fails and is logged.
    calvenor::CreatePrivateFolder(m_folder);
}

CAutoSave::~CAutoSave() = default;

std::string CAutoSave::FormatFileStem(const LocalTime& time) {
    char stem[20];
    const int length =
        std::snprintf(stem, sizeof stem, "%04u%02u%02u_%02u%02u%02u.%03u", time.year, time.month,
                      time.day, time.hour, time.minute, time.second, time.millisecond);
    if (length < 0 || length >= static_cast<int>(sizeof stem))
        return {};
    return stem;
}

std::string CAutoSave::BuildText(const std::string& receiptText) const {
    std::string text;
    if (!m_periodText.empty())
        text += "Results for Period: " + m_periodText + "\n";
    if (!m_companyText.empty())
        text += "VAT Number: " + m_companyText + "\n\n";
    text += receiptText;
    text += "\n";
    const BoxTexts boxes = GetBoxTexts(m_figures);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        text += "\nBox" + std::to_string(i + 1) + " = " + boxes[i];
    }
    return text;
}

bool CAutoSave::Save(const std::string& receiptText) {
    const std::string stem = FormatFileStem(m_clock());
    if (stem.empty()) {
        LOG_ENTRY("Empty autosave file anme");
        return false;
    }
    // Each record is the only copy of a filing's result: never write over an earlier one.
    std::filesystem::path path = m_folder / (stem + ".txt");
    std::error_code error;
    for (int suffix = 2; std::filesystem::exists(path, error) || error; ++suffix) {
        if (error || suffix > 1000) {
            LOG_ENTRY("Failed to open autosave file");
            return false;
        }
        path = m_folder / (stem + "-" + std::to_string(suffix) + ".txt");
    }
    if (!calvenor::WriteFileAtomically(path, BuildText(receiptText), 0600)) {
        LOG_ENTRY("Failed to open autosave file");
        return false;
    }
    m_lastPath = path;
    return true;
}
