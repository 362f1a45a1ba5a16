#include "UrlEncoder.h"

#include <string_view>

namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr std::string_view kReserved = " !#$%&'()*+,/:;=?@[]";

void AppendEscaped(std::string& out, unsigned char c) {
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
}

}  // namespace

CUrlEncoder::~CUrlEncoder() = default;

std::string CUrlEncoder::Encode() {
    m_output.clear();
    m_output.reserve(m_input.size());
    for (unsigned char c : m_input) {
        if (kReserved.find(static_cast<char>(c)) != std::string_view::npos) {
            AppendEscaped(m_output, c);
        } else {
            m_output += static_cast<char>(c);
        }
    }
    return m_output;
}

std::string CUrlEncoder::EncodeText(const std::string& input) {
    CUrlEncoder encoder;
    encoder.SetInput(input);
    return encoder.Encode();
}

std::string FormValueEncode(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            AppendEscaped(out, c);
        }
    }
    return out;
}
