#include "common/Gbk.h"

#include <gtest/gtest.h>

namespace {

TEST(Gbk, DefaultGrayTableIsThirtyTwoBytesOfKnownGbk) {
  const std::string& table = gbk::DefaultGrayTable();
  ASSERT_EQ(table.size(), 32u);
  // 厲 is 0x85 0x96 and 一 is 0xD2 0xBB in code page 936.
  EXPECT_EQ(static_cast<unsigned char>(table[0]), 0x85);
  EXPECT_EQ(static_cast<unsigned char>(table[1]), 0x96);
  EXPECT_EQ(static_cast<unsigned char>(table[30]), 0xD2);
  EXPECT_EQ(static_cast<unsigned char>(table[31]), 0xBB);
  EXPECT_EQ(gbk::Decode(table), QStringLiteral("厲嵌懒傳蛤凯来旯圀国困园四三二一"));
}

TEST(Gbk, DecodeSamples) {
  struct Sample {
    std::string bytes;
    QString text;
  } samples[] = {
      {"", QString()},
      {"plain ascii\r\n", QStringLiteral("plain ascii\r\n")},
      {"\x80\x80", QStringLiteral("€€")},                            // the frame marker
      {"\xC4\xE3\xBA\xC3", QStringLiteral("你好")},                   // two characters
      {"a\xC4", QStringLiteral("a\uFFFD")},                          // lead byte at the end
      {"\xC4 ", QStringLiteral("\uFFFD ")},                            // a byte below 0x40 cannot trail: reread
      {"\xC4\x7F" "b", QStringLiteral("\uFFFD\u007F" "b")},             // 0x7F never trails
      {"\xFF" "x", QStringLiteral("\uFFFD" "x")},                       // 0xFF starts nothing
      {"\xA2\xE3", QStringLiteral("\uFFFD")},                        // an unassigned pair: one replacement
      {"\x81\x40", QStringLiteral("丂")},                             // first pair of the table
  };
  for (const Sample& s : samples) {
    EXPECT_EQ(gbk::Decode(s.bytes), s.text) << "bytes of size " << s.bytes.size();
  }
}

TEST(Gbk, EncodeRoundTripsAndRefusesWhatGbkCannotHold) {
  std::string out = "untouched";
  QString error;
  ASSERT_TRUE(gbk::Encode(QStringLiteral("A厲€ 一"), &out, &error));
  EXPECT_EQ(out, std::string("A\x85\x96\x80 \xD2\xBB"));
  EXPECT_EQ(gbk::Decode(out), QStringLiteral("A厲€ 一"));

  out = "untouched";
  EXPECT_FALSE(gbk::Encode(QStringLiteral("ab😀c"), &out, &error));
  EXPECT_EQ(out, "untouched");
  EXPECT_TRUE(error.contains(QStringLiteral("😀"))) << error.toStdString();
  EXPECT_TRUE(error.contains(QStringLiteral("U+1F600"))) << error.toStdString();

  EXPECT_FALSE(gbk::Encode(QStringLiteral("한"), &out, &error));  // Hangul has no GBK form
  EXPECT_TRUE(error.contains(QStringLiteral("U+D55C"))) << error.toStdString();
  EXPECT_THROW(gbk::EncodeOrThrow(QStringLiteral("한")), std::invalid_argument);
}

TEST(Gbk, EveryDecodableCharacterEncodesBackToItsBytes) {
  int pairs = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
      const QString text = gbk::Decode(bytes);
      ASSERT_EQ(text.size(), 1);
      if (text[0] == QChar(0xFFFD)) continue;
      std::string back;
      QString error;
      ASSERT_TRUE(gbk::Encode(text, &back, &error)) << error.toStdString();
      ASSERT_EQ(back, bytes) << std::hex << lead << " " << trail;
      ++pairs;
    }
  }
  EXPECT_GT(pairs, 21000);  // GBK assigns 21886 double-byte characters
}

}  // namespace
