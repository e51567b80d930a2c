// A private-profile (INI) settings file, on GBK bytes.
//
// The file is section lines "[name]" each followed by key lines "key=value".
// Sections and keys are matched without regard to letter case (ASCII letters;
// double-byte characters compare exactly), and the first section of a name
// is the one used. A value is the text after the first "=", with the blanks
// around it removed and one enclosing pair of single or double quotes
// removed; at most kMaxValueBytes bytes of it are read. Lines outside any
// section, lines without "=" and comment lines (";" or "#" first) never
// match a key.
//
// Writing a key replaces its value in place, or appends the key at the end
// of its section, or appends the section at the end of the file; every other
// line stays byte for byte as it was. Each write replaces the whole file
// atomically through the core's file writer, so the file on disk is always
// either the one before the write or the one after it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class IniFile {
 public:
  // Values longer than this are cut to it when read (bytes).
  static constexpr size_t kMaxValueBytes = 2047;

  // Reads the file once; a file that does not exist or cannot be read acts
  // as an empty one (Loaded() tells which).
  explicit IniFile(std::string fileName);

  const std::string& FileName() const { return fileName_; }
  bool Loaded() const { return loaded_; }
  // The file's bytes as the object holds them (after the writes so far).
  const std::string& Bytes() const { return bytes_; }

  // The value of `key` in `section`, or `def` when the key is missing.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // Decimal, or hexadecimal after "0x", "0X" or "$", either with an optional
  // sign; `def` when the key is missing or its text does not parse as a
  // 32-bit integer. Hexadecimal takes up to 8 digits, so "$FFFFFFFF" is -1.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
  // Read as an integer (default 1 or 0); anything but 0 is true.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

  // Stores `value` under `key` and replaces the file. A value that begins or
  // ends with a blank, or that is enclosed in matching quotes, is written in
  // double quotes so it reads back exactly. False with *error = "Unable to
  // write to <file>" when the file cannot be replaced (then the file on disk
  // and this object stay as they were before the call), or when the value
  // holds a line break, which would split it over two lines.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value, std::string* error);
  // Decimal text.
  bool WriteInteger(std::string_view section, std::string_view key, int32_t value, std::string* error);
  // "1" or "0".
  bool WriteBool(std::string_view section, std::string_view key, bool value, std::string* error);

 private:
  std::string fileName_;
  std::string bytes_;
  bool loaded_ = false;
};

// The text of a value as it stands after "=", as ReadString returns it:
// blanks around it and one enclosing pair of quotes removed, cut to
// IniFile::kMaxValueBytes without splitting a double-byte character.
std::string IniValueText(std::string_view raw);

// `text` as a 32-bit integer by the rules of IniFile::ReadInteger; false
// when it does not parse.
bool ParseIniInteger(std::string_view text, int32_t* value);
