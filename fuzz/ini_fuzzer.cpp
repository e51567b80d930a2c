// The settings file on arbitrary bytes: every key the file holds is read,
// one key is written, and the file is read again. The written value must
// come back, every other key must read as before, and every line but the one
// written (or the lines added for it) must stay byte for byte as it was.
//
// The section and key names are found here with the file's own rules: a line
// whose first non-blank byte is "[" starts a section named by the text up to
// "]"; a line with "=" (not a comment, not a section) is a key; blanks around
// names do not count.
#include "shell/IniFile.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The default a read gets for a missing key: no settings file holds it.
const std::string kMissing = "\x01\x02missing\x03";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLead(char c) { return static_cast<unsigned char>(c) >= 0x81; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The first "]" that is not the trail byte of a double-byte character.
size_t SectionEnd(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == ']') return i;
    if (IsLead(s[i])) ++i;
  }
  return std::string_view::npos;
}

struct Entry {
  std::string section;
  std::string key;
};

// Every key line inside a section, in file order; `sections` gets every
// section name.
std::vector<Entry> KeysOf(std::string_view text, std::vector<std::string>* sections) {
  std::vector<Entry> keys;
  std::string section;
  bool inSection = false;
  for (const std::string& line : fuzzing::SplitLines(text)) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') continue;
    if (trimmed.front() == '[') {
      const std::string_view inner = trimmed.substr(1);
      section = std::string(Trim(inner.substr(0, SectionEnd(inner))));
      sections->push_back(section);
      inSection = true;
      continue;
    }
    const size_t eq = line.find('=');
    if (!inSection || eq == std::string::npos) continue;
    const std::string_view key = Trim(std::string_view(line).substr(0, eq));
    if (!key.empty()) keys.push_back({section, std::string(key)});
  }
  return keys;
}

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Whether the two entries may name the same key (letter case aside). Two
// names that only differ in the case of a trail byte count as the same here:
// that errs on the side of checking less, never of a false finding.
bool MayBeSame(const Entry& a, const Entry& b) {
  return SameAscii(a.section, b.section) && SameAscii(a.key, b.key);
}

// Lines with their breaks, so that a changed break shows too.
std::vector<std::string> LinesWithBreaks(std::string_view text) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = begin;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    if (end < text.size()) end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
    lines.emplace_back(text.substr(begin, end - begin));
    begin = end;
  }
  return lines;
}

std::string WithoutBreak(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return std::string(line);
}

// `after` is `before` with the key's line replaced (`replaced`; the same
// line again when the value was the same), or else
// with one or two lines (the key, perhaps its section) added and none lost.
// Only the last line of `before` may gain a line break (when lines are
// appended after a last line that had none).
void CheckOtherLinesKept(std::string_view before, std::string_view after, bool replaced) {
  const std::vector<std::string> a = LinesWithBreaks(before);
  const std::vector<std::string> b = LinesWithBreaks(after);
  FUZZ_CHECK(b.size() >= a.size() && b.size() <= a.size() + 2);
  size_t prefix = 0;
  while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
  // The old last line without a break may come back with one.
  if (prefix + 1 == a.size() && prefix < b.size() && WithoutBreak(a[prefix]) == a[prefix] &&
      WithoutBreak(b[prefix]) == a[prefix] && b.size() > a.size()) {
    ++prefix;
  }
  size_t suffix = 0;
  while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
         a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
    ++suffix;
  }
  const size_t removed = a.size() - prefix - suffix;
  const size_t added = b.size() - prefix - suffix;
  if (replaced) {
    // Writing the value a key already has changes nothing.
    FUZZ_CHECK(removed == added && removed <= 1);
  } else {
    FUZZ_CHECK(removed == 0 && added >= 1 && added <= 2);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte steers the write: its low four bits give the length of
  // the value, which follows it (so it may hold blanks, quotes, double-byte
  // characters and line breaks, which are refused); its next two bits pick
  // the key (see below). The rest is the settings file.
  if (size < 1) return 0;
  const int mode = (data[0] >> 4) & 3;
  const size_t valueSize = std::min<size_t>(data[0] % 16, size - 1);
  const std::string value(reinterpret_cast<const char*>(data) + 1, valueSize);
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1 + valueSize, size - 1 - valueSize);

  const std::string path = fuzzing::ScratchFolder() + "settings.ini";
  fuzzing::WriteInput(path, bytes);
  IniFile ini(path);
  FUZZ_CHECK(ini.Loaded() && ini.Bytes() == bytes);

  std::vector<std::string> sections;
  std::vector<Entry> keys = KeysOf(bytes, &sections);
  if (keys.size() > 64) keys.resize(64);  // enough to read; keeps each input fast
  std::vector<std::string> values;
  for (const Entry& e : keys) {
    // A key under a repeated section name may read as missing: only the
    // first section of a name counts.
    values.push_back(ini.ReadString(e.section, e.key, kMissing));
    FUZZ_CHECK(values.back().size() <= IniFile::kMaxValueBytes || values.back() == kMissing);
    int32_t number = 0;
    FUZZ_CHECK(ini.ReadInteger(e.section, e.key, 7) == (ParseIniInteger(values.back(), &number) ? number : 7));
  }

  // The key written: the last one the file holds (replaced in place), a new
  // key in the last section (appended to it), or a new key in a new section
  // (appended to the file).
  Entry target{"FuzzSection", "FuzzKey"};
  if (mode <= 1 && !keys.empty()) {
    target = keys.back();
  } else if (mode == 2 && !sections.empty()) {
    target.section = sections.back();
  }
  const std::string before(bytes);
  const bool existed = ini.ReadString(target.section, target.key, kMissing) != kMissing;
  std::string error;
  const bool breaks = value.find_first_of("\r\n") != std::string::npos;
  const bool written = ini.WriteString(target.section, target.key, value, &error);
  FUZZ_CHECK(written == !breaks);

  IniFile reread(path);
  FUZZ_CHECK(reread.Bytes() == ini.Bytes());
  if (!written) {
    // Refused: nothing changed, on disk or in the object.
    FUZZ_CHECK(reread.Bytes() == before);
    return 0;
  }
  FUZZ_CHECK(reread.ReadString(target.section, target.key, kMissing) == value);
  CheckOtherLinesKept(before, reread.Bytes(), existed);
  for (size_t i = 0; i < keys.size(); ++i) {
    if (MayBeSame(keys[i], target)) continue;
    FUZZ_CHECK(reread.ReadString(keys[i].section, keys[i].key, kMissing) == values[i]);
  }
  return 0;
}
