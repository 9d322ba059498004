#include "data/profile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "data/read_file.h"
#include "data/replace_file.h"
#include "data/text.h"

namespace korvan::profile {

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kCrLf = "\r\n";

std::string_view TrimBlanks(std::string_view text) { return Trim(text, kBlanks); }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (AsciiLower(a[k]) != AsciiLower(b[k])) {
            return false;
        }
    }
    return true;
}

// One physical line: its content and the terminator that followed it ("", "\n" or "\r\n").
struct Line {
    std::string_view content;
    std::string_view ending;
};

enum class LineKind { kOther, kSection, kKey };

struct ParsedLine {
    LineKind kind = LineKind::kOther;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
};

ParsedLine ParseLine(std::string_view content) {
    const std::string_view line = TrimBlanks(content);
    ParsedLine parsed;
    if (line.empty() || line.front() == ';') {
        return parsed;
    }
    if (line.front() == '[') {
        const std::size_t close = line.find(']');
        parsed.kind = LineKind::kSection;
        parsed.name = TrimBlanks(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        return parsed;
    }
    parsed.kind = LineKind::kKey;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        parsed.name = line;
    } else {
        parsed.name = TrimBlanks(line.substr(0, equals));
        parsed.value = TrimBlanks(line.substr(equals + 1));
    }
    return parsed;
}

struct Document {
    std::string_view bom;
    std::vector<Line> lines;
    std::string_view newLine = kCrLf;  // style for added lines: the first ending in the text
};

Document SplitLines(std::string_view text) {
    Document doc;
    if (text.starts_with(kUtf8Bom)) {
        doc.bom = text.substr(0, kUtf8Bom.size());
        text.remove_prefix(kUtf8Bom.size());
    }
    bool styleSeen = false;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        if (lf == std::string_view::npos) {
            doc.lines.push_back({text, {}});
            break;
        }
        const bool crlf = lf > 0 && text[lf - 1] == '\r';
        const std::size_t contentEnd = crlf ? lf - 1 : lf;
        doc.lines.push_back({text.substr(0, contentEnd), text.substr(contentEnd, lf + 1 - contentEnd)});
        if (!styleSeen) {
            doc.newLine = doc.lines.back().ending;
            styleSeen = true;
        }
        text.remove_prefix(lf + 1);
    }
    return doc;
}

// Index range [begin, end) of the body of the first section called `section`, after its
// header line at begin - 1; nullopt when there is none.
struct SectionRange {
    std::size_t header;
    std::size_t end;
};

std::optional<SectionRange> FindSection(const Document& doc, std::string_view section) {
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        const ParsedLine parsed = ParseLine(doc.lines[i].content);
        if (parsed.kind != LineKind::kSection || !SameName(parsed.name, section)) {
            continue;
        }
        std::size_t end = i + 1;
        while (end < doc.lines.size() && ParseLine(doc.lines[end].content).kind != LineKind::kSection) {
            ++end;
        }
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> FindKeyLine(const Document& doc, const SectionRange& range, std::string_view key) {
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        const ParsedLine parsed = ParseLine(doc.lines[i].content);
        if (parsed.kind == LineKind::kKey && SameName(parsed.name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// A value in matching single or double quotes comes back without them, as Windows does.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::optional<std::string> FindInFile(const std::string& path, const std::string& section, const std::string& key) {
    const FileText file = ReadWholeFile(path);
    if (file.error != 0) {
        return std::nullopt;
    }
    return FindValue(file.text, section, key);
}

// A symbolic link is followed so that the file it names is updated, not replaced by a copy.
std::string ResolveLink(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_symlink(path, error)) {
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
        if (!error) {
            return resolved.string();
        }
    }
    return path;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

void AppendHexByte(std::string& text, std::uint8_t byte) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
}

// Cuts at most `maxChars` bytes, backing off so no UTF-8 sequence is split.
std::string CutTo(std::string_view text, std::size_t maxChars) {
    if (text.size() <= maxChars) {
        return std::string(text);
    }
    std::size_t cut = maxChars;
    for (int back = 0; back < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++back) {
        --cut;
    }
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        cut = maxChars;  // not UTF-8 after all: a plain byte cut
    }
    return std::string(text.substr(0, cut));
}

}  // namespace

std::optional<std::string> FindValue(std::string_view text, std::string_view section, std::string_view key) {
    const Document doc = SplitLines(text);
    const std::optional<SectionRange> range = FindSection(doc, TrimBlanks(section));
    if (!range) {
        return std::nullopt;
    }
    const std::optional<std::size_t> line = FindKeyLine(doc, *range, TrimBlanks(key));
    if (!line) {
        return std::nullopt;
    }
    return std::string(ParseLine(doc.lines[*line].content).value);
}

