#include "AgentProfile.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <algorithm>
#include <array>
#include <bit>
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

// Eight bytes of a name from `offset` on, the first in the highest byte, zeros past its end: as
// integers these order like the bytes they hold.
std::uint64_t LoadChunk(std::string_view name, std::size_t offset) {
    std::uint64_t chunk = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t at = offset + i;
        chunk = (chunk << 8) | (at < name.size() ? static_cast<unsigned char>(name[at]) : 0u);
    }
    return chunk;
}

// A client entry that passed the checks, still pointing into the parsed document. `chunk` holds
// eight bytes of the name from the offset its sort range notes, so sorting rarely has to go back
// to the name itself: with thousands of clients the names are spread over more memory than the
// processor's cache holds, and each trip back is a cache miss.
struct Candidate {
    const char* text;
    std::uint32_t size;   // a profile is far smaller than 4 GiB
    std::uint32_t entry;  // its place among the kept entries, in file order
    std::uint64_t chunk;

    std::string_view Name(std::size_t from = 0) const { return {text + from, size - from}; }
};

// Ranges this short are finished by insertion sort: a byte-count pass costs more than it saves.
constexpr std::size_t kShortRange = 32;

// A run of candidates whose names agree on their first `depth` bytes and whose chunks hold the
// bytes from `chunkAt`. `inScratch` says which of the two arrays holds the run just now.
struct Range {
    std::size_t begin;
    std::size_t end;
    std::size_t depth;
    std::size_t chunkAt;
    bool inScratch;
};

// The byte at `depth` as a bucket: 0 when the name has ended (a name sorts before every longer
// name it begins), otherwise 1 + the byte taken as unsigned, as std::string compares.
std::size_t Bucket(const Candidate& c, const Range& range) {
    if (range.depth >= c.size)
        return 0;
    const std::size_t shift = 8 * (7 - (range.depth - range.chunkAt));
    return 1u + static_cast<std::size_t>((c.chunk >> shift) & 0xffu);
}

// How many bytes from the range's depth on, within its chunks, every name shares with the first.
std::size_t SharedBytes(const Candidate* first, const Candidate* last, const Range& range) {
    const std::size_t skip = range.depth - range.chunkAt;
    const std::size_t window = 8 - skip;
    const auto available = [&](const Candidate& c) {
        return std::min(window, c.size > range.depth ? c.size - range.depth : 0);
    };
    const std::uint64_t head = first->chunk << (8 * skip);
    std::size_t shared = available(*first);
    for (const Candidate* c = first + 1; c < last && shared > 0; ++c) {
        const std::uint64_t differ = head ^ (c->chunk << (8 * skip));
        const std::size_t same =
            differ == 0 ? window : static_cast<std::size_t>(std::countl_zero(differ)) / 8;
        shared = std::min({shared, same, available(*c)});
    }
    return shared;
}

// True when a's name sorts before b's; both agree on their first `depth` bytes and hold chunks
// from `chunkAt`. The chunks settle it when they differ: a name that ends there is padded with
// zeros, so it still sorts before the longer name it begins.
bool NameBefore(const Candidate& a, const Candidate& b, std::size_t depth, std::size_t chunkAt) {
    const std::size_t skip = depth - chunkAt;
    const std::uint64_t x = a.chunk << (8 * skip);
    const std::uint64_t y = b.chunk << (8 * skip);
    if (x != y)
        return x < y;  // the first differing byte, or zeros past the end of the shorter name
    return a.Name(depth) < b.Name(depth);
}

// Sorts a short range; equal names keep their order.
void InsertionSort(Candidate* first, Candidate* last, const Range& range) {
    for (Candidate* next = first + 1; next < last; ++next) {
        const Candidate moving = *next;
        Candidate* hole = next;
        while (hole > first && NameBefore(moving, *(hole - 1), range.depth, range.chunkAt)) {
            *hole = *(hole - 1);
            --hole;
        }
        *hole = moving;
    }
}

