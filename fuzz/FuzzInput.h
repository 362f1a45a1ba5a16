#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Small helpers shared by the fuzz targets: the input as text, and cut into pieces.
namespace calvenor::fuzz {

inline std::string Text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Pieces separated by `separator`, each keeping the separator at its end (as header lines keep
// their line end); at most `maxPieces`, the last one taking the rest.
inline std::vector<std::string> Split(const std::string& text, char separator,
                                      std::size_t maxPieces = 64) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string::npos || pieces.size() + 1 == maxPieces)
            end = text.size() - 1;
        pieces.push_back(text.substr(start, end - start + 1));
        start = end + 1;
    }
    return pieces;
}

// Stops the run with the given reason when a property does not hold; libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                             \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::fprintf(stderr, "FUZZ_CHECK failed: %s (%s:%d)\n", #condition, __FILE__, \
                         __LINE__);                                                       \
            std::abort();                                                                 \
        }                                                                                 \
    } while (false)

}  // namespace calvenor::fuzz
