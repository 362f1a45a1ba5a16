#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads a figure file into its nine value texts. Forgiving about layout: one line of nine values
// or nine lines of one, separated by comma, tab, space or "|"; quoted values may hold thousands
// separators; (123.45) means -123.45; letters and currency signs are dropped. The values are not
// checked here: the entry window checks each one as it places it in its box.
// One parser serves one import: construct it with the path, call Parse once, read GetValues.
class CCsvParser {
public:
    // A figure file holds nine short figures; anything larger is not one, and is refused before
    // it is read into memory.
    static constexpr std::uintmax_t kMaxFileBytes = 1024 * 1024;

    explicit CCsvParser(std::string fileName);
    virtual ~CCsvParser();

    // True when the file yielded exactly nine values (box 1 first); otherwise GetError says why.
    virtual bool Parse();
    virtual const std::string& GetError();
    // Reads the whole file, CR LF taken as one LF.
    virtual bool ReadFile();
    // Removes the quoting, finds the separator and splits.
    virtual bool DetermineFormat();

    bool StripQuotes();
    bool SplitValues(char separator);

    // The same steps as Parse on text already in memory (tests and fuzzing).
    bool ParseContent(const std::string& content);

    const std::vector<std::string>& GetValues() const { return m_values; }

    // The explanation that follows "Unable to determine file format" and two line feeds.
    static const std::string& FormatMessage();

private:
    void SetFormatError();

    std::string m_fileName;
    std::string m_content;
    std::vector<std::string> m_values;
    std::string m_error;
};