// Sorts candidates byte-wise by name, stably, so the first of equal names in the file stays first.
// A most-significant-byte radix sort: a name's bytes are read only until it is told apart from
// the others, and shared prefixes ("Client 00042 Ltd") are stepped over in one pass, so the work
// grows with the profile's size rather than with n log n comparisons of whole names. Each pass
// moves a run from one array to the other; the ranges still to sort are kept on an explicit
// stack, so long names cannot exhaust the call stack.
void SortByName(std::vector<Candidate>& candidates) {
    if (candidates.size() < 2)
        return;  // nothing to order (and an empty list has no array to point into)
    std::vector<Candidate> scratch(candidates.size());
    std::vector<std::uint16_t> buckets(candidates.size());
    Candidate* const arrays[2] = {candidates.data(), scratch.data()};
    // A run whose order is final goes back to `candidates` if it lies in the scratch array.
    const auto settle = [&](std::size_t begin, std::size_t end, bool inScratch) {
        if (inScratch)
            std::copy(scratch.data() + begin, scratch.data() + end, candidates.data() + begin);
    };
    std::vector<Range> pending{{0, candidates.size(), 0, 0, false}};
    while (!pending.empty()) {
        Range range = pending.back();
        pending.pop_back();
        Candidate* const from = arrays[range.inScratch];
        Candidate* const first = from + range.begin;
        Candidate* const last = from + range.end;
        if (range.depth >= range.chunkAt + 8) {
            for (Candidate* c = first; c < last; ++c)
                c->chunk = LoadChunk(c->Name(), range.depth);
            range.chunkAt = range.depth;
        }
        if (range.end - range.begin <= kShortRange) {
            InsertionSort(first, last, range);
            settle(range.begin, range.end, range.inScratch);
            continue;
        }
        const std::size_t shared = SharedBytes(first, last, range);
        if (shared > 0) {
            // Step over what every name shares; past the chunks, load the next ones first.
            range.depth += shared;
            if (range.depth >= range.chunkAt + 8) {
                pending.push_back(range);
                continue;
            }
        }
        std::array<std::size_t, 257> counts{};
        for (std::size_t i = range.begin; i < range.end; ++i) {
            buckets[i] = static_cast<std::uint16_t>(Bucket(from[i], range));
            ++counts[buckets[i]];
        }
        if (counts[0] == range.end - range.begin) {
            settle(range.begin, range.end, range.inScratch);  // all equal, still in file order
            continue;
        }
        Candidate* const to = arrays[!range.inScratch];
        std::array<std::size_t, 257> starts{};
        starts[0] = range.begin;
        for (std::size_t b = 1; b < counts.size(); ++b)
            starts[b] = starts[b - 1] + counts[b - 1];
        for (std::size_t i = range.begin; i < range.end; ++i)
            to[starts[buckets[i]]++] = from[i];
        // Bucket 0 holds the names that ended here: equal, already in file order.
        std::size_t begin = range.begin;
        for (std::size_t b = 0; b < counts.size(); ++b) {
            const std::size_t end = begin + counts[b];
            if (b == 0 || counts[b] == 1)
                settle(begin, end, !range.inScratch);
            else if (counts[b] > 1)
                pending.push_back({begin, end, range.depth + 1, range.chunkAt, !range.inScratch});
            begin = end;
        }
    }
}

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
    std::vector<const char*> numbers;  // each candidate's VAT number, by its `entry`
    const auto clients = std::as_const(doc).FindMember("clients");
    if (clients != std::as_const(doc).MemberEnd()) {
        if (!clients->value.IsArray()) {
            return Failure(path, "the member \"clients\" must be a list.");
        }
        candidates.reserve(clients->value.Size());
        numbers.reserve(clients->value.Size());
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
            candidates.push_back({name.data(), static_cast<std::uint32_t>(name.size()),
                                  static_cast<std::uint32_t>(numbers.size()), LoadChunk(name, 0)});
            numbers.push_back(vrn.data());
        }
    }
    // Sorted stably, equal names sit together with the one met first in the file at their head:
    // that one is kept.
    SortByName(candidates);
    profile.clients.reserve(candidates.size());
    std::string_view previous;
    for (const Candidate& c : candidates) {
        if (!profile.clients.empty() && c.Name() == previous)
            continue;
        previous = c.Name();
        profile.clients.push_back({std::string(previous), std::string(numbers[c.entry], 9)});
    }
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
