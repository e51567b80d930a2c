// glyphreel-cli convert: numbered bitmaps to a character movie, a page, a
// workbook or frame files, exactly as the window's conversion run writes them.
#include "cli/ConvertJob.h"
#include "cli/ProgressLine.h"
#include "common/FileWrite.h"
#include "common/FolderLock.h"
#include "common/FrameFolder.h"
#include "common/Gbk.h"
#include "conversion/BmpTxt.h"
#include "conversion/FinePicture.h"

#include <climits>

#include <cstdio>

namespace cli {

const char* const kConvertUsage =
    "usage: glyphreel-cli convert FOLDER [--form text|html|xls|frames] [--size N|WxH]\n"
    "                             [--fps N | --interval MS] [--picture classic|fine]\n"
    "                             [--gray TEXT | --gray-file FILE] [--name VIDEO] [--overwrite]\n"
    "\n"
    "Converts FOLDER/1.bmp, 2.bmp, ... into FOLDER, named after VIDEO (default movie).\n"
    "  --form       text (default): one character movie, VIDEO.txt or the next free name\n"
    "               html: one page; xls: data.xxx and the workbook VIDEO.xls;\n"
    "               frames: one text file per frame in the folder VIDEO/\n"
    "  --size       index 0 to 8 or one of 60x45 80x60 100x75 120x90 160x120 200x150\n"
    "               240x180 280x210 320x240 (default 1, 80x60)\n"
    "  --fps        frames a second the bitmaps were recorded at, 1 to 15 (default 10)\n"
    "  --interval   milliseconds between frames, 1 to 9999, instead of --fps\n"
    "  --picture    classic (default): each cell takes the picture's nearest pixel and the\n"
    "               gray table's units in their order; fine: each cell takes the mean of\n"
    "               the area it covers and the units in the order of their measured ink\n"
    "               (the same file formats; every player plays it)\n"
    "  --gray       the gray table, darkest first (default 厲嵌懒傳蛤凯来旯圀国困园四三二一;\n"
    "               with --picture fine, a built-in table of 32 units)\n"
    "  --gray-file  a file holding the gray table as GBK bytes\n"
    "  --overwrite  replace VIDEO.txt (VIDEO.xls) instead of taking a free name; only a run\n"
    "               that converted every bitmap it found, and at least one, replaces\n"
    "Every form keeps an earlier output unless the run converted every bitmap: the\n"
    "frames of an incomplete run go to VIDEO_01/ (the next free name) beside VIDEO/.\n"
    "Refuses a FOLDER without 1.bmp. Waits while another conversion or recording\n"
    "works in FOLDER.\n"
    "Prints the path of the written output as the last line.\n";

namespace {

OutputForm ParseForm(const std::string& text) {
  const std::pair<const char*, OutputForm> forms[] = {
      {"text", OutputForm::Text}, {"html", OutputForm::Html}, {"xls", OutputForm::Excel}, {"frames", OutputForm::Frames}};
  for (const auto& [name, form] : forms)
    if (text == name) return form;
  throw UsageError{"--form must be text, html, xls or frames, not \"" + text + "\""};
}

Rect ParseSize(const std::string& text) {
  const OutputSizeTable& sizes = StandardOutputSizes();
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '8') return sizes[static_cast<size_t>(text[0] - '0')];
  for (const Rect& r : sizes) {
    if (text == std::to_string(r.Right) + "x" + std::to_string(r.Bottom)) return r;
  }
  throw UsageError{"--size must be an index 0 to 8 or one of the nine sizes such as 160x120, not \"" + text + "\""};
}

bool FinePictureFrom(const Arguments& a) {
  const std::string picture = a.Value("picture").value_or("classic");
  if (picture != "classic" && picture != "fine") {
    throw UsageError{"--picture must be classic or fine, not \"" + picture + "\""};
  }
  return picture == "fine";
}

// The table given, else the default table (the fine picture's own with `fine`).
std::string GrayTableFrom(const Arguments& a, bool fine) {
  if (a.Has("gray") && a.Has("gray-file")) throw UsageError{"give --gray or --gray-file, not both"};
  if (const auto text = a.Value("gray")) {
    std::string bytes;
    QString error;
    if (!gbk::Encode(QString::fromUtf8(text->data(), static_cast<qsizetype>(text->size())), &bytes, &error)) {
      throw UsageError{"--gray: " + error.toStdString()};
    }
    return bytes;
  }
  if (const auto file = a.Value("gray-file")) {
    std::string bytes, error;
    if (!fileio::ReadFile(*file, &bytes, &error)) throw UsageError{"--gray-file: " + error};
    // One final line break is not part of the table.
    if (!bytes.empty() && bytes.back() == '\n') bytes.pop_back();
    if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    return bytes;
  }
  return fine ? fine::FineGrayTable() : gbk::DefaultGrayTable();
}

}  // namespace

int IntervalOfFps(const Arguments& a) {
  return IntervalForFrameRate(ParseInt(a.Value("fps").value_or("10"), 1, kMaxFramesPerSecond, "--fps"));
}

