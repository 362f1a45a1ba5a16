#include "CsvParser.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

// A carriage return directly followed by a line feed counts as one line feed, as when the file
// is read as text on the platform the format comes from.
std::string JoinCrLf(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        text += bytes[i];
    }
    return text;
}

bool IsSeparatorCandidate(char c) {
    return c == ',' || c == '\t' || c == ' ' || c == '|' || c == '\n';
}

}  // namespace

CCsvParser::CCsvParser(std::string fileName) : m_fileName(std::move(fileName)) {}

CCsvParser::~CCsvParser() = default;

const std::string& CCsvParser::FormatMessage() {
    static const std::string message =
        "CSV files must contain either one line of 9 values separated by a comma, space or tab; "
        "or 9 lines, each with a single value.\r\r"
        "Values containing a thousand separator (,) must be enclosed in quotes (\").\n\n"
        "Your CSV file must not contain headers.";
    return message;
}

bool CCsvParser::Parse() {
    std::error_code error;
    if (m_fileName.empty() || !std::filesystem::exists(m_fileName, error)) {
        m_error = "Unable to find file " + m_fileName;
        return false;
    }
    if (!ReadFile())
        return false;
    return DetermineFormat();
}

const std::string& CCsvParser::GetError() {
    return m_error;
}

bool CCsvParser::ReadFile() {
    m_content.clear();
    const std::string openError = "Unable to open file " + m_fileName;
    std::error_code error;
    // Only a regular file: a folder cannot be read, and a pipe or device could block or never end.
    if (!std::filesystem::is_regular_file(m_fileName, error)) {
        m_error = openError;
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(m_fileName, error);
    if (!error && size > kMaxFileBytes) {
        m_error = "Unable to import file " + m_fileName + "\n\nIt is " + std::to_string(size) +
                  " bytes long; a VAT figure file must not be larger than 1 MiB (" +
                  std::to_string(kMaxFileBytes) + " bytes).";
        return false;
    }
    std::ifstream file(m_fileName, std::ios::binary);
    if (!file) {
        m_error = openError;
        return false;
    }
    // Read at most one byte past the limit, in case the file grew since its size was taken.
    std::string bytes(static_cast<std::size_t>(kMaxFileBytes) + 1, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) {
        m_error = openError;
        return false;
    }
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    if (bytes.size() > kMaxFileBytes) {
        m_error = "Unable to import file " + m_fileName +
                  "\n\nIt is larger than 1 MiB; a VAT figure file must not be larger than 1 MiB (" +
                  std::to_string(kMaxFileBytes) + " bytes).";
        return false;
    }
    m_content = JoinCrLf(bytes);
    return true;
}

bool CCsvParser::ParseContent(const std::string& content) {
    m_content = JoinCrLf(content);
    return DetermineFormat();
}

bool CCsvParser::StripQuotes() {
    std::string stripped;
    stripped.reserve(m_content.size());
    bool inQuotes = false;
    for (const char c : m_content) {
        if (c == '"') {
            // The opening quote is dropped; the closing one stays and is dropped by the split
            // like any other character that is not part of a number.
            if (inQuotes)
                stripped += c;
            inQuotes = !inQuotes;
            continue;
        }
        if (inQuotes && (c == ',' || c == ' '))
            continue;
        stripped += c;
    }
    if (inQuotes)
        return false;
    m_content = std::move(stripped);
    return true;
}

bool CCsvParser::DetermineFormat() {
    if (StripQuotes()) {
        std::size_t count = 0;
        char separator = '\0';
        for (std::size_t i = 1; i < m_content.size(); ++i) {
            if (!IsSeparatorCandidate(m_content[i]))
                continue;
            if (count == 0)
                separator = m_content[i];
            ++count;
        }
        if (count >= 8)
            return SplitValues(separator);
    }
    SetFormatError();
    return false;
}

bool CCsvParser::SplitValues(char separator) {
    std::string value;
    for (std::size_t i = 0; i < m_content.size(); ++i) {
        char c = m_content[i];
        if (c == '(') {
            m_content[i] = '-';
            c = '-';
        }
        if (c != separator && ((c >= '0' && c <= '9') || c == '-' || c == '.'))
            value += c;
        if (c == separator || c == '\n' || c == '\r' || i + 1 == m_content.size()) {
            m_values.push_back(std::move(value));
            value.clear();
        }
    }
    if (m_values.size() == 9)
        return true;
    SetFormatError();
    return false;
}

void CCsvParser::SetFormatError() {
    m_error = "Unable to determine file format\n\n" + FormatMessage();
}
