#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DeviceFacts.h"

// The text forms of the device facts (the forms HMRC expects, and the one a kept device
// identifier must have): pure functions of what CDeviceFacts reads, shared by the header builder
// and its tests. Nothing here reads the system.

// True for 8-4-4-4-12 hexadecimal digits joined by hyphens (either case), nothing else.
bool IsUuidText(const std::string& text);

// "00:1A:2B:3C:4D:5E": uppercase hexadecimal pairs joined by colons.
std::string FormatMacAddress(const std::vector<std::uint8_t>& bytes);

// Dotted decimal for IPv4, the usual compressed text for IPv6 (no zone index). Empty for an
// address that says nothing beyond this machine's own link (unspecified, loopback, IPv4
// 169.254/16, IPv6 fe80::/10) and for malformed bytes.
std::string FormatLocalAddress(const NetworkInterface::Address& address);

// "+01:00", "-05:00", "+05:30": local time minus UTC, dates included.
std::string FormatUtcOffset(const CivilTime& local, const CivilTime& utc);

// "2026-03-07T09:05:03.042Z".
std::string FormatUtcTimestamp(const CivilTime& utc);

// 96 -> "1.00", 120 -> "1.25", 144 -> "1.50", 192 -> "2.00".
std::string FormatScalingFactor(int logicalDpi);

// A fact text made safe for a header value: control bytes dropped, surrounding blanks trimmed,
// cut to at most `maxBytes` bytes without splitting a UTF-8 character.
std::string CleanFactText(const std::string& text, std::size_t maxBytes = 255);

// Lowercase hexadecimal SHA-256 of `bytes`; empty if the digest cannot be computed.
std::string Sha256Hex(const std::string& bytes);
