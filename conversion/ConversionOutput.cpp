#include "conversion/ConversionOutput.h"

#include "common/FileWrite.h"

std::string OutputStem(const std::string& recordFolder, const std::string& videoFileName) {
  return recordFolder + StripExtension(videoFileName);
}

ConversionResult RunConversion(const ConversionRequest& request, TConverter& engine, FrameSource* source) {
  ConversionResult result;
  const std::string stem = OutputStem(request.recordFolder, request.videoFileName);
  if (request.form < 0 || request.form > static_cast<int>(OutputForm::Frames)) {
    result.error = "Unknown output form " + std::to_string(request.form);
    return result;
  }
  if (!engine.CheckOptions(&result.error)) return result;

  bool ok = false;
  switch (static_cast<OutputForm>(request.form)) {
    case OutputForm::Text: {
      std::string path = stem + ".txt";
      ok = source ? engine.StreamTextMovie(*source, path, request.overwrite, &result.error)
                  : engine.MakeTextMovie(path, request.overwrite, &result.error);
      result.outputPath = path;
      result.textFileName = path;
      break;
    }
    case OutputForm::Html: {
      std::string path = stem + ".htm";
      const std::string templatePath = request.appPath + "dll/Web.dll";
      ok = source ? engine.MakeWebPage(*source, path, templatePath, &result.error)
                  : engine.MakeWebPage(path, templatePath, &result.error);
      result.outputPath = path;
      break;
    }
    case OutputForm::Excel: {
      std::string data = request.recordFolder + "data.xxx";
      ok = source ? engine.StreamTextMovie(*source, data, true, &result.error)
                  : engine.MakeTextMovie(data, true, &result.error);
      result.textFileName = data;
      result.outputPath = stem + ".xls";
      // A missing template is not a failure of the conversion (the caller
      // decides whether to say so); a workbook that cannot be written is.
      const std::string workbookTemplate = request.appPath + "dll/xls.dll";
      if (ok && fileio::FileExists(workbookTemplate)) {
        ok = fileio::CopyFile(workbookTemplate, result.outputPath, &result.error);
        result.workbookCopied = ok;
      }
      break;
    }
    case OutputForm::Frames: {
      std::string folderError;
      if (fileio::MakePath(stem, &folderError)) {
        result.outputPath = stem + "/";
        ok = source ? engine.ConvertFramesToText(*source, result.outputPath, &result.error)
                    : engine.ConvertBitmapsToText(result.outputPath, request.recordFolder, 1, &result.error);
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
