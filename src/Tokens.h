#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// The token file, TokDir/tokens.tok in the data folder: "access|refresh|expires", no line end.
// A short-lived object: made for one load, save or deletion. The first one on a machine creates
// the folder (owner-only) and a file holding two empty tokens and 0.
class CTokens {
public:
    // Throws std::runtime_error("Failed to create token dir") when the folder cannot be formed.
    CTokens();
    virtual ~CTokens();

    bool Load();
    // False when the file cannot be written, or a token holds "|", CR or LF (it could not be
    // read back as written), with the reason in `error`. The old file then stays as it was.
    bool Save(std::string* error = nullptr);
    // True when a file was deleted.
    bool DeleteFile();

    void SetAccessToken(const std::string& token) { m_accessToken = token; }
    void SetRefreshToken(const std::string& token) { m_refreshToken = token; }
    void SetExpiresIn(std::int32_t seconds) { m_expiresIn = seconds; }
    const std::string& GetAccessToken() const { return m_accessToken; }
    const std::string& GetRefreshToken() const { return m_refreshToken; }
    std::int32_t GetExpiresIn() const { return m_expiresIn; }
    // The folder, ending in a separator, and the file in it.
    const std::string& GetFolderPath() const { return m_folderPath; }
    std::string GetFilePath() const { return m_folderPath + "tokens.tok"; }
    // The token file of this user, also when no CTokens can be made; empty without a data folder.
    static std::string FilePath();

private:
    std::string m_accessToken;
    std::string m_refreshToken;
    std::int32_t m_expiresIn = 0;
    std::string m_folderPath;
};

// Creates every missing folder level of `path` that ends at a "/" (owner-only); a last component
// without a trailing "/" is not created. Failures are left to the caller's next step to notice.
bool CreateDirectoryPath(const std::string& path);
