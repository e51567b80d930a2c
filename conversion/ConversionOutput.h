// The file-writing half of a conversion run: from the output form, the
// record folder and the video's name to the files on disk. The window's run
// and the command line both go through here; what is shown to the user
// (status texts, progress bar, dialogs, launching the result) stays with them.
#pragma once

#include "conversion/BmpTxt.h"

#include <optional>
#include <string>

// Output forms, by the index of the window's output type group (and of the
// stored OutPutType setting).
enum class OutputForm : int {
  Text = 0,    // one character-movie file (stem + ".txt", or a free name)
  Html = 1,    // one HTML page (stem + ".htm", or a free name)
  Excel = 2,   // "data.xxx" in the record folder and the workbook stem + ".xls"
  Frames = 3,  // one text file per frame in the folder named by the stem
};
inline constexpr int kOutputFormCount = 4;

// The form at a group index; none for any index outside 0 .. kOutputFormCount - 1
// (no button checked, a stored value out of range).
constexpr std::optional<OutputForm> OutputFormAt(int index) {
  if (index < 0 || index >= kOutputFormCount) return std::nullopt;
  return static_cast<OutputForm>(index);
}

struct ConversionRequest {
  OutputForm form = OutputForm::Text;
  std::string recordFolder;    // folder of the numbered bitmaps and of every output; ends with "/"
  std::string videoFileName;   // the video's file name without folder; the outputs are named after it
  std::string supportFolder;   // ends with "/": holds Web.dll and xls.dll
  bool overwrite = false;      // Text and Excel forms: replace stem + ".txt" (".xls") instead of taking
                               // a free name; only a complete run replaces (TConverter::CompleteRun)
  bool waitForFolder = false;  // another process converting or recording in recordFolder: wait for it
                               // (true) or fail at once with folderBusy (false)
};

struct ConversionResult {
  bool ok = false;
  std::string error;            // what failed, naming the path; empty when ok
  std::string outputPath;       // the movie, the page, the workbook, or the frames folder (with "/")
  std::string textFileName;     // the character-movie file written (Text: the movie; Excel: data.xxx)
  int framesConverted = 0;      // frames converted by this run
  bool workbookCopied = false;  // Excel: the workbook template was copied to outputPath
  bool folderMissing = false;   // Frames: the folder could not be made, nothing was converted
  std::string badBitmapPath;    // a bitmap that could not be loaded and ended the conversion early
  bool folderBusy = false;      // another process holds recordFolder (waitForFolder false); nothing was done
};

// The output name stem: recordFolder + StripExtension(videoFileName).
std::string OutputStem(const std::string& recordFolder, const std::string& videoFileName);

// Runs one conversion with the engine's options as they are set. The engine's
// OnProgress and OnBadBitmap handlers are called as the work goes on. A gray
// table or size the engine refuses is an error before any file is touched.
// The record folder's lock (fileio::FolderLock) is held for the whole run.
// An existing output is replaced only by a run that converted every bitmap
// it found and at least one; otherwise the result is not ok (the text form's
// partial movie goes to a free name, data.xxx and the frames folder stay as
// they were). The frames form writes into a private folder and swaps it for
// the old one at the end, so a failure leaves the old folder whole.
// The pictures are the record folder's numbered bitmaps, or those of
// `source` when one is given (the text movie and data.xxx are then streamed
// into their file without frame files); the outputs are the same bytes.
ConversionResult RunConversion(const ConversionRequest& request, TConverter& engine,
                               FrameSource* source = nullptr);
