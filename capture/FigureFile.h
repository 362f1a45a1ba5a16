#pragma once

#include <filesystem>
#include <string>

#include "ReturnFigures.h"

// The figure file as the approvals program writes it: the nine texts joined by ",", then CR LF.
std::string FigureFileText(const BoxTexts& boxes);

// Replaces `path` with the figure file in one step (a temporary file beside it, then a rename),
// so a failed save never leaves half a file where a good one stood. False with the reason in
// `error`.
bool WriteFigureFile(const std::filesystem::path& path, const BoxTexts& boxes,
                     std::string* error = nullptr);

// The name Save proposes for a client's list text: its first ":" becomes "-", ".csv" follows
// ("123456789 : Acme Trading Ltd" -> "123456789 - Acme Trading Ltd.csv"). Characters no file
// name can hold ("/" and control bytes) become "_".
std::string DefaultFigureFileName(const std::string& companyText);
