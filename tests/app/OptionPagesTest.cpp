// The option pages as a value: what Show() puts in is what Settings() hands
// back, and what the user changes on a page reaches the value at once.
#include "app/OptionPages.h"
#include "support/ScriptedDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(OptionPages, ShowAndSettingsRoundTripEveryField) {
  ScriptedDialogs dialogs;
  OptionPages pages(dialogs);
  QSignalSpy changed(&pages, &OptionPages::changed);
  WindowSettings s;  // every field away from its default
  s.width = 700;
  s.height = 500;
  s.maximized = true;
  s.savePath = "/tmp/";
  s.autoConvert = false;
  s.fastRecord = true;
  s.finePicture = true;
  s.autoClearBmp = false;
  s.outputSize = 7;
  s.outputFrame = 14;
  s.grayword = "\x85\x96\xFF\x41\x42";  // does not decode cleanly: kept byte for byte
  s.grayList = {"ab", "", "\xB9\xFA"};
  for (const std::optional<OutputForm> type : {std::optional(OutputForm::Excel), std::optional<OutputForm>()}) {
    s.outputType = type;
    pages.Show(s);
    EXPECT_EQ(pages.Settings(), s);
  }
  EXPECT_EQ(changed.count(), 2) << "one changed() a value shown";
  EXPECT_EQ(pages.Settings().Interval(), 1000);
  EXPECT_EQ(pages.Settings().OutputRect()->Right, 280);
  EXPECT_EQ(dialogs.shown.size(), 0u) << "showing a wide size does not warn";
}

TEST(OptionPages, TheUsersChangesReachTheValue) {
  ScriptedDialogs dialogs;
  OptionPages pages(dialogs);
  pages.show();
  QSignalSpy changed(&pages, &OptionPages::changed);

  pages.setCurrentIndex(1);  // "高级"
  auto* fast = pages.findChild<QCheckBox*>(QStringLiteral("CB_FastRecord"));
  QTest::mouseClick(fast, Qt::LeftButton, {}, QPoint(6, fast->height() / 2));
  EXPECT_TRUE(pages.Settings().fastRecord);
  EXPECT_EQ(changed.count(), 1);

  // A table GBK cannot hold: the value keeps the table before it and names the character.
  pages.setCurrentIndex(2);  // "灰度表"
  auto* gray = pages.findChild<QLineEdit*>(QStringLiteral("EdGray"));
  const std::string before = pages.Settings().grayword;
  QTest::keyClick(gray, Qt::Key_End);
  QTest::keyClicks(gray, QStringLiteral("a"));
  QTest::sendKeyEvent(QTest::Click, gray, Qt::Key_unknown, QString(QChar(0x0e01)), Qt::NoModifier);
  const WindowSettings typed = pages.Settings();
  EXPECT_EQ(typed.grayword, before);
  EXPECT_EQ(typed.grayUnencodable, QStringLiteral("\u0e01"));
  std::string table;
  QString refusal;
  EXPECT_FALSE(typed.GrayTable(&table, &refusal));
  EXPECT_TRUE(refusal.contains(QStringLiteral("\u0e01"))) << refusal.toStdString();
  EXPECT_EQ(changed.count(), 3) << "each key typed";

  QTest::keyClick(gray, Qt::Key_Backspace);
  EXPECT_TRUE(pages.Settings().GrayTable(&table, &refusal));
  EXPECT_EQ(table, before + "a");
}

}  // namespace
