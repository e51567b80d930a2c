#include "shell/Link.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

// Sets AppPath for one test and puts the old value back.
class AppPathScope {
 public:
  explicit AppPathScope(std::string path) : saved_(AppPath) { AppPath = std::move(path); }
  ~AppPathScope() { AppPath = saved_; }

 private:
  std::string saved_;
};

TEST(LinkTest, PathSamples) {
  AppPathScope scope("/opt/glyph/");
  struct Sample {
    const char* path;
    const char* absolute;
    const char* relative;
  };
  const Sample samples[] = {
      {"", "/opt/glyph/", "/"},
      {"/", "/", "/"},
      {"a", "/opt/glyph/a/", "a/"},
      {"output", "/opt/glyph/output/", "output/"},
      {"output/", "/opt/glyph/output/", "output/"},
      {"out/frames", "/opt/glyph/out/frames/", "out/frames/"},
      {"/data/x", "/data/x/", "/data/x/"},
      {"/opt/glyph/output", "/opt/glyph/output/", "output/"},
      {"/opt/glyph/output/", "/opt/glyph/output/", "output/"},
      // Only a path that begins with the whole program folder is made relative.
      {"/opt/glyph", "/opt/glyph/", "/opt/glyph/"},
      {"/opt/glyphs/x", "/opt/glyphs/x/", "/opt/glyphs/x/"},
      {"/OPT/glyph/x", "/OPT/glyph/x/", "/OPT/glyph/x/"},
  };
  for (const Sample& s : samples) {
    EXPECT_EQ(s.absolute, MakeAbsolutePath(s.path)) << "[" << s.path << "]";
    EXPECT_EQ(s.relative, MakeRelativePath(s.path)) << "[" << s.path << "]";
  }
  // A folder inside the program folder survives the round trip.
  EXPECT_EQ("/opt/glyph/a/b/", MakeAbsolutePath(MakeRelativePath("/opt/glyph/a/b")));
}

TEST(LinkTest, ProgramFolderIsTheExecutablesFolder) {
  const std::string folder = ProgramFolder();
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(exe.parent_path().string() + "/", folder);
}

}  // namespace
