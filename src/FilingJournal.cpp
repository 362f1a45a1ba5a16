#include "FilingJournal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <cstdio>

#include "AtomicFile.h"
#include "Folders.h"
#include "LocalTime.h"

namespace fs = std::filesystem;

namespace {

constexpr std::array<const char*, 5> kStateNames = {"sending", "filed", "refused", "unknown",
                                                    "not-filed"};
// The entry's text fields, in the order of JournalEntry.
constexpr std::array<const char*, 9> kTextFields = {"vrn",         "company",        "periodKey",
                                                    "periodStart", "periodEnd",      "written",
                                                    "receiptId",   "processingDate", "state"};

std::array<std::string*, 8> TextsOf(JournalEntry& e) {
    return {&e.vrn,       &e.company, &e.periodKey, &e.periodStart,
            &e.periodEnd, &e.written, &e.receiptId, &e.processingDate};
}

std::string Stamp(const char* format) {
    const LocalTime t = LocalTimeNow();
    char text[32];
    std::snprintf(text, sizeof text, format, t.year, t.month, t.day, t.hour, t.minute, t.second);
    return text;
}

QJsonObject ToJson(JournalEntry e) {
    QJsonObject object;
    const auto texts = TextsOf(e);
    for (std::size_t i = 0; i < texts.size(); ++i)
        object.insert(kTextFields[i], QString::fromStdString(*texts[i]));
    object.insert("state", kStateNames[static_cast<std::size_t>(e.state)]);
    QJsonArray figures;
    for (const std::string& figure : e.figures)
        figures.append(QString::fromStdString(figure));
    object.insert("figures", figures);
    return object;
}

// False unless `value` is an entry with every field of the right kind and a known state.
bool FromJson(const QJsonValue& value, JournalEntry& e) {
    const QJsonObject object = value.toObject();
    if (!value.isObject() || object.size() != static_cast<qsizetype>(kTextFields.size() + 1))
        return false;
    for (const char* field : kTextFields)
        if (!object.value(field).isString())
            return false;
    const auto texts = TextsOf(e);
    for (std::size_t i = 0; i < texts.size(); ++i)
        *texts[i] = object.value(kTextFields[i]).toString().toStdString();
    const std::string state = object.value("state").toString().toStdString();
    const auto known = std::find(kStateNames.begin(), kStateNames.end(), state);
    const QJsonArray figures = object.value("figures").toArray();
    if (known == kStateNames.end() || figures.size() != 9)
        return false;
    e.state = static_cast<JournalState>(known - kStateNames.begin());
    for (qsizetype i = 0; i < figures.size(); ++i) {
        if (!figures[i].isString())
            return false;
        e.figures[static_cast<std::size_t>(i)] = figures[i].toString().toStdString();
    }
    return true;
}

bool Parse(const std::string& bytes, std::vector<JournalEntry>& entries, std::string& reason) {
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(bytes), &error);
    if (error.error != QJsonParseError::NoError) {
        reason = "it is not JSON: " + error.errorString().toStdString();
        return false;
    }
    const QJsonValue list = document.object().value("entries");
    if (!document.isObject() || document.object().size() != 1 || !list.isArray()) {
        reason = "it does not hold a list of entries";
        return false;
    }
    for (const QJsonValue& value : list.toArray()) {
        if (!FromJson(value, entries.emplace_back())) {
            reason = "entry " + std::to_string(entries.size()) + " is incomplete";
            return false;
        }
    }
    return true;
}

}  // namespace

fs::path CFilingJournal::DefaultPath() {
    return calvenor::DataFolder() / "Journal" / "journal.json";
}

CFilingJournal::CFilingJournal(fs::path file) : m_file(std::move(file)) {}

std::vector<JournalEntry> CFilingJournal::Read(std::string& problem) const {
    std::vector<JournalEntry> entries;
    std::error_code missing;
    if (!fs::exists(m_file, missing))
        return entries;
    std::string bytes, reason;
    if (calvenor::ReadWholeFile(m_file, bytes, &reason) && Parse(bytes, entries, reason))
        return entries;
    entries.clear();
    // Kept for whoever must work out what it held; a new journal starts in its place.
    const fs::path aside = m_file.string() + ".corrupt-" + Stamp("%04u%02u%02u-%02u%02u%02u");
    std::error_code moved;
    fs::rename(m_file, aside, moved);
    problem = "The filing journal " + m_file.string() + " could not be read (" + reason + "). " +
              (moved ? "It could not be moved aside (" + moved.message() + ")."
                     : "It has been kept as " + aside.string() + " and a new journal started.") +
              " Returns it listed are not checked with HMRC: use Get Obligations for those "
              "clients before filing again.";
    return entries;
}

bool CFilingJournal::Record(JournalEntry entry, std::string& error, std::string& problem) const {
    std::vector<JournalEntry> entries = Read(problem);
    std::error_code kept;
    if (fs::exists(m_file, kept) && !problem.empty()) {
        // An unreadable journal that could not be moved aside is never written over.
        error = m_file.string() + ": it could not be read or moved aside";
        return false;
    }
    entry.written = Stamp("%04u-%02u-%02uT%02u:%02u:%02u");
    const auto same = std::find_if(entries.begin(), entries.end(), [&](const JournalEntry& e) {
        return e.vrn == entry.vrn && e.periodKey == entry.periodKey;
    });
    if (same != entries.end())
        *same = entry;
    else
        entries.push_back(entry);
    QJsonArray list;
    for (const JournalEntry& e : entries)
        list.append(ToJson(e));
    const QByteArray bytes = QJsonDocument(QJsonObject{{"entries", list}}).toJson();
    std::string reason;
    if (!calvenor::CreatePrivateFolder(m_file.parent_path(), &reason) ||
        !calvenor::WriteFileAtomically(m_file, bytes.toStdString(), 0600, &reason)) {
        error = m_file.string() + " (" + reason + ")";
        return false;
    }
    return true;
}

std::optional<JournalEntry> CFilingJournal::Find(const std::string& vrn,
                                                 const std::string& periodKey,
                                                 std::string& problem) const {
    for (JournalEntry& e : Read(problem))
        if (e.vrn == vrn && e.periodKey == periodKey)
            return e;
    return std::nullopt;
}
