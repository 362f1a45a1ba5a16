#pragma once

#include <string>

// The one percent encoder of everything the filer sends to HMRC as a value: the form values of
// the OAuth requests (client id and secret, code, refresh token) and every key and value inside
// the fraud-prevention headers. Every byte but A-Z a-z 0-9 - . _ ~ becomes %XX (a UTF-8
// character byte by byte), so no value can add parameters, pairs or list items of its own.
// Typical values are unchanged.
std::string FormValueEncode(const std::string& value);
