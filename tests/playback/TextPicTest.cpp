#include "playback/TextPic.h"

#include "playback/MovieNumbers.h"

#include "common/FileWrite.h"
#include "common/Gbk.h"
#include "conversion/BmpTxt.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing_support::TempFolder;
using testing_support::WriteAll;

const std::string kMarker = "\x80\x80";

// One frame as the writer lays it out, with CR LF breaks.
std::string Frame(const std::vector<std::string>& rows, const std::string& info) {
  std::string frame;
  for (const std::string& row : rows) frame += row + "\r\n";
  return frame + kMarker + "\r\n" + info + "\r\n";
}

std::string Info(int width, int interval, int number) {
  return "W" + ZeroPad(width, 3) + "V" + ZeroPad(interval, 4) + "F" + ZeroPad(number, 5);
}

std::string WithBreaks(const std::string& crlfText, const std::string& lineBreak) {
  std::string out;
  for (size_t i = 0; i < crlfText.size(); ++i) {
    if (crlfText.compare(i, 2, "\r\n") == 0) {
      out += lineBreak;
      ++i;
    } else {
      out += crlfText[i];
    }
  }
  return out;
}

// The lines of `text`, split by a rule of the test's own: CR LF, LF and CR
// each end a line; a final break starts no further line.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.push_back(line);
      line.clear();
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += text[i];
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

struct Movie {
  int32_t total, width, interval, linesPerFrame;
  std::vector<std::string> frames;
};

Movie Snapshot(const TTextPic& reader) {
  Movie m{reader.FrameTotal(), reader.FrameWidth(), reader.FrameInterval(), reader.LinesPerFrame(), {}};
  for (int32_t i = 0; i < reader.FrameTotal(); ++i) m.frames.push_back(reader.GetFrame(i));
  return m;
}

void ExpectMovie(const Movie& expected, const TTextPic& reader, const std::string& what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(expected.total, reader.FrameTotal());
  EXPECT_EQ(expected.width, reader.FrameWidth());
  EXPECT_EQ(expected.interval, reader.FrameInterval());
  EXPECT_EQ(expected.linesPerFrame, reader.LinesPerFrame());
  ASSERT_EQ(expected.frames.size(), static_cast<size_t>(reader.FrameTotal()));
  for (size_t i = 0; i < expected.frames.size(); ++i) {
    EXPECT_EQ(expected.frames[i], reader.GetFrame(static_cast<int32_t>(i))) << "frame " << i;
    EXPECT_EQ(expected.frames[i], reader.FrameView(static_cast<int32_t>(i))) << "frame " << i;
  }
}

// Loads `bytes` from a file and from its list of lines; both must give
// `expected`. Reading the file's numbers in one pass gives its numbers too,
// however small the pieces it is read in.
void ExpectBothPaths(const std::string& bytes, const Movie& expected, const std::string& what) {
  TempFolder folder;
  WriteAll(folder / "movie.txt", bytes);
  TTextPic fromFile;
  fromFile.FrameMarker = kMarker;
  ASSERT_TRUE(fromFile.LoadFromFile(folder / "movie.txt")) << what;
  ExpectMovie(expected, fromFile, what + " (file)");
  for (const size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{16}, size_t{1} << 18}) {
    playback::MovieNumbers numbers;
    ASSERT_TRUE(playback::ReadMovieNumbers(folder / "movie.txt", kMarker, &numbers, nullptr, chunk));
    EXPECT_EQ(numbers.frameTotal, expected.total) << what << ", read by " << chunk;
    EXPECT_EQ(numbers.frameWidth, expected.width) << what << ", read by " << chunk;
    EXPECT_EQ(numbers.frameInterval, expected.interval) << what << ", read by " << chunk;
    EXPECT_EQ(numbers.linesPerFrame, expected.linesPerFrame) << what << ", read by " << chunk;
  }

  TTextPic fromList;
  fromList.FrameMarker = kMarker;
  fromList.LoadFromList(Lines(bytes));
  ExpectMovie(expected, fromList, what + " (list)");
}

TEST(TextPicTest, WorkedExampleFramesOfTwoRows) {
  const std::string frame = Frame({"ab", "cd"}, Info(2, 100, 0));
  ASSERT_EQ(29u, frame.size());
  std::string file;
  std::vector<std::string> frames;
  for (int n = 0; n < 3; ++n) {
    frames.push_back(Frame({"ab", "cd"}, Info(2, 100, n)));
    file += frames.back();
  }
  ExpectBothPaths(file, {3, 2, 100, 4, frames}, "three frames");
}

