// The main window's inner parts as tests, benchmarks and tools reach them:
// Parts(form).TBIPlay, Parts(form).CBFrame, Parts(form).RecordFolder. The
// window keeps its controls and its state private; a program that drives it
// by hand, as a user would but faster, takes them from here by the names the
// window gives them. The option pages' controls are reached the same way.
#pragma once

#include "app/Main.h"
#include "app/OptionPages.h"

#include <optional>

struct WindowParts {
  TForm1& form;

// A reference to the window's (or the option pages') part of the same name.
#define GLYPHREEL_PART(name) decltype(TForm1::name)& name = form.name
#define GLYPHREEL_PAGE_PART(name) decltype(OptionPages::name)& name = form.PgC->name

  // ---- The window's panes, toolbar items and timers ----
  GLYPHREEL_PART(TBTVideoBar);
  GLYPHREEL_PART(TBTextbar);
  GLYPHREEL_PART(TBMainbar);
  GLYPHREEL_PART(StBar);
  GLYPHREEL_PART(StBarPanels);
  GLYPHREEL_PART(Splitter1);
  GLYPHREEL_PART(Splitter2);
  GLYPHREEL_PART(Splitter3);
  GLYPHREEL_PART(Pl_Video);
  GLYPHREEL_PART(Pl_Time);
  GLYPHREEL_PART(PgC);
  GLYPHREEL_PART(Image);
  GLYPHREEL_PART(Pl_FrameCount);
  GLYPHREEL_PART(SBTextShow);
  GLYPHREEL_PART(Pl_TextShow);
  GLYPHREEL_PART(Lb_TextShow);
  GLYPHREEL_PART(Exporter);
  GLYPHREEL_PART(PBar);
  GLYPHREEL_PART(TBIOpen);
  GLYPHREEL_PART(TBIPlay);
  GLYPHREEL_PART(TBIPause);
  GLYPHREEL_PART(TBISnapBegin);
  GLYPHREEL_PART(TBIStop);
  GLYPHREEL_PART(TBIConvert);
  GLYPHREEL_PART(TBISaveText);
  GLYPHREEL_PART(TBIOpenText);
  GLYPHREEL_PART(TBIPlayText);
  GLYPHREEL_PART(TBIPlayText2);
  GLYPHREEL_PART(TBIPauseText);
  GLYPHREEL_PART(TBIStopText);
  GLYPHREEL_PART(TBIRwText);
  GLYPHREEL_PART(TBIColor);
  GLYPHREEL_PART(TBIFontSize);
  GLYPHREEL_PART(TBINotepad);
  GLYPHREEL_PART(TBIWnd);
  GLYPHREEL_PART(TBIHelp);
  GLYPHREEL_PART(TBIAbout);
  GLYPHREEL_PART(TBIExit);
  GLYPHREEL_PART(TimerStartWindow);
  GLYPHREEL_PART(TimerSnap);
  GLYPHREEL_PART(TimerPlayText);

  // ---- The window's state ----
  GLYPHREEL_PART(ProductName);
  GLYPHREEL_PART(RecordFolder);
  GLYPHREEL_PART(StartMaximized);
  GLYPHREEL_PART(SplitterTag);
  GLYPHREEL_PART(VideoWindowRect);
  GLYPHREEL_PART(ImageRect);
  GLYPHREEL_PART(VideoFileName);
  GLYPHREEL_PART(TextFileName);
  GLYPHREEL_PART(WebPageFileName);
  GLYPHREEL_PART(TextFrameIndex);
  GLYPHREEL_PART(TextSyncMode);
  GLYPHREEL_PART(LabelDragging);
  GLYPHREEL_PART(FrameCount);
  GLYPHREEL_PART(VideoBarState);
  GLYPHREEL_PART(TextBarState);
  GLYPHREEL_PART(FilterGraph);
  GLYPHREEL_PART(Converter);
  GLYPHREEL_PART(TextPic);

  // ---- The option pages' controls ----
  GLYPHREEL_PAGE_PART(CBFrame);
  GLYPHREEL_PAGE_PART(CB_Size);
  GLYPHREEL_PAGE_PART(EdSavePath);
  GLYPHREEL_PAGE_PART(SBSavePath);
  GLYPHREEL_PAGE_PART(EdGray);
  GLYPHREEL_PAGE_PART(LbGray);
  GLYPHREEL_PAGE_PART(Image_Gray);
  GLYPHREEL_PAGE_PART(ListGray);
  GLYPHREEL_PAGE_PART(GrayBytes);
#undef GLYPHREEL_PART
#undef GLYPHREEL_PAGE_PART
  QCheckBox* CB_AutoClearBmp = form.PgC->Box(&WindowSettings::autoClearBmp);
  QCheckBox* CB_AutoConvert = form.PgC->Box(&WindowSettings::autoConvert);
  QCheckBox* CB_FastRecord = form.PgC->Box(&WindowSettings::fastRecord);
  QCheckBox* CB_FinePicture = form.PgC->Box(&WindowSettings::finePicture);

  // ---- What the window and its pages do ----
  void ApplyTextBar() { form.ApplyTextBar(); }
  int TextFontHeight() const { return form.TextFontHeight(); }
  int LeftTopHeight() const { return form.LeftTopHeight(); }
  int RightTopHeight() const { return form.RightTopHeight(); }
  int LeftWidth() const { return form.LeftWidth(); }
  static int VideoWidthFor(int height) { return TForm1::VideoWidthFor(height); }
  static QString TimeText(int64_t ms) { return TForm1::TimeText(ms); }
  // The options as the pages hand them out, and the parts of them tests ask for.
  WindowSettings Options() const { return form.PgC->Settings(); }
  std::optional<OutputForm> OutputType() const { return Options().outputType; }
  int Interval() const { return Options().Interval(); }
  // Checks the output type's button as a click does; none clears them all.
  void SetOutputType(std::optional<OutputForm> type) { form.PgC->SetOutputType(type); }
  void AddGrayListItem(const std::string& bytes) { form.PgC->AddGrayListItem(bytes); }
  void CBFrameChange() { form.PgC->CBFrameChange(); }
  void CB_SizeChange() { form.PgC->CB_SizeChange(); }
  void BtnOptionDefaultClick() { form.PgC->BtnOptionDefaultClick(); }
  void SBSavePathClick() { form.PgC->SBSavePathClick(); }
  void SBGrayClick() { form.PgC->SBGrayClick(); }
};

inline WindowParts Parts(const TForm1& form) { return WindowParts{const_cast<TForm1&>(form)}; }
