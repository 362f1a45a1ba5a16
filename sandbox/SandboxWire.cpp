#include "SandboxWire.h"

#include <httplib.h>

#include <cstdio>

#include "ApiJson.h"
#include "Text.h"

namespace calvenor::sandbox {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string FormDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

FormParams ParseForm(std::string_view text) {
    FormParams params;
    std::size_t from = 0;
    while (from <= text.size()) {
        auto amp = text.find('&', from);
        if (amp == std::string_view::npos)
            amp = text.size();
        const std::string_view pair = text.substr(from, amp - from);
        if (!pair.empty()) {
            const auto eq = pair.find('=');
            const std::string name = FormDecode(pair.substr(0, eq));
            const std::string value =
                eq == std::string_view::npos ? std::string() : FormDecode(pair.substr(eq + 1));
            params[name].push_back(value);
        }
        from = amp + 1;
    }
    return params;
}

FormParams QueryOf(const httplib::Request& req) {
    // The library's own parameters lose the order of repeats; the target is as sent.
    const auto q = req.target.find('?');
    return q == std::string::npos ? FormParams{}
                                  : ParseForm(std::string_view(req.target).substr(q + 1));
}

std::string HttpDate(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return text;
}

std::string IsoTime(std::chrono::system_clock::time_point when, bool millis, const char* zone) {
    const auto seconds = std::chrono::time_point_cast<std::chrono::seconds>(when);
    const std::time_t t = std::chrono::system_clock::to_time_t(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    std::string out = text;
    if (millis) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(when - seconds).count();
        char frac[8];
        std::snprintf(frac, sizeof frac, ".%03d", static_cast<int>(ms));
        out += frac;
    }
    return out + zone;
}

std::string PenceText(long long pence, bool whole) {
    const bool negative = pence < 0;
    const unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(pence)
                                                  : static_cast<unsigned long long>(pence);
    char text[40];
    if (whole)
        std::snprintf(text, sizeof text, "%s%llu", negative ? "-" : "", magnitude / 100);
    else
        std::snprintf(text, sizeof text, "%s%llu.%02llu", negative ? "-" : "", magnitude / 100,
                      magnitude % 100);
    return text;
}

bool HasScope(const std::string& scopes, std::string_view wanted) {
    std::size_t from = 0;
    while (from <= scopes.size()) {
        auto space = scopes.find(' ', from);
        if (space == std::string::npos)
            space = scopes.size();
        if (std::string_view(scopes).substr(from, space - from) == wanted)
            return true;
        from = space + 1;
    }
    return false;
}

void JsonAnswer(httplib::Response& res, int status, const std::string& body) {
    res.status = status;
    res.set_content(body, "application/json");
}

void ApiError(httplib::Response& res, int status, std::string_view code, std::string_view message) {
    JsonAnswer(res, status, ErrorBody(code, message));
}

void OAuthError(httplib::Response& res, int status, std::string_view error,
                std::string_view description) {
    JsonAnswer(res, status, OAuthErrorBody(error, description));
    res.set_header("Cache-Control", "no-store");
    res.set_header("Pragma", "no-cache");
}

void HtmlAnswer(httplib::Response& res, int status, const std::string& title,
                const std::string& content) {
    res.status = status;
    res.set_content("<!DOCTYPE html>\n<html lang=\"en\">\n<head><meta charset=\"utf-8\"><title>" +
                        HtmlEscape(title) + "</title></head>\n<body>\n" + content +
                        "\n</body>\n</html>\n",
                    "text/html; charset=utf-8");
}

}  // namespace calvenor::sandbox