TEST(TextPicTest, LineEndsOtherThanCrLfGiveTheSameFrames) {
  const std::string a = Frame({"ab", "cd"}, Info(2, 250, 0));
  const std::string b = Frame({"ef", "gh"}, Info(2, 250, 1));
  const Movie expected{2, 2, 250, 4, {a, b}};
  for (const char* lineBreak : {"\n", "\r", "\r\n"}) {
    const std::string file = WithBreaks(a + b, lineBreak);
    ExpectBothPaths(file, expected, std::string("break ") + (lineBreak[0] == '\n' ? "LF" : lineBreak[1] ? "CRLF" : "CR"));
    // Without the last break, the last line still ends in CR LF.
    ExpectBothPaths(file.substr(0, file.size() - std::string(lineBreak).size()), expected, "no final break");
  }
  // Mixed breaks in one file.
  std::string mixed = "ab\ncd\r" + kMarker + "\r\n" + Info(2, 250, 0) + "\n";
  ExpectBothPaths(mixed, {1, 2, 250, 4, {a}}, "mixed breaks");
}

TEST(TextPicTest, TextsThatAreNotMoviesBecomeOneFrame) {
  const std::string info = Info(2, 100, 0);
  struct Case {
    const char* what;
    std::string file;
    Movie expected;
  };
  const std::vector<Case> cases = {
      {"empty file", "", {1, 0, 0, 0, {""}}},
      {"one empty line", "\n", {1, 0, 0, 1, {"\r\n"}}},
      {"plain text", "hello\nworld\r\n\r\nend", {1, 0, 0, 4, {"hello\r\nworld\r\n\r\nend\r\n"}}},
      {"marker without rows before it: separator at the start",
       "\r\n" + kMarker + "\r\n" + info + "\r\nab\r\n",
       {1, 0, 0, 4, {"\r\n" + kMarker + "\r\n" + info + "\r\nab\r\n"}}},
      {"width not a number", "ab\r\n" + kMarker + "\r\nW0a2V0100F00000\r\n",
       {1, 0, 0, 3, {"ab\r\n" + kMarker + "\r\nW0a2V0100F00000\r\n"}}},
      {"width with a sign", "ab\r\n" + kMarker + "\r\nW-02V0100F00000\r\n",
       {1, 0, 0, 3, {"ab\r\n" + kMarker + "\r\nW-02V0100F00000\r\n"}}},
      {"width with a blank", "ab\r\n" + kMarker + "\r\nW 02V0100F00000\r\n",
       {1, 0, 0, 3, {"ab\r\n" + kMarker + "\r\nW 02V0100F00000\r\n"}}},
      // The width read before the interval failed stays.
      {"interval not a number", "ab\r\n" + kMarker + "\r\nW002V01x0F00000\r\n",
       {1, 2, 0, 3, {"ab\r\n" + kMarker + "\r\nW002V01x0F00000\r\n"}}},
      {"interval with a sign", "ab\r\n" + kMarker + "\r\nW002V+100F00000\r\n",
       {1, 2, 0, 3, {"ab\r\n" + kMarker + "\r\nW002V+100F00000\r\n"}}},
      {"info line cut short", "ab\r\n" + kMarker + "\r\nW00\r\n",
       {1, 0, 0, 3, {"ab\r\n" + kMarker + "\r\nW00\r\n"}}},
      {"another marker", "ab\r\n~~\r\n" + info + "\r\n", {1, 0, 0, 3, {"ab\r\n~~\r\n" + info + "\r\n"}}},
  };
  for (const Case& c : cases) ExpectBothPaths(c.file, c.expected, c.what);
}

TEST(TextPicTest, StrayLinesAndUnequalHeightsCountInLinesPerFrame) {
  const std::string a = Frame({"ab", "cd"}, Info(2, 100, 0));
  const std::string b = Frame({"ef", "gh", "ij"}, Info(2, 100, 1));
  const std::string c = Frame({"kl"}, Info(2, 100, 2));
  // 4 + 5 + 3 lines over 3 frames.
  ExpectBothPaths(a + b + c, {3, 2, 100, 4, {a, b, c}}, "unequal heights");
  // Two stray lines after the last frame: (4 + 4 + 2) / 2 = 5, frames unchanged.
  ExpectBothPaths(a + a + "x\r\ny\r\n", {2, 2, 100, 5, {a, a}}, "stray lines");
  // Stray lines holding a marker line but no separator before it.
  ExpectBothPaths(a + kMarker + "\r\nW002\r\n", {1, 2, 100, 6, {a}}, "stray marker");
  // 4 + 5 = 9 lines over 2 frames: truncated to 4.
  ExpectBothPaths(a + b, {2, 2, 100, 4, {a, b}}, "truncated average");
}

