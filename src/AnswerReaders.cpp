#include "AnswerReaders.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "ServiceUrl.h"
#include "Text.h"
#include "TransactionError.h"

namespace {

std::string WithoutLineEnd(std::string text) {
    const auto end = text.find_first_of("\r\n");
    if (end != std::string::npos)
        text.erase(end);
    return text;
}

bool HasControlBytes(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

// The header lines of the final answer start at its status line.
std::size_t FinalBlockStart(const std::vector<std::string>& headerLines) {
    for (std::size_t i = headerLines.size(); i-- > 0;) {
        if (calvenor::StartsWithNoCase(headerLines[i], "HTTP/"))
            return i;
    }
    return 0;
}

}  // namespace

int HttpStatusOfHeaderLines(const std::vector<std::string>& headerLines) {
    if (headerLines.empty())
        return 0;
    const std::string& line = headerLines[FinalBlockStart(headerLines)];
    if (!calvenor::StartsWithNoCase(line, "HTTP/"))
        return 0;
    const auto space = line.find(' ');
    if (space == std::string::npos)
        return 0;
    std::size_t i = space;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    int status = 0;
    bool digits = false;
    for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) && status < 100000;
         ++i) {
        status = status * 10 + (line[i] - '0');
        digits = true;
    }
    return digits ? status : 0;
}

bool FindHeaderLine(const std::vector<std::string>& headerLines, const std::string& name,
                    std::string& line) {
    if (name.empty())
        return false;
    for (std::size_t i = FinalBlockStart(headerLines); i < headerLines.size(); ++i) {
        if (calvenor::StartsWithNoCase(headerLines[i], name)) {
            line = headerLines[i];
            return true;
        }
    }
    return false;
}

bool LocationOfHeaderLines(const std::vector<std::string>& headerLines, std::string& target) {
    target.clear();
    std::string line;
    if (!FindHeaderLine(headerLines, "Location:", line))
        return false;
    std::string value = WithoutLineEnd(line.substr(line.find(':') + 1));
    const auto first = value.find_first_not_of(" \t");
    if (first == std::string::npos)
        return false;
    value.erase(0, first);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.pop_back();
    // Only an absolute address the filer may send secrets to; a relative one has no use here.
    if (!calvenor::IsAllowedServiceUrl(value))
        return false;
    target = value;
    return true;
}

const std::string kIncompleteAnswerLine =
    "HMRC's answer arrived incomplete: the Receipt Id above is the proof that this return was "
    "filed.";

std::string HeaderValue(const std::vector<std::string>& headerLines, const std::string& name) {
    std::string line;
    if (!FindHeaderLine(headerLines, name, line))
        return {};
    const auto colon = line.find(':');
    if (colon == std::string::npos)
        return {};
    std::string value = line.substr(colon);
    const auto end = value.find_first_of("\r\n");
    if (end != std::string::npos)
        value.erase(end);
    return value;
}

bool ReadTokenAnswer(const std::string& body, std::string& accessToken, std::string& refreshToken,
                     std::int32_t& expiresIn) {
    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(body.c_str(), body.size());
    if (document.HasParseError() || !document.IsObject())
        return false;

    // A token is only ever used inside a header line and the token file: a control byte in it
    // cannot be a real token and would break both.
    auto readToken = [&document](const char* name, std::string& out) {
        const auto member = std::as_const(document).FindMember(name);
        if (member == std::as_const(document).MemberEnd() || !member->value.IsString())
            return false;
        std::string value(member->value.GetString(), member->value.GetStringLength());
        if (HasControlBytes(value))
            return false;
        out = std::move(value);
        return true;
    };
    const bool found = readToken("access_token", accessToken);
    readToken("refresh_token", refreshToken);
    const auto expires = std::as_const(document).FindMember("expires_in");
    if (expires != std::as_const(document).MemberEnd() && expires->value.IsInt()) {
        expiresIn = expires->value.GetInt();
    }
    return found;
}

