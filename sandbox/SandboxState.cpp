#include <cstdio>
#include <filesystem>

#include "AtomicFile.h"
#include "SandboxImpl.h"

namespace calvenor::sandbox {

SandboxServer::Impl::Impl(SandboxOptions o) : options(std::move(o)) {
    if (!options.clock)
        options.clock = [] { return std::chrono::system_clock::now(); };
    std::random_device device;
    random.seed((static_cast<std::uint64_t>(device()) << 32) ^ device());
    if (options.seedDemoData && options.stateFile.empty())
        model.SeedDemo(Today());
}

long long SandboxServer::Impl::NowSeconds() const {
    return std::chrono::duration_cast<std::chrono::seconds>(Now().time_since_epoch()).count();
}

CivilDate SandboxServer::Impl::Today() const {
    if (options.today)
        return *options.today;
    return CivilDate::FromSysDays(std::chrono::floor<std::chrono::days>(Now()));
}

std::string SandboxServer::Impl::RandomHex(std::size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    while (out.size() < length)
        out += digits[random() & 15];
    return out;
}

std::string SandboxServer::Impl::RandomDigits(std::size_t length) {
    std::string out;
    while (out.size() < length)
        out += static_cast<char>('0' + random() % 10);
    return out;
}

std::string SandboxServer::Impl::RandomUuid() {
    std::string hex = RandomHex(32);
    hex[12] = '4';
    hex[16] = "89ab"[random() & 3];
    return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
           hex.substr(16, 4) + "-" + hex.substr(20);
}

std::string SandboxServer::Impl::RandomBase64(std::size_t bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes / 3 * 4; ++i)
        out += alphabet[random() & 63];
    return out;
}

std::string SandboxServer::Impl::RandomAlphanumeric(std::size_t length) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string out;
    while (out.size() < length)
        out += alphabet[random() % 62];
    return out;
}

bool SandboxServer::Impl::SaveLocked() {
    // Never write over a state file that was not loaded (or created) first.
    if (options.stateFile.empty() || !stateReady)
        return true;
    std::string error;
    if (WriteFileAtomically(options.stateFile, model.ToJson(), 0600, &error))
        return true;
    std::fprintf(stderr, "calvenor-sandbox: could not save the state file %s: %s\n",
                 options.stateFile.c_str(), error.c_str());
    return false;
}

bool SandboxServer::Impl::LoadOrCreateState() {
    std::lock_guard lock(mutex);
    std::error_code ec;
    const auto& path = options.stateFile;
    if (std::filesystem::exists(path, ec)) {
        std::string bytes, error;
        if (!ReadWholeFile(path, bytes, &error, 64u * 1024u * 1024u)) {
            lastError = "The state file " + path.string() + " cannot be read: " + error;
            return false;
        }
        SandboxModel loaded;
        if (!SandboxModel::FromJson(bytes, loaded, error)) {
            lastError = "The state file " + path.string() + " cannot be used: " + error +
                        ". It has been left unchanged; move it away or name another file.";
            return false;
        }
        model = std::move(loaded);
        stateReady = true;
        return true;
    }
    model = {};
    if (options.seedDemoData)
        model.SeedDemo(Today());
    std::string error;
    if (!WriteFileAtomically(path, model.ToJson(), 0600, &error)) {
        lastError = "The state file " + path.string() + " cannot be written: " + error;
        return false;
    }
    stateReady = true;
    return true;
}

}  // namespace calvenor::sandbox