TEST(TextPicTest, FrameEndsWithItsInfoLineWhateverItsLength) {
  // A longer info line (a six-digit frame number, or trailing text) stays
  // whole with its frame rather than spilling into the next one.
  const std::string a = Frame({"ab", "cd"}, "W002V0100F100000");
  const std::string b = Frame({"ef", "gh"}, "W002V0100F100001 extra");
  ExpectBothPaths(a + b, {2, 2, 100, 4, {a, b}}, "long info lines");
}

// Reading the numbers in one pass agrees with loading on texts put together
// at random from the pieces that matter: breaks of every kind next to
// markers, "W", digits and the "V" place, frames without rows.
TEST(TextPicTest, OnePassNumbersAgreeWithLoadingOnRandomTexts) {
  TempFolder folder;
  const std::string pieces[] = {"\r", "\n", "\r\n", kMarker, "W", "W002V0100F00000", "W00", "0", "V", "ab",
                                "\r\n" + kMarker + "\r\nW002V0100F00000\r\n", "\n" + kMarker + "\rW012V0067"};
  uint32_t seed = 2024;
  for (int round = 0; round < 800; ++round) {
    std::string text;
    seed = seed * 1103515245u + 12345u;
    for (int n = static_cast<int>(seed >> 28); n >= 0; --n) {
      seed = seed * 1103515245u + 12345u;
      text += pieces[(seed >> 16) % std::size(pieces)];
    }
    WriteAll(folder / "movie.txt", text);
    TTextPic movie;
    movie.FrameMarker = kMarker;
    ASSERT_TRUE(movie.LoadFromFile(folder / "movie.txt"));
    playback::MovieNumbers numbers;
    ASSERT_TRUE(playback::ReadMovieNumbers(folder / "movie.txt", kMarker, &numbers, nullptr, 1 + seed % 9));
    const std::vector<int32_t> loaded{movie.FrameTotal(), movie.FrameWidth(), movie.FrameInterval(),
                                      movie.LinesPerFrame()};
    ASSERT_EQ((std::vector<int32_t>{numbers.frameTotal, numbers.frameWidth, numbers.frameInterval,
                                    numbers.linesPerFrame}),
              loaded)
        << testing::PrintToString(text);
  }
}

