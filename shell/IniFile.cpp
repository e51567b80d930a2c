#include "shell/IniFile.h"

#include "common/FileWrite.h"

#include <limits>
#include <utility>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLead(char c) { return static_cast<unsigned char>(c) >= 0x81; }  // GBK lead byte

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Letter case does not count for ASCII letters; a double-byte character
// compares whole, so its trail byte is never folded.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (IsLead(a[i]) && i + 1 < a.size()) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      ++i;
    } else if (Lower(a[i]) != Lower(b[i])) {
      return false;
    }
  }
  return true;
}

// Position of byte `c` in `s`, skipping the trail bytes of double-byte characters.
size_t FindChar(std::string_view s, char c) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == c) return i;
    if (IsLead(s[i])) ++i;
  }
  return std::string_view::npos;
}

struct Line {
  size_t begin;
  size_t end;      // where the line break starts
  size_t next;     // where the next line starts
};

// Line by line; breaks are CR LF, LF or CR.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = begin;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    size_t next = end;
    if (next < text.size()) next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
    if (!visit(Line{begin, end, next})) return;
    begin = next;
  }
}

enum class LineKind { Blank, Comment, Section, Key, Other };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::string_view name;  // section or key name, trimmed
  size_t valueAt = 0;     // Key: offset in the line just after "="
};

ParsedLine Parse(std::string_view content) {
  ParsedLine parsed;
  const std::string_view trimmed = Trim(content);
  if (trimmed.empty()) {
    parsed.kind = LineKind::Blank;
  } else if (trimmed.front() == ';' || trimmed.front() == '#') {
    parsed.kind = LineKind::Comment;
  } else if (trimmed.front() == '[') {
    const std::string_view inner = trimmed.substr(1);
    parsed.kind = LineKind::Section;
    parsed.name = Trim(inner.substr(0, FindChar(inner, ']')));
  } else if (const size_t eq = content.find('='); eq != std::string_view::npos) {
    // "=" is never a GBK trail byte, so a plain search is safe.
    parsed.kind = LineKind::Key;
    parsed.name = Trim(content.substr(0, eq));
    parsed.valueAt = eq + 1;
  }
  return parsed;
}

// Where a key stands in the file, or where it would go.
struct Place {
  bool sectionFound = false;
  bool keyFound = false;
  size_t valueBegin = 0;  // keyFound: the old value (blanks after "=" kept before it)
  size_t valueEnd = 0;
  size_t insertAt = 0;    // sectionFound: after the section's last line that has content
};

Place Locate(std::string_view text, std::string_view section, std::string_view key) {
  Place place;
  bool inSection = false;
  ForEachLine(text, [&](const Line& line) {
    const std::string_view content = text.substr(line.begin, line.end - line.begin);
    const ParsedLine parsed = Parse(content);
    if (parsed.kind == LineKind::Section) {
      // Only the first section of the name counts.
      if (place.sectionFound) return false;
      inSection = SameName(parsed.name, section);
      if (inSection) {
        place.sectionFound = true;
        place.insertAt = line.next;
      }
      return true;
    }
    if (!inSection) return true;
    if (parsed.kind != LineKind::Blank && parsed.kind != LineKind::Comment) place.insertAt = line.next;
    if (parsed.kind == LineKind::Key && !parsed.name.empty() && SameName(parsed.name, key)) {
      size_t v = line.begin + parsed.valueAt;
      while (v < line.end && IsBlank(text[v])) ++v;
      place.keyFound = true;
      place.valueBegin = v;
      place.valueEnd = line.end;
      return false;
    }
    return true;
  });
  return place;
}

// The file's own line break for lines it gains: the first break in it, or CR LF.
std::string_view LineBreakOf(std::string_view text) {
  const size_t at = text.find_first_of("\r\n");
  if (at == std::string_view::npos) return "\r\n";
  if (text[at] == '\n') return "\n";
  return at + 1 < text.size() && text[at + 1] == '\n' ? std::string_view("\r\n") : std::string_view("\r");
}

