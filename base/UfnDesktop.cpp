#include "base/UfnDesktop.h"

namespace {

class THeadlessPrompt : public TPrompt {
public:
  TMsgButton MessageBox(const std::string&, const std::string&, TMsgIcon,
                        TMsgButtons buttons) override {
    return DefaultButton(buttons);
  }
  void ProcessMessages() override {}
  bool InputQuery(const std::string&, const std::string&, std::string&, int) override {
    return false;
  }
  std::optional<std::string> SelectFolder(const std::string&, const std::string&) override {
    return std::nullopt;
  }
};

THeadlessPrompt g_headless;
TPrompt* g_prompt = nullptr;
std::string g_title = "Orlenway";

} // namespace

TMsgButton DefaultButton(TMsgButtons buttons) {
  if (buttons & mbOK) return mbOK;
  if (buttons & mbYes) return mbYes;
  if (buttons & mbNo) return mbNo;
  if (buttons & mbCancel) return mbCancel;
  return mbOK;
}

TMsgButton EscapeButton(TMsgButtons buttons) {
  if (buttons & mbCancel) return mbCancel;
  if (buttons & mbNo) return mbNo;
  if (buttons & mbOK) return mbOK;
  return mbNone;
}

void TPrompt::ShowMessage(const std::string& text) {
  MessageBox(ApplicationTitle(), text, TMsgIcon::None, mbOK);
}

TMsgButton TPrompt::MessageDlg(const std::string& text, TMsgIcon icon, TMsgButtons buttons) {
  const char* caption = "";
  switch (icon) {
  case TMsgIcon::Warning:
    caption = "Warning";
    break;
  case TMsgIcon::Error:
    caption = "Error";
    break;
  case TMsgIcon::Information:
    caption = "Information";
    break;
  case TMsgIcon::Question:
    caption = "Confirm";
    break;
  case TMsgIcon::None:
    break;
  }
  return MessageBox(caption, text, icon, buttons);
}

TPrompt& Prompt() {
  return g_prompt ? *g_prompt : g_headless;
}
TDesktop& Desktop() {
  return Prompt();
}
void SetPrompt(TPrompt* prompt) {
  g_prompt = prompt;
}
bool PromptInstalled() {
  return g_prompt != nullptr;
}

const std::string& ApplicationTitle() {
  return g_title;
}
void SetApplicationTitle(const std::string& title) {
  g_title = title;
}

std::string ErrorReportText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

void ShowErrorReport(const std::string& message) {
  Desktop().MessageBox(ApplicationTitle(), ErrorReportText(message), TMsgIcon::Error, mbOK);
}
