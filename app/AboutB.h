// The about box: the product's name, version, producer, date and an
// introduction, with buttons for the home page, the guest book and a mail
// to the author. Created for one showing and freed when it closes.
#pragma once

#include <QDialog>
#include <QString>

class Launcher;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

class TAboutForm : public QDialog {
  Q_OBJECT

 public:
  // Link buttons open their addresses through `launcher` (not owned).
  explicit TAboutForm(Launcher& launcher, QWidget* parent = nullptr);

  QString SoftName;
  QString SoftVersion;
  QString Producer;
  QString Introduction;
  QString BuildDate;
  QString HomePageUrl;
  QString GuestBookUrl;
  QString EmailAddress;

  // The default addresses, and the captions and hints of one language.
  void SetLanguage(bool chinese);
  // Places and fills the box; runs when it is shown.
  void FormShow();

  void Button1Click();
  void SB_HomePageClick();
  void SB_GuestBookClick();
  void SB_EmailClick();

  QLabel* L_Name = nullptr;
  QLabel* L_Ver = nullptr;
  QLabel* L_Pro = nullptr;
  QLabel* L_Date = nullptr;
  QLabel* L_Int = nullptr;
  QToolButton* SB_HomePage = nullptr;
  QToolButton* SB_GuestBook = nullptr;
  QToolButton* SB_Email = nullptr;
  QPlainTextEdit* L_Introcuce = nullptr;
  QPushButton* Button1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  Launcher& launcher_;
  // The labels' captions of the language SetLanguage chose.
  QString nameCaption_, versionCaption_, producerCaption_, dateCaption_;
};

// The texts the main window fills the box with.
namespace about {
extern const char* const kProducer;
extern const char* const kHomePage;
extern const char* const kGuestBook;
extern const char* const kEmail;
extern const char* const kBuildDate;
QString Introduction();
}  // namespace about
