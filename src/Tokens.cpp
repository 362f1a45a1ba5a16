#include "Tokens.h"

#include <sys/stat.h>

#include <charconv>
#include <filesystem>
#include <system_error>

#include "AtomicFile.h"
#include "Folders.h"

namespace {

constexpr std::uintmax_t kMaxTokenFileBytes = 1024u * 1024u;

bool StorableToken(const std::string& token) {
    return token.find_first_of("|\r\n") == std::string::npos;
}

}  // namespace

bool CreateDirectoryPath(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string level = path.substr(0, slash);
        std::error_code error;
        if (!std::filesystem::exists(level, error)) {
            ::mkdir(level.c_str(), 0700);
        }
    }
    return true;
}

std::string CTokens::FilePath() {
    const std::filesystem::path data = calvenor::DataFolder();
    return data.empty() ? std::string() : (data / "TokDir" / "tokens.tok").string();
}

CTokens::CTokens() {
    const std::filesystem::path data = calvenor::DataFolder();
    if (data.empty())
        throw std::runtime_error("Failed to create token dir");
    m_folderPath = (data / "TokDir").string() + "/";

    std::error_code error;
    if (!std::filesystem::exists(m_folderPath, error)) {
        CreateDirectoryPath(m_folderPath);
        if (!std::filesystem::is_directory(m_folderPath, error))
            throw std::runtime_error("Failed to create token dir");
        m_accessToken.clear();
        m_refreshToken.clear();
        m_expiresIn = 0;
        Save();
    }
}

CTokens::~CTokens() = default;

bool CTokens::Save(std::string* error) {
    if (!StorableToken(m_accessToken) || !StorableToken(m_refreshToken)) {
        if (error)
            *error = "a token holds a character the file cannot keep";
        return false;
    }
    const std::string content =
        m_accessToken + "|" + m_refreshToken + "|" + std::to_string(m_expiresIn);
    return calvenor::WriteFileAtomically(GetFilePath(), content, 0600, error);
}

bool CTokens::Load() {
    std::string content;
    if (!calvenor::ReadWholeFile(GetFilePath(), content, nullptr, kMaxTokenFileBytes))
        return false;

    const auto first = content.find('|');
    m_accessToken = content.substr(0, first);
    if (first == std::string::npos)
        return true;
    const auto second = content.find('|', first + 1);
    m_refreshToken = content.substr(
        first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    if (second == std::string::npos)
        return true;

    std::size_t digits = second + 1;
    while (digits < content.size() && (content[digits] == ' ' || content[digits] == '\t' ||
                                       content[digits] == '\n' || content[digits] == '\r')) {
        ++digits;
    }
    if (digits < content.size() && content[digits] == '+')
        ++digits;
    std::int32_t expires = 0;
    const auto [end, error] =
        std::from_chars(content.data() + digits, content.data() + content.size(), expires);
    (void)end;
    m_expiresIn = error == std::errc() ? expires : 0;
    return true;
}

bool CTokens::DeleteFile() {
    std::error_code error;
    return std::filesystem::remove(GetFilePath(), error);
}
