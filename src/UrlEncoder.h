#pragma once

#include <string>

// The percent encoder of the fraud-prevention header values: exactly twenty reserved
// characters become %XX; every other byte, UTF-8 and control bytes included, passes unchanged.
class CUrlEncoder {
public:
    virtual ~CUrlEncoder();
    void SetInput(std::string input) { m_input = std::move(input); }
    virtual std::string Encode();

    static std::string EncodeText(const std::string& input);

private:
    std::string m_input;
    std::string m_output;
};

// The encoding of form values sent to HMRC's OAuth endpoints (client id and secret, code,
// refresh token): every byte but A-Z a-z 0-9 - . _ ~ becomes %XX, so a pasted value can never
// add parameters of its own. Typical values are unchanged.
std::string FormValueEncode(const std::string& value);
