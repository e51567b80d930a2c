// GBK text: the code page of every file Glyphreel reads and writes.
//
// The engine and the reader work on bytes and never decode. Text is decoded
// only to show it, and encoded only where the user's own text enters the
// system (an edit box, the command line).
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace gbk {

// Decodes GBK bytes (Windows code page 936) for display. An invalid or
// unassigned sequence becomes U+FFFD and decoding goes on with the next byte
// that can start a character; the single byte 0x80 reads as U+20AC, as code
// page 936 has it, so the frame marker 0x80 0x80 shows as two euro signs.
QString Decode(std::string_view bytes);

// Encodes text the user entered. Returns false when a character has no GBK
// form, and then sets *error to a message that names the character (and
// leaves *out untouched). Nothing is ever silently replaced.
bool Encode(const QString& text, std::string* out, QString* error);

// Encode() for text known to be encodable (literals of the program itself).
// Throws std::invalid_argument naming the character otherwise.
std::string EncodeOrThrow(const QString& text);

// The default gray table, darkest first: 16 double-byte characters, 32 bytes.
const std::string& DefaultGrayTable();

}  // namespace gbk
