#pragma once

#include <filesystem>
#include <string>

// Where the suite keeps its files. Every folder honours its environment variable first, so
// tests and the demo never touch the user's real files.
namespace calvenor {

// $CALVENOR_DATA_DIR, else the per-user data folder (~/.local/share/Calvenor). Holds the token
// file and the automatic copies, so it is per user and owner-only.
std::filesystem::path DataFolder();

// $XDG_CONFIG_HOME, else ~/.config: the folder that holds Calvenor/profile.json.
std::filesystem::path ConfigFolder();

// $XDG_RUNTIME_DIR when set, else Qt's per-user runtime folder: where the log lives. Empty when
// no private folder can be had.
std::filesystem::path PrivateTempFolder();

// Creates every missing level of `folder`, each new level owner-only (0700). Existing levels
// keep their modes. Returns false, with the reason in `error`, when the folder cannot be made.
bool CreatePrivateFolder(const std::filesystem::path& folder, std::string* error = nullptr);

}  // namespace calvenor
