// The HTML form played by a real browser: pages written by the engine are
// opened in headless Chromium, and the page's own state (which block is
// shown, what text each block holds) is read back from its DOM at chosen
// moments of the browser's virtual clock.
#include "PlayerSupport.h"

#include "common/Gbk.h"
#include "support/TestSupport.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <map>

#include <gtest/gtest.h>

namespace {

using player_support::MovieFrame;

constexpr int kWidth = 24;       // cells per row
constexpr int kHeight = 6;       // rows per frame
constexpr int kFrames = 3;
constexpr int kDelayMs = 2000;   // interval written into the page; long, so a loaded machine keeps each moment inside its block
constexpr int kBrowserTimeoutMs = 45000;

struct Block {
  bool shown = false;
  QString text;  // the block's text as the DOM holds it, entities resolved
};

QString BrowserProgram() { return QStandardPaths::findExecutable(QStringLiteral("chromium")); }

// The flags of a clean, quiet headless run with a profile of its own.
QStringList BrowserFlags(const std::string& profile) {
  return {QStringLiteral("--headless"),
          QStringLiteral("--no-sandbox"),
          QStringLiteral("--disable-gpu"),
          QStringLiteral("--no-first-run"),
          QStringLiteral("--disable-background-networking"),
          QStringLiteral("--disable-component-update"),
          QStringLiteral("--disable-sync"),
          QStringLiteral("--user-data-dir=") + QString::fromStdString(profile)};
}

// The DOM of `page` after `virtualMs` ms of the page's virtual time.
QString DumpDom(const std::string& page, int virtualMs, const std::string& profile,
                const QStringList& extraFlags = {}) {
  QStringList args = BrowserFlags(profile);
  args << extraFlags << QStringLiteral("--virtual-time-budget=%1").arg(virtualMs)
       << QStringLiteral("--dump-dom") << QUrl::fromLocalFile(QString::fromStdString(page)).toString();
  const player_support::ToolRun run = player_support::RunTool(BrowserProgram(), args, kBrowserTimeoutMs);
  EXPECT_TRUE(run.started && run.finished && run.exitCode == 0)
      << "chromium failed (exit " << run.exitCode << "): " << run.err.substr(0, 2000);
  return QString::fromUtf8(run.out);
}

QString Unescape(QString text) {
  text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
  text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
  text.replace(QStringLiteral("&nbsp;"), QString(QChar(0xA0)));
  text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
  return text;
}

// The frame blocks of a dumped page, by number.
std::map<int, Block> Blocks(const QString& dom) {
  static const QRegularExpression block(
      QStringLiteral(R"re(<div([^>]*)\bid="text(\d+)"([^>]*)><pre>(.*?)</pre></div>)re"),
      QRegularExpression::DotMatchesEverythingOption);
  std::map<int, Block> blocks;
  for (auto it = block.globalMatch(dom); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    Block b;
    b.shown = (m.captured(1) + m.captured(3)).contains(QStringLiteral("class=\"on\""));
    b.text = Unescape(m.captured(4));
    blocks[m.captured(2).toInt()] = b;
  }
  return blocks;
}

std::vector<int> ShownBlocks(const std::map<int, Block>& blocks) {
  std::vector<int> shown;
  for (const auto& [number, b] : blocks)
    if (b.shown) shown.push_back(number);
  return shown;
}

// What a block must read: the frame's rows, the marker and the info line,
// each ending where the page's lines end (the browser keeps LF).
QString ExpectedBlockText(const MovieFrame& frame) {
  std::string bytes;
  for (const std::string& row : frame.rows) bytes += row + "\n";
  bytes += "\x80\x80\n" + frame.info + "\n";
  return gbk::Decode(bytes);
}

struct PageCase {
  const char* name;
  std::string table;
  QString darkestRow;            // the all-black first row as the browser must show it
  std::vector<QString> inText;   // pieces that must appear, as themselves, in block 0
};

std::vector<PageCase> PageCases() {
  return {
      {"default table", gbk::DefaultGrayTable(), QString(kWidth, QChar(0x53B2)) /* 厲 */,
       {QStringLiteral("厲"), QStringLiteral("一")}},
      // Pairs of single-byte units; "&l" next to "t;" makes the text "&lt;",
      // which must stay those four characters, not turn into "<".
      {"ascii table with markup characters", "&&<<>>&lt;..", QString(kWidth, QChar(u'&')).repeated(2),
       {QStringLiteral("<<"), QStringLiteral(">>"), QStringLiteral("&lt;"), QStringLiteral("..")}},
  };
}

class PageInBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(BrowserProgram().isEmpty())
        << "chromium is not installed: run tools/install-deps.sh";
  }
  // Converts the ramp bitmaps with `table` into a page and the same frames
  // into a movie file, whose frames are what the blocks must show.
  std::string MakePage(const std::string& table, std::vector<MovieFrame>* frames) {
    player_support::WriteRampBitmaps(folder_.Path(), kFrames, kWidth, kHeight);
    TConverter engine;
    player_support::SetUpEngine(engine, table, kWidth, kHeight, kDelayMs);
    const ConversionResult movie =
        player_support::Convert(engine, OutputForm::Text, folder_.Path(), "clip.avi");
    *frames = player_support::SplitMovie(testing_support::ReadAll(movie.outputPath));
    const ConversionResult page =
        player_support::Convert(engine, OutputForm::Html, folder_.Path(), "clip.avi");
    return page.outputPath;
  }
  std::string Profile(const std::string& name) { return folder_ / ("profile-" + name); }

  testing_support::TempFolder folder_;
};