std::optional<std::string> SetValue(std::string_view text, std::string_view section, std::string_view key,
                                    std::string_view value) {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
        section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
        key.front() == '[' || key.front() == ';') {
        return std::nullopt;
    }

    Document doc = SplitLines(text);
    std::string keyLine;
    std::string sectionLine;
    const std::optional<SectionRange> range = FindSection(doc, section);
    if (range) {
        if (const std::optional<std::size_t> line = FindKeyLine(doc, *range, key)) {
            // Keep the key as the file spells it; only the value changes.
            keyLine = std::string(ParseLine(doc.lines[*line].content).name) + "=" + std::string(value);
            doc.lines[*line].content = keyLine;
        } else {
            keyLine = std::string(key) + "=" + std::string(value);
            std::size_t after = range->header;
            for (std::size_t i = range->header + 1; i < range->end; ++i) {
                if (!TrimBlanks(doc.lines[i].content).empty()) {
                    after = i;
                }
            }
            if (doc.lines[after].ending.empty()) {
                doc.lines[after].ending = doc.newLine;
            }
            doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(after) + 1, Line{keyLine, doc.newLine});
        }
    } else {
        if (!doc.lines.empty() && doc.lines.back().ending.empty()) {
            doc.lines.back().ending = doc.newLine;
        }
        sectionLine = "[" + std::string(section) + "]";
        keyLine = std::string(key) + "=" + std::string(value);
        doc.lines.push_back(Line{sectionLine, doc.newLine});
        doc.lines.push_back(Line{keyLine, doc.newLine});
    }

    std::string result(doc.bom);
    result.reserve(text.size() + keyLine.size() + sectionLine.size() + 8);
    for (const Line& line : doc.lines) {
        result.append(line.content);
        result.append(line.ending);
    }
    return result;
}

std::string EncodeStruct(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 2 + 2);
    std::uint8_t checksum = 0;
    for (const std::uint8_t byte : bytes) {
        AppendHexByte(text, byte);
        checksum = static_cast<std::uint8_t>(checksum + byte);
    }
    AppendHexByte(text, checksum);
    return text;
}

bool DecodeStruct(std::string_view text, std::span<std::uint8_t> out) {
    if (text.size() != out.size() * 2 + 2) {
        return false;
    }
    std::vector<std::uint8_t> decoded(out.size() + 1);
    for (std::size_t k = 0; k < decoded.size(); ++k) {
        const int high = HexDigitValue(text[2 * k]);
        const int low = HexDigitValue(text[2 * k + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        decoded[k] = static_cast<std::uint8_t>(high * 16 + low);
    }
    std::uint8_t checksum = 0;
    for (std::size_t k = 0; k < out.size(); ++k) {
        checksum = static_cast<std::uint8_t>(checksum + decoded[k]);
    }
    if (checksum != decoded.back()) {
        return false;
    }
    std::copy(decoded.begin(), decoded.end() - 1, out.begin());
    return true;
}

int ReadInt(const std::string& path, const std::string& section, const std::string& key, int fallback) {
    const std::optional<std::string> found = FindInFile(path, section, key);
    if (!found) {
        return fallback;
    }
    std::string_view digits = Unquote(*found);
    if (digits.empty()) {
        return fallback;
    }
    bool negative = false;
    if (digits.front() == '-' || digits.front() == '+') {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    // Accumulates modulo 2^32 as the Windows reader does with an overlong number.
    std::uint32_t magnitude = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            break;
        }
        magnitude = magnitude * 10u + static_cast<std::uint32_t>(c - '0');
    }
    const std::uint32_t bits = negative ? 0u - magnitude : magnitude;
    return static_cast<int>(bits);
}

std::string ReadString(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& fallback, std::size_t maxChars) {
    const std::optional<std::string> found = FindInFile(path, section, key);
    if (!found) {
        return CutTo(fallback, maxChars);
    }
    return CutTo(Unquote(*found), maxChars);
}

bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value) {
    const std::string target = ResolveLink(path);
    const FileText file = ReadWholeFile(target);
    if (file.error != 0 && file.error != ENOENT) {
        // Never replace a file whose lines could not be read: they would be lost.
        return false;
    }
    const std::optional<std::string> updated = SetValue(file.text, section, key, value);
    if (!updated) {
        return false;
    }
    if (file.error == 0 && *updated == file.text) {
        return true;
    }
    return ReplaceFileAtomically(target, *updated).empty();
}

bool ReadStruct(const std::string& path, const std::string& section, const std::string& key,
                std::span<std::uint8_t> out) {
    const std::optional<std::string> found = FindInFile(path, section, key);
    return found && DecodeStruct(*found, out);
}

bool WriteStruct(const std::string& path, const std::string& section, const std::string& key,
                 std::span<const std::uint8_t> bytes) {
    return WriteString(path, section, key, EncodeStruct(bytes));
}

}  // namespace korvan::profile