TEST(TextPicTest, GetFrameOutsideTheMovieIsEmpty) {
  TTextPic reader;
  reader.FrameMarker = kMarker;
  EXPECT_EQ("", reader.GetFrame(0));
  const std::string a = Frame({"ab"}, Info(2, 100, 0));
  reader.LoadFromList(Lines(a + a));
  ASSERT_EQ(2, reader.FrameTotal());
  for (int32_t index : {-1, 2, 3, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ("", reader.GetFrame(index)) << index;
    EXPECT_TRUE(reader.FrameView(index).empty()) << index;
  }
  EXPECT_EQ(a, reader.GetFrame(1));
}

TEST(TextPicTest, LoadReplacesTheMovieAndAFailedLoadKeepsIt) {
  TempFolder folder;
  const std::string first = Frame({"ab", "cd"}, Info(2, 100, 0));
  const std::string second = Frame({"efgh"}, Info(4, 500, 0));
  WriteAll(folder / "first.txt", first + first + first);
  WriteAll(folder / "second.txt", second);

  TTextPic reader;
  reader.FrameMarker = kMarker;
  ASSERT_TRUE(reader.LoadFromFile(folder / "first.txt"));
  const Movie loaded = Snapshot(reader);
  EXPECT_EQ(3, loaded.total);

  // Files it cannot or must not read: the reason, and the movie as it was.
  struct {
    std::string path;
    const char* reason;
  } refused[] = {{folder / "missing.txt", "No such file"},
                 {folder.Path(), "not a regular file"},
                 {"/dev/zero", "not a regular file"}};  // endless: never read
  for (const auto& r : refused) {
    std::string error;
    bool tooLarge = true;
    EXPECT_FALSE(reader.LoadFromFile(r.path, &error, &tooLarge)) << r.path;
    EXPECT_NE(error.find(r.reason), std::string::npos) << r.path << ": " << error;
    EXPECT_FALSE(tooLarge) << r.path;
    ExpectMovie(loaded, reader, r.path.c_str());
  }

  ASSERT_TRUE(reader.LoadFromFile(folder / "second.txt"));
  ExpectMovie({1, 4, 500, 3, {second}}, reader, "second movie");

  reader.Clear();
  ExpectMovie({0, 0, 0, 0, {}}, reader, "cleared");
  EXPECT_EQ(kMarker, reader.FrameMarker);
}

TEST(TextPicTest, MovieOfMoreThanOneHundredThousandFrames) {
  // Written by the engine itself: frame numbers run to 100000, whose info
  // line is one character longer than the others.
  TConverter engine;
  engine.GrayTable = gbk::DefaultGrayTable();
  engine.GrayLevels = CountGrayUnits(engine.GrayTable);
  engine.Interval = 67;
  engine.OutputRect = {0, 0, 2, 1};
  engine.FrameMarker = kMarker;
  const QImage picture = testing_support::MakeImage(2, 1, [](int x, int) { return x ? 0xFFFFFFu : 0u; });
  constexpr int kFrames = 100001;
  std::string file;
  std::vector<size_t> ends;
  for (int n = 0; n < kFrames; ++n) {
    engine.FrameIndex = n;
    engine.AppendFrame(picture, &file);
    ends.push_back(file.size());
  }

  TempFolder folder;
  WriteAll(folder / "long.txt", file);
  TTextPic reader;
  reader.FrameMarker = kMarker;
  ASSERT_TRUE(reader.LoadFromFile(folder / "long.txt"));
  EXPECT_EQ(kFrames, reader.FrameTotal());
  EXPECT_EQ(2, reader.FrameWidth());
  EXPECT_EQ(67, reader.FrameInterval());
  EXPECT_EQ(3, reader.LinesPerFrame());
  size_t start = 0;
  for (int n = 0; n < kFrames; ++n) {
    ASSERT_EQ(std::string_view(file).substr(start, ends[n] - start), reader.FrameView(n)) << "frame " << n;
    start = ends[n];
  }
  EXPECT_TRUE(reader.GetFrame(kFrames - 1).ends_with("F100000\r\n"));
}

// The reader's own buffer: breaks widened in place, from the back, and grown
// without a copy where the file has more lone breaks than the room it keeps.
TEST(MovieTextTest, ReadsEveryKindOfBreakAsCrLf) {
  // Lines long enough that the spare room suffices, and short ones that do not.
  std::string longLines, shortLines;
  for (int i = 0; i < 3000; ++i) longLines += std::string(300, static_cast<char>('a' + i % 26)) + (i % 2 ? "\n" : "\r");
  for (int i = 0; i < 60000; ++i) shortLines += (i % 3 ? "x\n" : "\n");
  const struct {
    const char* what;
    std::string file;
  } cases[] = {
      {"empty", ""},
      {"crlf", "ab\r\ncd\r\n"},
      {"lf", "ab\ncd\n"},
      {"cr", "ab\rcd\r"},
      {"no final break", "ab\ncd"},
      {"only breaks", "\n\r\r\n\n\r"},
      {"cr then crlf", "a\r\r\nb"},
      {"lf then cr", "a\n\rb\r"},
      {"lone cr at the end", "abc\r"},
      {"long lines", longLines},
      {"short lines, more breaks than the spare room", shortLines},
  };
  TempFolder folder;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteAll(folder / "movie.txt", c.file);
    playback::MovieText text;
    int64_t lines = -1;
    ASSERT_TRUE(playback::ReadMovieText(folder / "movie.txt", &text, &lines));
    std::string expected;
    for (const std::string& line : Lines(c.file)) expected += line + "\r\n";
    EXPECT_EQ(text.View(), expected) << testing_support::FirstDifference(expected, text.View());
    EXPECT_EQ(lines, static_cast<int64_t>(Lines(c.file).size()));
    EXPECT_GE(text.Capacity(), text.Size());
  }
}

TEST(MovieTextTest, TheMovieOutlivesItsFile) {
  TempFolder folder;
  const std::string a = Frame({"ab", "cd"}, Info(2, 100, 0));
  std::string file;
  for (int i = 0; i < 100000; ++i) file += a;  // 2.3 MB: past one huge page
  WriteAll(folder / "movie.txt", file);
  TTextPic reader;
  reader.FrameMarker = kMarker;
  ASSERT_TRUE(reader.LoadFromFile(folder / "movie.txt"));
  WriteAll(folder / "movie.txt", "truncated");
  ASSERT_TRUE(fileio::RemoveFile(folder / "movie.txt", nullptr));
  EXPECT_EQ(reader.FrameTotal(), 100000);
  EXPECT_EQ(reader.FrameView(99999), a);
  EXPECT_EQ(reader.FrameView(0), a);
}

}  // namespace