TEST_F(PageInBrowser, BlocksPlayOneAtATimeAndShowTheirTextAsIs) {
  int run = 0;
  for (const PageCase& c : PageCases()) {
    SCOPED_TRACE(c.name);
    std::vector<MovieFrame> frames;
    const std::string page = MakePage(c.table, &frames);
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));

    // The moments: half a delay in, one and a half delays in, and long after
    // the last block is due. Exactly one block is shown at each.
    const struct {
      int virtualMs;
      int shown;
    } moments[] = {{kDelayMs / 2, 0}, {kDelayMs * 3 / 2, 1}, {kDelayMs * (kFrames + 3), kFrames - 1}};
    for (const auto& moment : moments) {
      SCOPED_TRACE("at " + std::to_string(moment.virtualMs) + " ms");
      const std::map<int, Block> blocks = Blocks(DumpDom(page, moment.virtualMs, Profile(std::to_string(run++))));
      ASSERT_EQ(blocks.size(), static_cast<size_t>(kFrames));
      EXPECT_EQ(ShownBlocks(blocks), std::vector<int>{moment.shown});
      for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(blocks.at(i).text, ExpectedBlockText(frames[static_cast<size_t>(i)]))
            << "block " << i;
      }
      const QString firstRow = blocks.at(0).text.section(QLatin1Char('\n'), 0, 0);
      EXPECT_EQ(firstRow, c.darkestRow);
      for (const QString& piece : c.inText)
        EXPECT_TRUE(blocks.at(0).text.contains(piece)) << piece.toStdString();
    }
  }
}

// A page in a frame of a probe page that reads the played page's state: which
// block is shown before and after a key and a click at the end, and how wide
// units of two single-byte characters are against double-byte units.
TEST_F(PageInBrowser, KeyAndClickReplayAndSingleBytePairsTakeOneDoubleByteWidth) {
  std::vector<MovieFrame> frames;
  const std::string page = MakePage(gbk::DefaultGrayTable(), &frames);
  const std::string probe = folder_ / "probe.htm";
  const int lastDue = kDelayMs * (kFrames + 2);
  const std::string probeText = R"html(<!DOCTYPE html><html><head><meta charset="utf-8"></head><body>
<iframe id="f" src="clip.htm" style="width:1400px;height:600px"></iframe><p id="result">none</p>
<script>
function shown(d){var r=[];for(var i=0;d.getElementById("text"+i);++i)if(d.getElementById("text"+i).className=="on")r.push(i);return r.join(",");}
function width(d,text){var pre=d.querySelector("#text0 pre");var s=d.createElement("span");s.textContent=text;pre.appendChild(s);
  var w=s.getBoundingClientRect().width;pre.removeChild(s);return w;}
document.getElementById("f").onload=function(){
  var d=document.getElementById("f").contentWindow.document;
  setTimeout(function(){
    var atEnd=shown(d);
    d.dispatchEvent(new KeyboardEvent("keydown",{key:" "}));
    var afterKey=shown(d);
    setTimeout(function(){
      var atEndAgain=shown(d);
      d.body.click();
      var afterClick=shown(d);
      var ascii=width(d,"ab&<>.  ab&<>.  "), cjk=width(d,"\u53b2\u5d4c\u61d2\u50b3\u86e4\u51ef\u6765\u65ef");
      document.getElementById("result").textContent="end="+atEnd+" key="+afterKey+" end="+atEndAgain+
          " click="+afterClick+" ascii="+ascii.toFixed(2)+" cjk="+cjk.toFixed(2);
    }, )html" + std::to_string(lastDue) + R"html();
  }, )html" + std::to_string(lastDue) + R"html();
};
</script></body></html>)html";
  testing_support::WriteAll(probe, probeText);

  const QString dom = DumpDom(probe, 2 * lastDue + 2 * kDelayMs, Profile("probe"),
                              {QStringLiteral("--allow-file-access-from-files")});
  static const QRegularExpression result(
      QStringLiteral(R"re(id="result">end=([\d,]*) key=([\d,]*) end=([\d,]*) click=([\d,]*) ascii=([\d.]+) cjk=([\d.]+)<)re"));
  const QRegularExpressionMatch m = result.match(dom);
  ASSERT_TRUE(m.hasMatch()) << "the probe page did not report: " << dom.right(400).toStdString();
  EXPECT_EQ(m.captured(1), QString::number(kFrames - 1)) << "the last block stays shown at the end";
  EXPECT_EQ(m.captured(2), QStringLiteral("0")) << "a key starts again from block 0";
  EXPECT_EQ(m.captured(3), QString::number(kFrames - 1)) << "the replay ends on the last block again";
  EXPECT_EQ(m.captured(4), QStringLiteral("0")) << "a click starts again from block 0";
  const double ascii = m.captured(5).toDouble(), cjk = m.captured(6).toDouble();
  EXPECT_GT(cjk, 0.0);
  EXPECT_NEAR(ascii, cjk, 0.5) << "16 single-byte characters against 8 double-byte ones";
}

}  // namespace
