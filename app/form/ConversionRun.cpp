// The Convert command: the window's options into the engine, the chosen
// output form written with progress in the status bar, the result opened.
#include "app/Dialogs.h"
#include "app/Main.h"
#include "common/FolderLock.h"
#include "common/Gbk.h"
#include "conversion/ConversionOutput.h"
#include "conversion/FinePicture.h"
#include "shell/Launcher.h"
#include "shell/Link.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

QString FolderBusyMessage(const std::string& folder) {
  return QCoreApplication::translate("TForm1", "录制目录正被另一个转换或录制使用,请等它结束后再试: ") + QString::fromStdString(folder);
}

bool TForm1::TakeConversionOptions() {
  const WindowSettings options = Options();
  std::string table;
  QString refusal;
  if (!options.GrayTable(&table, &refusal)) {
    dialogs().Message(this, tr("灰度表不能使用: ") + refusal);
    return false;
  }
  // The fine picture draws with its own table while the editor holds the
  // default one; a table of the user's own is used calibrated.
  Converter->FinePicture = options.finePicture;
  if (Converter->FinePicture && table == gbk::DefaultGrayTable()) table = fine::FineGrayTable();
  Converter->GrayTable = table;
  Converter->GrayLevels = CountGrayUnits(table);
  Converter->Interval = options.Interval();
  // The run converts at the size the box shows; text that is no entry is no size.
  const std::optional<Rect> size = options.OutputRect();
  if (!size) {
    dialogs().Message(this, tr("请先选择转换图尺寸"));
    return false;
  }
  Converter->OutputRect = *size;
  std::string error;
  if (!Converter->CheckOptions(&error)) {
    dialogs().Message(this, QString::fromStdString(error));
    return false;
  }
  return true;
}

void TForm1::ConversionProgress(TConverter& engine) {
  const ProgressShare share = engine.Progress();
  PBar->setMaximum(share.total);
  PBar->setValue(share.done);
}

void TForm1::TBIConvertClick() {
  if (!TakeConversionOptions()) return;
  // The window takes no input from here on, before the pending messages are
  // processed: a click already queued must not start a second run inside this one.
  setEnabled(false);
  StBarPanels[0]->setText(tr("字符转换中..."));
  StBarPanels[3]->setText(tr("请耐心等待转换结束"));
  // (A close signal waits for the run: it interrupts it, and closes once it has returned.)
  QApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
  PBar->setMaximum(100);
  PBar->setValue(0);
  PBar->show();

  Converter->SetOnProgress([this](TConverter& e) { ConversionProgress(e); });
  Converter->OnBadBitmap = [this](const std::string&) { dialogs().Message(this, tr("图片格式错误")); };
  const std::optional<OutputForm> form = Options().outputType;
  ConversionRequest request;
  request.recordFolder = RecordFolder;
  request.videoFileName = VideoFileName;
  request.supportFolder = SupportFolder;
  // With no output type chosen nothing is converted; the run ends as usual
  // after saying so.
  ConversionResult result;
  if (form) {
    request.form = *form;
    // The workbook replaces the folder's VIDEO.xls, as it always has here.
    request.overwrite = *form == OutputForm::Excel;
    result = RunConversion(request, *Converter);
    ShowConversionResult(request, result);
  }
  if (!form) {
    dialogs().Message(this, tr("请先选择输出文件类型"));
  } else if (result.folderBusy) {
    dialogs().Message(this, FolderBusyMessage(request.recordFolder));
  } else if (!result.ok && !result.folderMissing && !result.error.empty() && !fileio::InterruptRequested()) {
    // (A folder that could not be made was said with the launch.)
    // Nothing already on disk was lost: say what failed and where.
    dialogs().Message(this, tr("转换失败: ") + QString::fromStdString(result.error));
  }

  PBar->hide();
  setEnabled(true);
  StBarPanels[0]->setText(tr("转换已完成"));
  StBarPanels[3]->setText(tr("可调整转换选项多次转换"));
}

void TForm1::ShowConversionResult(const ConversionRequest& request, const ConversionResult& result) {
  switch (request.form) {
    case OutputForm::Text:
      WebPageFileName.clear();
      if (result.ok) {
        TextFileName = result.textFileName;
        if (TextBarState.Started()) TBIStopTextClick();
        OpenTextMovie(TextFileName);
        TextBarState.saveOffered = true;
        ApplyTextBar();
      }
      break;
    case OutputForm::Html:
      TextFileName.clear();
      if (result.ok) {
        WebPageFileName = result.outputPath;
        launcher().URLink(WebPageFileName);
      }
      break;
    case OutputForm::Excel:
      if (result.ok) {
        TextFileName = result.textFileName;
        if (result.workbookCopied) launcher().URLink(result.outputPath);
      }
      break;
    case OutputForm::Frames:
      WebPageFileName.clear();
      TextFileName.clear();
      if (result.ok || result.folderMissing) {
        dialogs().Message(this, tr("已转换%1个图象字符文件,点击确定查看该文件.").arg(result.framesConverted));
        launcher().URLink(result.outputPath);
      }
      break;
  }
}