ConvertJob MakeConvertJob(const Context& context, const Arguments& a, const std::string& folder,
                          const std::string& videoName) {
  if (a.Has("fps") && a.Has("interval")) throw UsageError{"give --fps or --interval, not both"};

  ConvertJob job;
  TConverter& engine = job.engine;
  engine.FrameMarker = kFrameMarker;
  engine.FinePicture = FinePictureFrom(a);
  engine.GrayTable = GrayTableFrom(a, engine.FinePicture);
  engine.GrayLevels = CountGrayUnits(engine.GrayTable);
  engine.OutputRect = ParseSize(a.Value("size").value_or("1"));
  engine.Interval = a.Has("interval") ? ParseInt(*a.Value("interval"), 1, 9999, "--interval") : IntervalOfFps(a);
  std::string refusal;
  if (!engine.CheckOptions(&refusal)) throw UsageError{refusal};

  ConversionRequest& request = job.request;
  request.form = ParseForm(a.Value("form").value_or("text"));
  request.recordFolder = folder;
  request.videoFileName = videoName;
  request.supportFolder = context.supportFolder;
  request.overwrite = a.Has("overwrite");
  if (request.videoFileName.empty() || request.videoFileName.find('/') != std::string::npos) {
    throw UsageError{"--name must be a file name without a folder"};
  }
  // The longest name an output can take: the stem, "_NN" and ".txt".
  constexpr size_t kLongestSuffix = 3 + 4;
  const long nameMax = ::pathconf(fileio::DirectoryExists(folder) ? folder.c_str() : ".", _PC_NAME_MAX);
  const size_t limit = nameMax > 0 ? static_cast<size_t>(nameMax) : NAME_MAX;
  if (StripExtension(request.videoFileName).size() + kLongestSuffix > limit) {
    throw UsageError{"--name is too long for the file system (at most " + std::to_string(limit - kLongestSuffix) +
                     " bytes without the extension)"};
  }
  return job;
}

namespace {

std::vector<std::string> With(std::vector<std::string> list, const std::string& more) {
  list.push_back(more);
  return list;
}

}  // namespace

bool LockFolder(const std::string& folder, fileio::FolderLock* lock) {
  std::string error;
  bool busy = false;
  if (lock->Acquire(folder, fileio::FolderLock::Wait::No, &error, &busy)) return true;
  if (busy) {
    std::fprintf(stderr, "glyphreel-cli: %s; waiting for it to finish\n", error.c_str());
    if (lock->Acquire(folder, fileio::FolderLock::Wait::Yes, &error)) return true;
  }
  if (!fileio::InterruptRequested()) std::fprintf(stderr, "glyphreel-cli: %s\n", error.c_str());
  return false;
}

int ConvertCommand(const Context& context, const std::vector<std::string>& args) {
  const Arguments a(args, kConvertFlags, With(kConvertOptions, "name"));
  const std::string folder = AsFolder(a.Require(0, "FOLDER"));
  a.AtMost(1);
  ConvertJob job = MakeConvertJob(context, a, folder, a.Value("name").value_or("movie"));
  if (!fileio::DirectoryExists(job.request.recordFolder)) {
    std::fprintf(stderr, "glyphreel-cli: no such folder: %s\n", job.request.recordFolder.c_str());
    return kFailed;
  }
  return RunConvertJob(context, job);
}

int RunConvertJob(const Context& context, ConvertJob& job, FrameSource* source, int expectedFrames) {
  TConverter& engine = job.engine;
  const ConversionRequest& request = job.request;
  // RunConversion shares the lock taken here.
  fileio::FolderLock lock;
  if (!LockFolder(request.recordFolder, &lock)) return kFailed;
  // The folder's bitmaps stream straight into the movie (the bytes the
  // window's frame files and their merge give), so no file is written per frame.
  NumberedBitmaps bitmaps(request.recordFolder, 1);
  if (!source) {
    const auto numbered = frames::BitmapsByNumber(request.recordFolder);
    // Converting nothing is no conversion here (the window writes the empty output).
    if (!numbered.count("1")) {
      std::fprintf(stderr, "glyphreel-cli: no numbered bitmaps in %s\n", request.recordFolder.c_str());
      return kFailed;
    }
    while (numbered.count(std::to_string(expectedFrames + 1))) ++expectedFrames;
    source = &bitmaps;
  }
  ProgressLine bar;
  engine.SetOnProgress([&](TConverter& e) {
    // A stream has no merge to count: its frames when known.
    const ProgressShare share = e.Progress(expectedFrames);
    bar.Show(e.Merging ? "merging   " : "converting", share.done, share.total,
             std::to_string(e.ConvertedCount) + " frames");
  });
  engine.OnBadBitmap = [&](const std::string& path) {
    bar.Finish();
    std::fprintf(stderr, "glyphreel-cli: 图片格式错误: %s\n", path.c_str());
  };
  const ConversionResult result = RunConversion(request, engine, source);
  if (result.ok) bar.Complete(std::to_string(result.framesConverted) + " frames");
  bar.Finish();

  if (!result.ok) {
    // An interruption is said once, by main.
    if (!fileio::InterruptRequested()) std::fprintf(stderr, "glyphreel-cli: %s\n", result.error.c_str());
    return kFailed;
  }
  int status = result.badBitmapPath.empty() ? kOk : kFailed;
  std::string written = result.outputPath;
  if (request.form == OutputForm::Excel && !result.workbookCopied) {
    std::fprintf(stderr, "glyphreel-cli: the workbook template %sxls.dll is missing; only %s was written\n",
                 context.supportFolder.c_str(), result.textFileName.c_str());
    written = result.textFileName;
    status = kFailed;
  }
  std::fprintf(stderr, "glyphreel-cli: %d frames converted\n", result.framesConverted);
  std::printf("%s\n", written.c_str());
  return status;
}

}  // namespace cli