bool EndsWithBreak(std::string_view text) {
  return !text.empty() && (text.back() == '\n' || text.back() == '\r');
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// The value as it goes into the file, so that reading it gives it back.
std::string Encode(std::string_view value) {
  const bool quote = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                                        (value.size() >= 2 && IsQuote(value.front()) && value.front() == value.back()));
  if (!quote) return std::string(value);
  std::string out;
  out.reserve(value.size() + 2);
  out.append("\"").append(value).append("\"");
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string IniValueText(std::string_view raw) {
  std::string_view value = Trim(raw);
  if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  if (value.size() > IniFile::kMaxValueBytes) {
    size_t cut = 0;
    while (cut < IniFile::kMaxValueBytes) {
      const size_t step = IsLead(value[cut]) && cut + 1 < value.size() ? 2 : 1;
      if (cut + step > IniFile::kMaxValueBytes) break;
      cut += step;
    }
    value = value.substr(0, cut);
  }
  return std::string(value);
}

bool ParseIniInteger(std::string_view text, int32_t* value) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int64_t magnitude = 0;
  if (text.starts_with("0x") || text.starts_with("0X") || text.starts_with("$")) {
    text.remove_prefix(text.front() == '$' ? 1 : 2);
    if (text.empty()) return false;
    for (const char c : text) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      magnitude = magnitude * 16 + d;
      if (magnitude > 0xFFFFFFFFLL) return false;
    }
    // Eight hexadecimal digits fill the 32 bits: $FFFFFFFF is -1.
    const uint32_t bits = static_cast<uint32_t>(magnitude);
    *value = static_cast<int32_t>(negative ? 0u - bits : bits);
    return true;
  }
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > 0x80000000LL) return false;
  }
  if (negative) magnitude = -magnitude;
  if (magnitude > std::numeric_limits<int32_t>::max()) return false;
  *value = static_cast<int32_t>(magnitude);
  return true;
}

IniFile::IniFile(std::string fileName) : fileName_(std::move(fileName)) {
  loaded_ = fileio::ReadFile(fileName_, &bytes_, nullptr);
  if (!loaded_) bytes_.clear();
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  const Place place = Locate(bytes_, section, key);
  if (!place.keyFound) return std::string(def);
  return IniValueText(std::string_view(bytes_).substr(place.valueBegin, place.valueEnd - place.valueBegin));
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
  // A missing key reads as empty text, which does not parse either.
  int32_t value = 0;
  return ParseIniInteger(ReadString(section, key, {}), &value) ? value : def;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value,
                          std::string* error) {
  const std::string failure = "Unable to write to " + fileName_;
  if (value.find_first_of("\r\n") != std::string_view::npos) {
    if (error) *error = failure;
    return false;
  }
  const std::string encoded = Encode(value);
  const std::string_view lineBreak = LineBreakOf(bytes_);
  const Place place = Locate(bytes_, section, key);

  std::string updated;
  updated.reserve(bytes_.size() + section.size() + key.size() + encoded.size() + 8);
  if (place.keyFound) {
    updated.append(bytes_, 0, place.valueBegin).append(encoded).append(bytes_, place.valueEnd);
  } else {
    const size_t at = place.sectionFound ? place.insertAt : bytes_.size();
    updated.append(bytes_, 0, at);
    if (!updated.empty() && !EndsWithBreak(updated)) updated.append(lineBreak);
    if (!place.sectionFound) updated.append("[").append(section).append("]").append(lineBreak);
    updated.append(key).append("=").append(encoded);
    // A lone CR just before a line that starts with LF would read as one
    // CR LF break and swallow that (empty) line: end the new line with CR LF.
    const bool joinsNext = lineBreak == "\r" && at < bytes_.size() && bytes_[at] == '\n';
    updated.append(joinsNext ? std::string_view("\r\n") : lineBreak);
    updated.append(bytes_, at);
  }

  if (!fileio::WriteFileAtomic(fileName_, updated, nullptr)) {
    if (error) *error = failure;
    return false;
  }
  bytes_ = std::move(updated);
  return true;
}

bool IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value, std::string* error) {
  return WriteString(section, key, std::to_string(value), error);
}

bool IniFile::WriteBool(std::string_view section, std::string_view key, bool value, std::string* error) {
  return WriteString(section, key, value ? "1" : "0", error);
}
