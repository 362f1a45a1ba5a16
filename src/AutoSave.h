#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "LocalTime.h"
#include "ReturnFigures.h"

// The filer's own record of every submission result: one new text file per result in
// <data folder>/AutoSave/, named after the local time of saving. The filer never reads them back.
class CAutoSave {
public:
    using LocalTime = ::LocalTime;
    using Clock = std::function<LocalTime()>;

    // Forms the folder and creates it (owner-only) when missing; a folder that cannot be made
    // shows later as a failed save. Throws std::runtime_error("Failed to create autosave dir")
    // when no data folder can be found at all. An empty clock reads the real local time.
    explicit CAutoSave(Clock clock = {});
    virtual ~CAutoSave();

    void SetPeriodText(std::string periodText) { m_periodText = std::move(periodText); }
    void SetCompanyText(std::string companyText) { m_companyText = std::move(companyText); }
    void SetFigures(const ReturnFigures& figures) { m_figures = figures; }

    // Writes the record, with `receiptText` exactly as the results window shows it. Never
    // replaces an earlier record: a second save in the same millisecond gets a suffix. False
    // (and logged) when nothing was written.
    bool Save(const std::string& receiptText);

    // The record's bytes, as Save writes them.
    std::string BuildText(const std::string& receiptText) const;

    // "20260307_090503.042"; empty when the time does not fit that form.
    static std::string FormatFileStem(const LocalTime& time);

    const std::filesystem::path& GetFolder() const { return m_folder; }
    // The file the last successful Save wrote.
    const std::filesystem::path& GetLastPath() const { return m_lastPath; }

private:
    Clock m_clock;
    std::string m_periodText;
    std::string m_companyText;
    ReturnFigures m_figures;
    std::filesystem::path m_folder;
    std::filesystem::path m_lastPath;
};
