#include "FigureRules.h"

namespace {

bool WithinMoneyLimit(const std::string& text, std::int64_t& pence) {
    return TextToPence(text, pence) && pence >= -kMaxMoneyPence && pence <= kMaxMoneyPence;
}

bool WithinWholePoundsLimit(const std::string& text) {
    std::int64_t pounds = 0;
    return ReadWholeNumber(text, pounds) && pounds >= -kMaxWholePounds && pounds <= kMaxWholePounds;
}

bool IsRecalculated(const std::string& computed, const std::string& imported) {
    return !imported.empty() && computed != EnsureDecimalPoint(imported);
}

}  // namespace

bool IsValidFigureText(const std::string& text) {
    int points = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '-' && i == 0)
            continue;
        if (c == '.') {
            if (++points > 1)
                return false;
            continue;
        }
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool PadToTwoDecimals(std::string& text) {
    const std::string typed = text;
    // No digit at all ("", "-", ".", "-."): nothing was typed but the start of a figure, which is
    // nought; a sign on nought means nothing and would only be sent to HMRC as "-0.00".
    if (text.find_first_of("0123456789") == std::string::npos) {
        text = "0.00";
        return text != typed;
    }
    if (text.find('.') == std::string::npos)
        text += '.';
    // A figure with no digit before its point (".5", "-.555", a lone ".") reads as if it had a 0
    // there and then takes the same path as any other.
    const std::size_t sign = text[0] == '-' ? 1 : 0;
    if (text[sign] == '.')
        text.insert(sign, "0");
    const std::size_t point = text.find('.');
    const std::size_t decimals = text.size() - point - 1;
    if (decimals > 2) {
        // Cut, never rounded; the box keeps showing what was typed.
        text.resize(point + 3);
        return false;
    }
    text.append(2 - decimals, '0');
    return text != typed;
}

void TruncateToWholePounds(std::string& text) {
    if (text.empty()) {
        text = "0";
        return;
    }
    const std::size_t point = text.find('.');
    if (point != std::string::npos)
        text.resize(point);
}

std::string EnsureDecimalPoint(const std::string& text) {
    return text.find('.') == std::string::npos ? text + ".00" : text;
}

FigureComputation ComputeFigures(const BoxTexts& stored, const std::string& importedBox3,
                                 const std::string& importedBox5, bool entered) {
    FigureComputation result;
    std::int64_t box1 = 0, box2 = 0, box4 = 0;
    // Box order, so the message names the first box the user would look at.
    if (!WithinMoneyLimit(stored[0], box1)) {
        result.boxOutOfRange = 1;
        return result;
    }
    if (!WithinMoneyLimit(stored[1], box2)) {
        result.boxOutOfRange = 2;
        return result;
    }
    // Both within the limits, so neither the sum nor the difference can overflow 64 bits.
    const std::int64_t sum = box1 + box2;
    if (sum < -kMaxMoneyPence || sum > kMaxMoneyPence) {
        result.boxOutOfRange = 3;
        return result;
    }
    if (!WithinMoneyLimit(stored[3], box4)) {
        result.boxOutOfRange = 4;
        return result;
    }
    const std::int64_t difference = sum - box4;
    const std::int64_t net = difference < 0 ? -difference : difference;
    if (net > kMaxNetVatPence) {
        result.boxOutOfRange = 5;
        return result;
    }
    for (int box = 6; box <= 9; ++box) {
        if (!WithinWholePoundsLimit(stored[static_cast<std::size_t>(box - 1)])) {
            result.boxOutOfRange = box;
            return result;
        }
    }

    ReturnFigures& figures = result.figures;
    SetBoxTexts(figures, stored);
    figures.box3 = PenceToText(sum);
    figures.box3Recalculated = IsRecalculated(figures.box3, importedBox3);
    figures.box5 = PenceToText(net);
    figures.box5Recalculated = IsRecalculated(figures.box5, importedBox5);
    figures.entered = entered;
    return result;
}

std::string FigureRangeMessage(int box) {
    const std::string name = "Box " + std::to_string(box);
    switch (box) {
        case 3:
            return name +
                   " (the sum of boxes 1 and 2) is outside the range HMRC accepts: "
                   "-9999999999999.99 to 9999999999999.99.\r\rPlease check boxes 1 and 2.";
        case 5:
            return name +
                   " (the difference between boxes 3 and 4) is larger than HMRC accepts: at most "
                   "99999999999.99.\r\rPlease check boxes 1, 2 and 4.";
        case 6:
        case 7:
        case 8:
        case 9:
            return name +
                   " is outside the range HMRC accepts: -9999999999999 to 9999999999999 whole "
                   "pounds.\r\rPlease correct it before continuing.";
        default:
            return name +
                   " is outside the range HMRC accepts: -9999999999999.99 to "
                   "9999999999999.99.\r\rPlease correct it before continuing.";
    }
}
