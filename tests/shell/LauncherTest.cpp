#include "shell/Launcher.h"

#include <gtest/gtest.h>

namespace {

TEST(LauncherTest, TargetsBecomeAddressesOrLocalFiles) {
  const std::string app = "/opt/glyph/";
  EXPECT_EQ(QUrl(QStringLiteral("https://glyphreel.example.org/")), LaunchUrl("https://glyphreel.example.org/", app));
  EXPECT_EQ(QStringLiteral("mailto"), LaunchUrl("mailto:glyphreel@example.org", app).scheme());

  struct Local {
    std::string target;
    QString file;
  };
  const Local locals[] = {
      {"/tmp/out/movie.htm", QStringLiteral("/tmp/out/movie.htm")},
      {"/tmp/out/", QStringLiteral("/tmp/out/")},
      {"/tmp/a b#c?.txt", QStringLiteral("/tmp/a b#c?.txt")},
      {"/tmp/\xe5\xbd\x95\xe5\x83\x8f.txt", QString::fromUtf8("/tmp/录像.txt")},
      // A relative path is taken from the program folder, not the current one.
      {"dll/Help.txt", QStringLiteral("/opt/glyph/dll/Help.txt")},
  };
  for (const Local& l : locals) {
    const QUrl url = LaunchUrl(l.target, app);
    EXPECT_TRUE(url.isLocalFile()) << l.target;
    EXPECT_EQ(l.file, url.toLocalFile()) << l.target;
  }
  EXPECT_FALSE(LaunchUrl("", app).isValid());
}

TEST(LauncherTest, CommandLinesSplitIntoProgramAndArguments) {
  EXPECT_EQ((QStringList{QStringLiteral("xdg-open"), QStringLiteral("/tmp/out/")}),
            SplitCommandLine("xdg-open /tmp/out/"));
  EXPECT_EQ((QStringList{QStringLiteral("prog"), QStringLiteral("a b"), QStringLiteral("c")}),
            SplitCommandLine("prog \"a b\"  c"));
  EXPECT_TRUE(SplitCommandLine("   ").isEmpty());
}

}  // namespace
