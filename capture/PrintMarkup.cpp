#include "PrintMarkup.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <vector>

#include "Text.h"

namespace {

// Pixels per percent of padding: a percentage of a printed line of roughly 600 pixels.
constexpr double kPaddingPixelsPerPercent = 6.0;

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t at = std::min(text.find(separator, from), text.size());
        if (std::string part = calvenor::Trim(text.substr(from, at - from)); !part.empty())
            parts.push_back(std::move(part));
        from = at + 1;
    }
    return parts;
}

bool IsBorderStyle(std::string_view word) {
    static constexpr std::string_view kStyles[] = {"none",  "hidden", "dotted", "dashed",
                                                   "solid", "double", "groove", "ridge",
                                                   "inset", "outset"};
    return std::ranges::find(kStyles, word) != std::end(kStyles);
}

bool IsLength(std::string_view word) {
    return !word.empty() &&
           (std::isdigit(static_cast<unsigned char>(word.front())) != 0 || word.front() == '.');
}

// Percentage widths by selector ("table", "td", ".col1"), moved out of the style sheet.
using WidthMap = std::map<std::string, std::string>;

// One declaration block rewritten for Qt; percentage widths of `selectors` go to `widths`.
std::string AdaptDeclarations(std::string_view block, const std::vector<std::string>& selectors,
                              WidthMap& widths) {
    std::string adapted;
    for (const std::string& declaration : Split(block, ';')) {
        const std::size_t colon = declaration.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string name = calvenor::Trim(std::string_view(declaration).substr(0, colon));
        const std::string value = calvenor::Trim(std::string_view(declaration).substr(colon + 1));
        if (name == "border") {
            for (const std::string& word : Split(value, ' ')) {
                const char* longhand = IsBorderStyle(word) ? "border-style"
                                       : IsLength(word)    ? "border-width"
                                                           : "border-color";
                adapted += std::string(longhand) + ": " + word + "; ";
            }
        } else if (name == "width" && value.ends_with('%')) {
            for (const std::string& selector : selectors)
                widths[selector] = value;
        } else if (name == "padding" && value.ends_with('%')) {
            const double percent = std::atof(value.c_str());
            adapted +=
                "padding: " + std::to_string(std::lround(percent * kPaddingPixelsPerPercent)) +
                "px; ";
        } else {
            adapted += name + ": " + value + "; ";
        }
    }
    return adapted;
}

std::string AdaptStyleSheet(std::string_view sheet, WidthMap& widths) {
    std::string adapted;
    std::size_t from = 0;
    while (true) {
        const std::size_t open = sheet.find('{', from);
        const std::size_t close = open == std::string_view::npos ? open : sheet.find('}', open);
        if (close == std::string_view::npos)
            break;
        const std::string selectorText = calvenor::Trim(sheet.substr(from, open - from));
        const std::vector<std::string> selectors = Split(selectorText, ',');
        adapted += selectorText + " {" +
                   AdaptDeclarations(sheet.substr(open + 1, close - open - 1), selectors, widths) +
                   "}";
        from = close + 1;
    }
    return adapted;
}

// The value of attribute `name` in a start tag, or nothing.
std::string AttributeValue(std::string_view tag, std::string_view name) {
    const std::string key = " " + std::string(name) + "=\"";
    const std::size_t at = tag.find(key);
    if (at == std::string_view::npos)
        return {};
    const std::size_t start = at + key.size();
    const std::size_t end = tag.find('"', start);
    return end == std::string_view::npos ? std::string()
                                         : std::string(tag.substr(start, end - start));
}

bool HasAttribute(std::string_view tag, std::string_view name) {
    return tag.find(" " + std::string(name) + "=") != std::string_view::npos;
}

// A table or cell start tag with the width its selectors gave it (and no cell spacing).
std::string AdaptStartTag(std::string_view tag, std::string_view element, const WidthMap& widths) {
    std::string extra;
    if (!HasAttribute(tag, "width")) {
        std::string width;
        if (const auto found = widths.find(std::string(element)); found != widths.end())
            width = found->second;
        for (const std::string& className : Split(AttributeValue(tag, "class"), ' ')) {
            if (const auto found = widths.find("." + className); found != widths.end())
                width = found->second;
        }
        if (!width.empty())
            extra += " width=\"" + width + "\"";
    }
    if (element == "table" && !HasAttribute(tag, "cellspacing"))
        extra += " cellspacing=\"0\"";
    std::string adapted(tag.substr(0, tag.size() - 1));
    return adapted + extra + ">";
}

bool StartsTag(std::string_view html, std::size_t at, std::string_view element) {
    const std::size_t after = at + 1 + element.size();
    return html.compare(at + 1, element.size(), element) == 0 && after < html.size() &&
           (html[after] == '>' || html[after] == ' ');
}

}  // namespace

std::string AdaptHtmlForPrinting(std::string_view html) {
    // Style sheets first: the widths they hold apply to tags before and after them.
    WidthMap widths;
    std::string styled;
    std::size_t from = 0;
    while (true) {
        const std::size_t open = html.find("<style>", from);
        const std::size_t close =
            open == std::string_view::npos ? open : html.find("</style>", open);
        if (close == std::string_view::npos)
            break;
        styled += html.substr(from, open + 7 - from);
        styled += AdaptStyleSheet(html.substr(open + 7, close - open - 7), widths);
        from = close;
    }
    styled += html.substr(from);

    std::string adapted;
    adapted.reserve(styled.size() + 256);
    from = 0;
    for (std::size_t at = styled.find('<'); at != std::string::npos; at = styled.find('<', from)) {
        adapted += styled.substr(from, at - from);
        const std::size_t end = styled.find('>', at);
        if (end == std::string::npos)
            break;
        const std::string_view tag = std::string_view(styled).substr(at, end - at + 1);
        if (StartsTag(styled, at, "table"))
            adapted += AdaptStartTag(tag, "table", widths);
        else if (StartsTag(styled, at, "td"))
            adapted += AdaptStartTag(tag, "td", widths);
        else
            adapted += tag;
        from = end + 1;
    }
    adapted += styled.substr(std::min(from, styled.size()));
    return adapted;
}