bool ReadOAuthError(const std::string& body, std::string& error, std::string& description) {
    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(body.c_str(), body.size());
    if (document.HasParseError() || !document.IsObject())
        return false;
    auto copy = [&document](const char* name, std::string& out) {
        const auto member = std::as_const(document).FindMember(name);
        if (member != std::as_const(document).MemberEnd() && member->value.IsString()) {
            out.assign(member->value.GetString(), member->value.GetStringLength());
        }
    };
    copy("error", error);
    copy("error_description", description);
    return true;
}

std::vector<std::string> ErrorCodes(const std::string& body) {
    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(body.c_str(), body.size());
    std::vector<std::string> codes;
    if (document.HasParseError() || !document.IsObject())
        return codes;
    const auto add = [&codes](const rapidjson::Value& object) {
        if (!object.IsObject())
            return;
        const auto code = object.FindMember("code");
        if (code != object.MemberEnd() && code->value.IsString())
            codes.emplace_back(code->value.GetString(), code->value.GetStringLength());
    };
    const rapidjson::Value& root = document;
    add(root);
    const auto errors = root.FindMember("errors");
    if (errors != root.MemberEnd() && errors->value.IsArray())
        for (const rapidjson::Value& error : errors->value.GetArray())
            add(error);
    return codes;
}

bool SaysTokenRejected(int httpStatus, const std::string& body) {
    if (httpStatus == 401)
        return true;
    if (httpStatus < 400)
        return false;
    const std::vector<std::string> codes = ErrorCodes(body);
    if (std::ranges::find(codes, "INVALID_CREDENTIALS") != codes.end())
        return true;
    std::string error, description;
    return ReadOAuthError(body, error, description) && error == "invalid_token";
}

std::vector<std::string> SuccessReceiptLines(const std::vector<std::string>& headerLines,
                                             const std::string& body, bool answerComplete) {
    std::vector<std::string> lines;
    lines.push_back("Submisssion Successful");
    lines.push_back("");
    lines.push_back("Correlation Id " + HeaderValue(headerLines, "X-Correlationid:"));
    lines.push_back("Receipt Id " + HeaderValue(headerLines, "Receipt-Id:"));
    lines.push_back("Receipt Timestamp " + HeaderValue(headerLines, "Receipt-Timestamp:"));

    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(body.c_str(), body.size());
    if (!answerComplete || document.HasParseError() || !document.IsObject()) {
        lines.push_back(kIncompleteAnswerLine);
        return lines;
    }
    auto text = [&document](const char* name, std::string& out) {
        const auto member = std::as_const(document).FindMember(name);
        if (member == std::as_const(document).MemberEnd() || !member->value.IsString())
            return false;
        out.assign(member->value.GetString(), member->value.GetStringLength());
        return true;
    };
    std::string value;
    if (text("processingDate", value))
        lines.push_back("Processing Date : " + value);
    if (text("formBundleNumber", value))
        lines.push_back("Form Bundle Number : " + value);
    if (text("paymentIndicator", value)) {
        lines.push_back("Payment Indicator : " + value);
        lines.push_back(
            value == "DD" ? "(Note DD means VAT is owed and HMRC holds a Direct Debit Instruction)"
                          : "(Note BANK means VAT is recliamed and HMRC holds your bank data)");
    }
    if (text("chargeRefNumber", value))
        lines.push_back("Charge Ref Number : " + value);
    return lines;
}

std::vector<std::string> FailureReceiptLines(const std::vector<std::string>& headerLines,
                                             const std::string& body, int httpStatus) {
    std::vector<std::string> lines;
    lines.push_back("Submisssion FAILED");
    lines.push_back("");
    lines.push_back("Submission Date " + HeaderValue(headerLines, "Date:"));
    lines.push_back("");
    CTRansactionError error(CTRansactionError::kReturnSubmission, httpStatus);
    std::string text;
    error.GetErrorText(text);
    lines.push_back(text);
    lines.push_back("");
    error.Decode(body);
    for (const std::string& line : error.GetErrorLines()) {
        lines.push_back(line);
    }
    return lines;
}
