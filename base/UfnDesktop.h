// The seams between the core and the desktop. The GUI installs a Qt implementation at
// start-up; tests install a scripted one. Without either, a headless one answers.
#pragma once

#include <optional>
#include <string>

enum class TMsgIcon { None, Warning, Error, Information, Question };

// Buttons of the standard message box, as a set.
enum TMsgButton : unsigned { mbNone = 0, mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8 };
using TMsgButtons = unsigned;

// The button that Enter answers: "OK" when present, else "&Yes".
TMsgButton DefaultButton(TMsgButtons buttons);
// The button that Escape answers: "Cancel" when present, else "&No", else "OK".
TMsgButton EscapeButton(TMsgButtons buttons);

// What the core needs of the desktop: a modal message box and a message pump.
class TDesktop {
public:
  virtual ~TDesktop() = default;
  // A modal message box centred on the screen; returns the button pressed.
  virtual TMsgButton MessageBox(const std::string& caption, const std::string& text, TMsgIcon icon,
                                TMsgButtons buttons) = 0;
  // Lets the windows repaint and handle input while a long operation runs.
  virtual void ProcessMessages() = 0;
};

// Every modal question, notice, input box and folder picker of the windows.
class TPrompt : public TDesktop {
public:
  // The input box: caption, prompt, one line of at most maxLength characters, "OK" and
  // "Cancel". True when "OK" was pressed; `value` then holds the text.
  virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                          int maxLength = 255) = 0;
  // The folder picker, started at `startFolder`; nothing when it was cancelled.
  virtual std::optional<std::string> SelectFolder(const std::string& caption,
                                                  const std::string& startFolder) = 0;

  // A plain notice: the application title as caption, no icon, one button "OK".
  void ShowMessage(const std::string& text);
  // A question or notice whose caption names its kind ("Warning", "Error", ...).
  TMsgButton MessageDlg(const std::string& text, TMsgIcon icon, TMsgButtons buttons);
};

// The installed seam (a headless one when none was installed: it answers every box with
// its default button, cancels input boxes and pickers, and pumps nothing).
TPrompt& Prompt();
TDesktop& Desktop();
// Installs `prompt` (not owned); nullptr puts the headless one back.
void SetPrompt(TPrompt* prompt);
// True when a prompt other than the headless one is installed.
bool PromptInstalled();

// The application title: the caption of the main window, of plain notices and of the error
// report.
const std::string& ApplicationTitle();
void SetApplicationTitle(const std::string& title);

// The text of the default error report: the message with a full stop appended when its last
// character sorts after ".".
std::string ErrorReportText(const std::string& message);
// The default error report: caption the application title, the error icon, one button "OK".
void ShowErrorReport(const std::string& message);
