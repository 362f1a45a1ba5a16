#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace calvenor {

// Replaces `target` with exactly `bytes`: written to a temporary file beside it, flushed to
// disk, then renamed over it. On any failure the target keeps its old content and no temporary
// file is left behind. `mode` (for example 0600) is applied to the new file before the rename.
// Returns false with the reason in `error`.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                         std::optional<mode_t> mode = std::nullopt, std::string* error = nullptr);

// Called just before the rename that publishes a new file; returning false abandons the write
// as if the rename had failed. Lets crash-safety tests interrupt a write at its last step.
using BeforeRenameHook = std::function<bool(const std::filesystem::path& target)>;
void SetBeforeRenameHookForTesting(BeforeRenameHook hook);

// Reads a whole file; false when it cannot be opened or read, or is larger than `maxBytes`.
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::string* error = nullptr,
                   std::uintmax_t maxBytes = 64u * 1024u * 1024u);

}  // namespace calvenor
