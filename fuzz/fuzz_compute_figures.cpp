// The box computation over nine box texts and the two imported values, one per input line.
#include "FigureRules.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines =
        calvenor::fuzz::Split(calvenor::fuzz::Text(data, size), '\n', 12);
    for (std::string& line : lines) {
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
    }
    lines.resize(12);
    BoxTexts boxes;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        boxes[i] = lines[i];
    }
    const bool entered = !lines[11].empty();
    const FigureComputation result = ComputeFigures(boxes, lines[9], lines[10], entered);
    FUZZ_CHECK(result.boxOutOfRange >= 0 && result.boxOutOfRange <= 9);
    if (result.boxOutOfRange != 0)
        return 0;

    // Box 3 is box 1 plus box 2, box 5 the distance of box 3 from box 4, all within the limits.
    std::int64_t b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0;
    FUZZ_CHECK(TextToPence(boxes[0], b1) && TextToPence(boxes[1], b2) && TextToPence(boxes[3], b4));
    FUZZ_CHECK(TextToPence(result.figures.box3, b3) && TextToPence(result.figures.box5, b5));
    FUZZ_CHECK(b3 == b1 + b2);
    FUZZ_CHECK(b5 == (b3 > b4 ? b3 - b4 : b4 - b3));
    FUZZ_CHECK(b3 >= -kMaxMoneyPence && b3 <= kMaxMoneyPence && b5 <= kMaxNetVatPence);
    FUZZ_CHECK(result.figures.entered == entered);
    return 0;
}
