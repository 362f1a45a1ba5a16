#include "FigureFile.h"

#include <sys/stat.h>

#include "AtomicFile.h"

std::string FigureFileText(const BoxTexts& boxes) {
    std::string text;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (i > 0)
            text += ',';
        text += boxes[i];
    }
    text += "\r\n";
    return text;
}

bool WriteFigureFile(const std::filesystem::path& path, const BoxTexts& boxes, std::string* error) {
    // An ordinary document the user may pass on, so the usual permissions for new files.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return calvenor::WriteFileAtomically(path, FigureFileText(boxes), 0666 & ~mask, error);
}

std::string DefaultFigureFileName(const std::string& companyText) {
    std::string name = companyText;
    const std::size_t colon = name.find(':');
    if (colon != std::string::npos)
        name[colon] = '-';
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < 0x20 || byte == 0x7f)
            c = '_';
    }
    return name + ".csv";
}
