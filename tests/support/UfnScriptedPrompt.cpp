#include "support/UfnScriptedPrompt.h"

TScriptedPrompt::TScriptedPrompt() : previous_(&Prompt()) {
  SetPrompt(this);
}

TScriptedPrompt::~TScriptedPrompt() {
  if (&Prompt() == this) SetPrompt(previous_);
}

void TScriptedPrompt::Answer(TMsgButton button) {
  answers_.push_back({TPromptCall::Message, button, std::nullopt});
}
void TScriptedPrompt::AnswerInput(std::optional<std::string> text) {
  answers_.push_back({TPromptCall::Input, mbNone, std::move(text)});
}
void TScriptedPrompt::AnswerFolder(std::optional<std::string> folder) {
  answers_.push_back({TPromptCall::Folder, mbNone, std::move(folder)});
}

std::optional<TScriptedPrompt::TScripted> TScriptedPrompt::Next(TPromptCall::TKind kind) {
  if (answers_.empty() || answers_.front().Kind != kind) {
    ++Unanswered;
    return std::nullopt;
  }
  TScripted s = answers_.front();
  answers_.pop_front();
  return s;
}

TMsgButton TScriptedPrompt::MessageBox(const std::string& caption, const std::string& text,
                                       TMsgIcon icon, TMsgButtons buttons) {
  TPromptCall call;
  call.Kind = TPromptCall::Message;
  call.Caption = caption;
  call.Text = text;
  call.Icon = icon;
  call.Buttons = buttons;
  if (OnMessage) OnMessage(call);
  auto s = Next(TPromptCall::Message);
  TMsgButton escape = EscapeButton(buttons);
  call.Answer = s ? s->Button : (escape != mbNone ? escape : DefaultButton(buttons));
  Calls.push_back(call);
  return call.Answer;
}

void TScriptedPrompt::ProcessMessages() {
  ++Pumps;
  if (OnProcessMessages) OnProcessMessages();
}

bool TScriptedPrompt::InputQuery(const std::string& caption, const std::string& prompt,
                                 std::string& value, int maxLength) {
  TPromptCall call;
  call.Kind = TPromptCall::Input;
  call.Caption = caption;
  call.Text = prompt;
  call.Value = value;
  call.MaxLength = maxLength;
  Calls.push_back(call);
  auto s = Next(TPromptCall::Input);
  if (!s || !s->Text) return false;
  // The edit line counts characters, as the real one does, not UTF-8 bytes.
  value = *s->Text;
  if (maxLength > 0) {
    size_t chars = 0;
    for (size_t i = 0; i < value.size(); ++i) {
      if ((static_cast<unsigned char>(value[i]) & 0xC0) == 0x80) continue;
      if (chars++ == static_cast<size_t>(maxLength)) {
        value.resize(i);
        break;
      }
    }
  }
  return true;
}

std::optional<std::string> TScriptedPrompt::SelectFolder(const std::string& caption,
                                                         const std::string& startFolder) {
  TPromptCall call;
  call.Kind = TPromptCall::Folder;
  call.Caption = caption;
  call.Text = caption;
  call.Value = startFolder;
  Calls.push_back(call);
  auto s = Next(TPromptCall::Folder);
  if (!s) return std::nullopt;
  return s->Text;
}

std::vector<TPromptCall> TScriptedPrompt::Messages() const {
  std::vector<TPromptCall> out;
  for (const auto& c : Calls)
    if (c.Kind == TPromptCall::Message) out.push_back(c);
  return out;
}
