#include "conversion/ConversionOutput.h"

#include "common/FileWrite.h"
#include "common/FolderLock.h"

namespace {

std::string ParentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Converts the record folder's bitmaps into frame files in a private folder,
// then puts that folder in the place of `target` (a folder path without the
// final "/"). A failed run leaves an existing old folder as it was; an
// incomplete one leaves it too and moves the frames it converted to the
// first free name (target_01, ...), which *target then names.
bool ConvertFramesFolder(TConverter& engine, FrameSource* source, const std::string& recordFolder, std::string* target,
                         std::string* error) {
  fileio::PrivateFolder work;
  if (!work.Create(recordFolder, error)) return false;
  NumberedBitmaps bitmaps(recordFolder, 1);
  if (!engine.ConvertFramesToText(source ? *source : bitmaps, work.Path(), error)) return false;
  std::string fresh = work.Path();
  fresh.pop_back();
  if (!fileio::DirectoryExists(*target)) return fileio::Rename(fresh, *target, error);
  if (engine.CompleteRun()) return fileio::ReplaceFolder(fresh, *target, error);
  *error = *target + "/ was kept as it was: " + engine.IncompleteReason();
  if (engine.ConvertedCount == 0) return false;
  std::string claimError;
  *error += ClaimFolderName(fresh, *target, &claimError) ? "; the frames converted are in " + *target + "/"
                                                         : "; " + claimError;
  return false;
}

}  // namespace

std::string OutputStem(const std::string& recordFolder, const std::string& videoFileName) {
  return recordFolder + StripExtension(videoFileName);
}

ConversionResult RunConversion(const ConversionRequest& request, TConverter& engine, FrameSource* source) {
  ConversionResult result;
  const std::string stem = OutputStem(request.recordFolder, request.videoFileName);
  if (!engine.CheckOptions(&result.error)) return result;
  fileio::FolderLock lock;
  if (!lock.Acquire(request.recordFolder,
                    request.waitForFolder ? fileio::FolderLock::Wait::Yes : fileio::FolderLock::Wait::No,
                    &result.error, &result.folderBusy)) {
    return result;
  }

  bool ok = false;
  switch (request.form) {
    case OutputForm::Text: {
      std::string path = stem + ".txt";
      const auto existing = request.overwrite ? TConverter::Existing::Replace : TConverter::Existing::FreeName;
      ok = source ? engine.StreamTextMovie(*source, path, existing, &result.error)
                  : engine.MakeTextMovie(path, existing, &result.error);
      result.outputPath = path;
      result.textFileName = path;
      break;
    }
    case OutputForm::Html: {
      std::string path = stem + ".htm";
      const std::string templatePath = request.supportFolder + "Web.dll";
      ok = source ? engine.MakeWebPage(*source, path, templatePath, &result.error)
                  : engine.MakeWebPage(path, templatePath, &result.error);
      result.outputPath = path;
      break;
    }
    case OutputForm::Excel: {
      std::string data = request.recordFolder + "data.xxx";
      // Every workbook of the folder plays data.xxx: an incomplete run leaves it alone.
      ok = source ? engine.StreamTextMovie(*source, data, TConverter::Existing::ReplaceOnly, &result.error)
                  : engine.MakeTextMovie(data, TConverter::Existing::ReplaceOnly, &result.error);
      result.textFileName = data;
      result.outputPath = stem + ".xls";
      // A missing template is not a failure of the conversion (the caller
      // decides whether to say so); a workbook that cannot be written is.
      const std::string workbookTemplate = request.supportFolder + "xls.dll";
      if (ok && fileio::FileExists(workbookTemplate)) {
        fileio::PrivateFolder work;
        const std::string name = result.outputPath.substr(result.outputPath.rfind('/') + 1);
        const std::string copy = work.Create(request.recordFolder, &result.error) ? work.Path() + name : "";
        ok = !copy.empty() && fileio::CopyFile(workbookTemplate, copy, &result.error) &&
             ClaimOutputName(copy, result.outputPath, ".xls", request.overwrite, &result.error);
        result.workbookCopied = ok;
      }
      break;
    }
    case OutputForm::Frames: {
      std::string folderError;
      const bool placeFree = !fileio::PathExists(stem) || fileio::DirectoryExists(stem);
      if (!placeFree) folderError = fileio::ErrorText("create folder", stem, EEXIST);
      if (placeFree && fileio::MakePath(ParentOf(stem), &folderError)) {
        std::string folder = stem;
        ok = ConvertFramesFolder(engine, source, request.recordFolder, &folder, &result.error);
        result.outputPath = folder + "/";
      } else {
        result.outputPath = stem;
        result.folderMissing = true;
        result.error = folderError;
        engine.ResetCounters();
      }
      break;
    }
  }
  result.ok = ok;
  result.framesConverted = engine.ConvertedCount;
  result.badBitmapPath = engine.BadBitmapPath;
  if (ok) result.error.clear();
  return result;
}
