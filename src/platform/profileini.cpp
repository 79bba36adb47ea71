#include "platform/profileini.h"

#include <algorithm>
#include <vector>

namespace kyplatform {

namespace {

struct Line {
    std::size_t begin = 0;       // first byte of the line
    std::size_t contentEnd = 0;  // end of the text before "\r\n", "\n" or a final "\r"
    std::size_t end = 0;         // after the line end (or the end of the text)
};

std::vector<Line> splitLines(const std::string &text)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        const std::size_t newline = text.find('\n', pos);
        if (newline == std::string::npos) {
            line.contentEnd = line.end = text.size();
        } else {
            line.contentEnd = newline;
            line.end = newline + 1;
        }
        // A CR at the very end is the start of a line end too.
        if (line.contentEnd > line.begin && text[line.contentEnd - 1] == '\r')
            --line.contentEnd;
        lines.push_back(line);
        pos = line.end;
    }
    return lines;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string trimmed(const std::string &s)
{
    std::size_t first = 0;
    std::size_t last = s.size();
    while (first < last && isBlank(s[first]))
        ++first;
    while (last > first && isBlank(s[last - 1]))
        --last;
    return s.substr(first, last - first);
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// The line's text without its line end; a UTF-8 byte order mark in front of
// the first line is not part of it.
std::string content(const std::string &text, const Line &line)
{
    std::size_t begin = line.begin;
    if (begin == 0 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        begin = std::min<std::size_t>(3, line.contentEnd);
    return text.substr(begin, line.contentEnd - begin);
}

bool headerName(const std::string &lineText, std::string &name)
{
    const std::string t = trimmed(lineText);
    if (t.empty() || t[0] != '[')
        return false;
    const std::size_t close = t.find(']');
    name = trimmed(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

bool keyLine(const std::string &lineText, std::string &name, std::string &value)
{
    const std::string t = trimmed(lineText);
    if (t.empty() || t[0] == ';' || t[0] == '#' || t[0] == '[')
        return false;
    const std::size_t equals = t.find('=');
    if (equals == std::string::npos)
        return false;
    name = trimmed(t.substr(0, equals));
    value = trimmed(t.substr(equals + 1));
    return true;
}

struct SectionSpan {
    bool found = false;
    std::size_t header = 0;  // index of the header line
    std::size_t stop = 0;    // index of the next header line, or the line count
};

SectionSpan findSection(const std::string &text, const std::vector<Line> &lines, const std::string &section)
{
    SectionSpan span;
    std::string name;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!headerName(content(text, lines[i]), name))
            continue;
        if (span.found) {
            span.stop = i;
            return span;
        }
        if (sameName(name, section)) {
            span.found = true;
            span.header = i;
        }
    }
    span.stop = lines.size();
    return span;
}

std::string lineEndOf(const std::string &text)
{
    const std::size_t newline = text.find('\n');
    if (newline == std::string::npos)
        return "\r\n";
    return (newline > 0 && text[newline - 1] == '\r') ? "\r\n" : "\n";
}

// `text` ending with a complete line end: a final CR gets its LF, a final
// line without any gets `lineEnd`.
std::string completed(const std::string &text, const std::string &lineEnd)
{
    if (text.empty() || text.back() == '\n')
        return text;
    return text.back() == '\r' ? text + "\n" : text + lineEnd;
}

} // namespace

// Section and key names are compared, and written, without blanks around
// them, as they are read from the file.
bool findIniValue(const std::string &text, const std::string &sectionName, const std::string &keyName,
                  std::string &value)
{
    const std::string section = trimmed(sectionName);
    const std::string key = trimmed(keyName);
    const std::vector<Line> lines = splitLines(text);
    const SectionSpan span = findSection(text, lines, section);
    if (!span.found)
        return false;
    std::string name;
    std::string found;
    for (std::size_t i = span.header + 1; i < span.stop; ++i) {
        if (keyLine(content(text, lines[i]), name, found) && sameName(name, key)) {
            value = found;
            return true;
        }
    }
    return false;
}

std::string setIniValue(const std::string &text, const std::string &sectionName, const std::string &keyName,
                        const std::string &value)
{
    const std::string section = trimmed(sectionName);
    const std::string key = trimmed(keyName);
    const std::vector<Line> lines = splitLines(text);
    const std::string lineEnd = lineEndOf(text);
    const std::string entry = key + "=" + value;
    const SectionSpan span = findSection(text, lines, section);

    if (!span.found)
        return completed(text, lineEnd) + "[" + section + "]" + lineEnd + entry + lineEnd;

    std::string name;
    std::string old;
    std::size_t lastKey = span.header;
    for (std::size_t i = span.header + 1; i < span.stop; ++i) {
        if (!keyLine(content(text, lines[i]), name, old))
            continue;
        if (sameName(name, key))
            return text.substr(0, lines[i].begin) + entry + text.substr(lines[i].contentEnd);
        lastKey = i;
    }

    // A new key goes after the section's last key, so blank lines and
    // comments that lead into the next section stay with it.
    const Line &after = lines[lastKey];
    if (text[after.end - 1] != '\n')  // the last line of a text without a final line end
        return completed(text, lineEnd) + entry;
    return text.substr(0, after.end) + entry + lineEnd + text.substr(after.end);
}

bool isStorableIniEntry(const std::string &section, const std::string &key, const std::string &value)
{
    const auto hasBreak = [](const std::string &s) {
        return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
    };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value))
        return false;
    if (trimmed(section).empty() || section.find(']') != std::string::npos)
        return false;
    const std::string name = trimmed(key);
    if (name.empty() || key.find('=') != std::string::npos)
        return false;
    return name[0] != '[' && name[0] != ';' && name[0] != '#';
}

std::string profileReaderValue(const std::string &value, std::size_t bufferSize)
{
    std::string result = value;
    if (result.size() >= 2 && (result.front() == '"' || result.front() == '\'') && result.back() == result.front())
        result = result.substr(1, result.size() - 2);
    if (bufferSize == 0)
        return std::string();
    if (result.size() > bufferSize - 1) {
        std::size_t cut = bufferSize - 1;
        // Back off to the first byte of the character that would be cut.
        while (cut > 0 && (static_cast<unsigned char>(result[cut]) & 0xC0) == 0x80)
            --cut;
        result.resize(cut);
    }
    return result;
}

} // namespace kyplatform
