#include "AgentProfile.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "AtomicFile.h"
#include "Folders.h"
#include "ServiceUrl.h"
#include "Text.h"

namespace {

// A profile of ten thousand clients is well under a megabyte; anything near this is not one.
constexpr std::uintmax_t kMaxProfileBytes = 16u * 1024u * 1024u;

ProfileLoadResult Failure(const std::filesystem::path& path, const std::string& reason) {
    ProfileLoadResult result;
    result.path = path;
    result.error = "The agent profile " + path.string() + " cannot be used: " + reason;
    return result;
}

// Reads an optional-or-required string member; false with `reason` set when it has another type.
bool ReadString(const rapidjson::Value& object, const char* name, bool required, std::string& out,
                std::string& reason) {
    const auto member = object.FindMember(name);
    if (member == object.MemberEnd()) {
        if (required)
            reason = std::string("the member \"") + name + "\" is missing.";
        return !required;
    }
    if (!member->value.IsString()) {
        reason = std::string("the member \"") + name + "\" must be a text.";
        return false;
    }
    out.assign(member->value.GetString(), member->value.GetStringLength());
    return true;
}

// An optional text member of a client entry, viewed in place in the parsed document.
bool ReadText(const rapidjson::Value& object, const char* name, std::string_view& out,
              std::string& reason) {
    const auto member = object.FindMember(name);
    if (member == object.MemberEnd())
        return true;
    if (!member->value.IsString()) {
        reason = std::string("the member \"") + name + "\" must be a text.";
        return false;
    }
    out = std::string_view(member->value.GetString(), member->value.GetStringLength());
    return true;
}

// A client entry that passed the checks, still pointing into the parsed document.
struct Candidate {
    std::string_view name;
    std::string_view vrn;
};

}  // namespace

std::string AgentProfile::CompanyListText(const ClientRecord& client) {
    return client.vrn + " : " + client.companyName;
}

std::filesystem::path AgentProfilePath() {
    if (const char* env = std::getenv("CALVENOR_PROFILE"); env != nullptr && *env != '\0') {
        return std::filesystem::path(env);
    }
    return calvenor::ConfigFolder() / "Calvenor" / "profile.json";
}

ProfileLoadResult LoadAgentProfile() {
    return LoadAgentProfile(AgentProfilePath());
}

ProfileLoadResult LoadAgentProfile(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return Failure(path, "the file does not exist.");
    }
    std::string text;
    std::string error;
    if (!calvenor::ReadWholeFile(path, text, &error, kMaxProfileBytes)) {
        return Failure(path, "it cannot be read (" + error + ").");
    }
    return ParseAgentProfile(text, path);
}

ProfileLoadResult ParseAgentProfile(const std::string& text, const std::filesystem::path& path) {
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseIterativeFlag>(text.c_str(), text.size());
    if (doc.HasParseError()) {
        return Failure(path, "it is not valid JSON (at offset " +
                                 std::to_string(doc.GetErrorOffset()) + ": " +
                                 rapidjson::GetParseError_En(doc.GetParseError()) + ").");
    }
    if (!doc.IsObject()) {
        return Failure(path, "it must be a JSON object.");
    }

    ProfileLoadResult result;
    result.path = path;
    AgentProfile& profile = result.profile;
    std::string reason;
    if (!ReadString(doc, "client_id", true, profile.clientId, reason) ||
        !ReadString(doc, "client_secret", true, profile.clientSecret, reason) ||
        !ReadString(doc, "service_base_url", true, profile.serviceBaseUrl, reason)) {
        return Failure(path, reason);
    }
    while (!profile.serviceBaseUrl.empty() && profile.serviceBaseUrl.back() == '/') {
        profile.serviceBaseUrl.pop_back();
    }
    if (!calvenor::IsAllowedServiceUrl(profile.serviceBaseUrl)) {
        return Failure(path, "the service_base_url \"" + profile.serviceBaseUrl +
                                 "\" must start with https:// (or http:// to 127.0.0.1 or "
                                 "localhost for the local sandbox).");
    }

    std::vector<std::string> badNumbers;
    std::vector<Candidate> candidates;
    const auto clients = std::as_const(doc).FindMember("clients");
    if (clients != std::as_const(doc).MemberEnd()) {
        if (!clients->value.IsArray()) {
            return Failure(path, "the member \"clients\" must be a list.");
        }
        candidates.reserve(clients->value.Size());
        for (const auto& entry : clients->value.GetArray()) {
            if (!entry.IsObject()) {
                return Failure(path, "every entry of \"clients\" must be a JSON object.");
            }
            std::string_view name;
            std::string_view vrn;
            if (!ReadText(entry, "company_name", name, reason) ||
                !ReadText(entry, "vrn", vrn, reason)) {
                return Failure(path, "in \"clients\", " + reason);
            }
            if (name.empty() || vrn.empty())
                continue;
            if (!calvenor::IsNineDigits(vrn)) {
                badNumbers.push_back(std::string(name) + " (" + std::string(vrn) + ")");
                continue;
            }
            candidates.push_back({name, vrn});
        }
    }
    // Byte-wise by name (string_view compares bytes as unsigned, as std::string does). Sorted
    // stably, equal names sit together in file order, so unique keeps the first in the file.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.name < b.name; });
    candidates.erase(
        std::unique(candidates.begin(), candidates.end(),
                    [](const Candidate& a, const Candidate& b) { return a.name == b.name; }),
        candidates.end());
    profile.clients.reserve(candidates.size());
    for (const Candidate& c : candidates)
        profile.clients.push_back({std::string(c.name), std::string(c.vrn)});
    if (!badNumbers.empty()) {
        result.warning = "These clients in the agent profile " + path.string() +
                         " were left out because their VAT registration number is not nine "
                         "digits: ";
        for (std::size_t i = 0; i < badNumbers.size(); ++i) {
            result.warning += (i ? ", " : "") + badNumbers[i];
        }
        result.warning += ". Correct their \"vrn\" in the profile and start again.";
    }
    profile.profileText = text;
    result.loaded = true;
    return result;
}
