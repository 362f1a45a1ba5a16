#include "FactFormats.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <QCryptographicHash>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>

namespace {

long long SecondsOf(const CivilTime& t) {
    using namespace std::chrono;
    const sys_days day{year{t.year} / t.month / t.day};
    return duration_cast<seconds>(day.time_since_epoch()).count() + t.hour * 3600LL +
           t.minute * 60LL + t.second;
}

}  // namespace

bool IsUuidText(const std::string& text) {
    if (text.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') {
                return false;
            }
        } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

std::string FormatMacAddress(const std::vector<std::uint8_t>& bytes) {
    const QByteArray raw(reinterpret_cast<const char*>(bytes.data()),
                         static_cast<qsizetype>(bytes.size()));
    return raw.toHex(':').toUpper().toStdString();
}

std::string FormatLocalAddress(const NetworkInterface::Address& address) {
    const auto& b = address.bytes;
    const bool v4 = address.family == NetworkInterface::Family::IPv4;
    if (b.size() != (v4 ? 4u : 16u)) {
        return {};
    }
    const auto zeroUpTo = [&b](std::size_t end) {
        return std::all_of(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(end),
                           [](std::uint8_t x) { return x == 0; });
    };
    // Unspecified, loopback and link-local addresses say nothing beyond this machine's own link.
    const bool unreported = v4 ? (zeroUpTo(4) || b[0] == 127 || (b[0] == 169 && b[1] == 254))
                               : (zeroUpTo(16) || (zeroUpTo(15) && b[15] == 1) ||
                                  (b[0] == 0xFE && (b[1] & 0xC0) == 0x80));
    if (unreported) {
        return {};
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (::inet_ntop(v4 ? AF_INET : AF_INET6, b.data(), text, sizeof(text)) == nullptr) {
        return {};
    }
    return text;
}

std::string FormatUtcOffset(const CivilTime& local, const CivilTime& utc) {
    const long long minutes = (SecondsOf(local) - SecondsOf(utc)) / 60;
    const long long magnitude = minutes < 0 ? -minutes : minutes;
    char text[32];
    std::snprintf(text, sizeof(text), "%c%02lld:%02lld", minutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

std::string FormatUtcTimestamp(const CivilTime& utc) {
    char text[64];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.year, utc.month,
                  utc.day, utc.hour, utc.minute, utc.second, utc.millisecond);
    return text;
}

std::string FormatScalingFactor(int logicalDpi) {
    const long long hundredths = logicalDpi > 0 ? static_cast<long long>(logicalDpi) * 100 / 96 : 0;
    std::string digits = std::to_string(hundredths);
    if (digits.size() < 3) {
        digits.insert(0, 3 - digits.size(), '0');
    }
    digits.insert(digits.size() - 2, 1, '.');
    return digits;
}

std::string CleanFactText(const std::string& text, std::size_t maxBytes) {
    std::string clean;
    clean.reserve(text.size());
    for (unsigned char c : text) {
        if (c >= 0x20 && c != 0x7F) {
            clean += static_cast<char>(c);
        }
    }
    const auto first = clean.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    clean.erase(0, first);
    if (clean.size() > maxBytes) {
        std::size_t cut = maxBytes;
        // Never leave half a UTF-8 character: back off to the start of the one that was split.
        while (cut > 0 && (static_cast<unsigned char>(clean[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        clean.resize(cut);
    }
    clean.erase(clean.find_last_not_of(' ') + 1);
    return clean;
}

std::string Sha256Hex(const std::string& bytes) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                 QCryptographicHash::Sha256);
    return digest.toHex().toStdString();
}
