#include "common/Gbk.h"

#include <QCoreApplication>

#include <iconv.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace gbk {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kEuro = 0x20AC;

// Lead bytes 0x81..0xFE, trail bytes 0x40..0xFE without 0x7F.
constexpr int kLeadFirst = 0x81, kLeadLast = 0xFE;
constexpr int kTrailFirst = 0x40, kTrailLast = 0xFE;

bool IsLead(uint8_t b) { return b >= kLeadFirst && b <= kLeadLast; }
bool IsTrail(uint8_t b) { return b >= kTrailFirst && b <= kTrailLast && b != 0x7F; }

// Both directions of the double-byte plane, built once from the C library's
// converter. Decoding then is a table lookup per character, fast enough for
// a 320 x 240 frame at every tick of the player.
struct Tables {
  // Unicode of lead/trail pair (lead - 0x81) * 256 + trail; 0xFFFD where unassigned.
  std::vector<char16_t> toUnicode;
  // GBK pair (lead << 8 | trail) of a BMP code point; 0 where none.
  std::vector<uint16_t> fromUnicode;
};

const Tables& GetTables() {
  static const Tables tables = [] {
    Tables t;
    t.toUnicode.assign((kLeadLast - kLeadFirst + 1) * 256, kReplacement);
    t.fromUnicode.assign(0x10000, 0);
    iconv_t cd = iconv_open("UTF-16LE", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error("the C library has no CP936 converter");
    }
    for (int lead = kLeadFirst; lead <= kLeadLast; ++lead) {
      for (int trail = kTrailFirst; trail <= kTrailLast; ++trail) {
        if (trail == 0x7F) continue;
        char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char16_t outBuf[4] = {};
        char* inPtr = in;
        size_t inLeft = 2;
        char* outPtr = reinterpret_cast<char*>(outBuf);
        size_t outLeft = sizeof outBuf;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) continue;
        if (inLeft != 0 || outLeft != sizeof outBuf - 2) continue;  // not exactly one BMP character
        char16_t u = outBuf[0];
        t.toUnicode[(lead - kLeadFirst) * 256 + trail] = u;
        if (t.fromUnicode[u] == 0) t.fromUnicode[u] = static_cast<uint16_t>(lead << 8 | trail);
      }
    }
    iconv_close(cd);
    return t;
  }();
  return tables;
}

}  // namespace

QString Decode(std::string_view bytes) {
  const Tables& t = GetTables();
  QString result;
  result.resize(static_cast<qsizetype>(bytes.size()));
  QChar* out = result.data();
  qsizetype n = 0;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t size = bytes.size();
  for (size_t i = 0; i < size;) {
    const uint8_t b = p[i];
    if (b < 0x80) {
      out[n++] = QChar(static_cast<char16_t>(b));
      ++i;
    } else if (b == 0x80) {
      out[n++] = QChar(kEuro);
      ++i;
    } else if (IsLead(b) && i + 1 < size && IsTrail(p[i + 1])) {
      out[n++] = QChar(t.toUnicode[(b - kLeadFirst) * 256 + p[i + 1]]);
      i += 2;
    } else {
      // A lone lead byte, a lead byte followed by a byte that cannot trail,
      // or 0xFF: the byte alone is replaced, the next one starts afresh.
      out[n++] = QChar(kReplacement);
      ++i;
    }
  }
  result.truncate(n);
  return result;
}

bool Encode(const QString& text, std::string* out, QString* error) {
  const Tables& t = GetTables();
  std::string bytes;
  bytes.reserve(static_cast<size_t>(text.size()) * 2);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t u = text[i].unicode();
    if (u < 0x80) {
      bytes.push_back(static_cast<char>(u));
      continue;
    }
    if (u == kEuro) {
      bytes.push_back(static_cast<char>(0x80));
      continue;
    }
    const uint16_t pair = QChar::isSurrogate(u) ? 0 : t.fromUnicode[u];
    if (pair == 0) {
      if (error) {
        const char32_t cp = text.at(i).isHighSurrogate() && i + 1 < text.size()
                                ? QChar::surrogateToUcs4(text[i], text[i + 1])
                                : u;
        const QString shown = QString::fromUcs4(&cp, 1);
        const QString hex = QString::number(static_cast<uint>(cp), 16).toUpper().rightJustified(4, QLatin1Char('0'));
        *error = QCoreApplication::translate("gbk", "字符“%1”(U+%2) 没有 GBK 编码，不能使用").arg(shown, hex);
      }
      return false;
    }
    bytes.push_back(static_cast<char>(pair >> 8));
    bytes.push_back(static_cast<char>(pair & 0xFF));
  }
  *out = std::move(bytes);
  return true;
}

std::string EncodeOrThrow(const QString& text) {
  std::string out;
  QString error;
  if (!Encode(text, &out, &error)) throw std::invalid_argument(error.toStdString());
  return out;
}

const std::string& DefaultGrayTable() {
  static const std::string table = EncodeOrThrow(QStringLiteral("厲嵌懒傳蛤凯来旯圀国困园四三二一"));
  return table;
}

}  // namespace gbk
