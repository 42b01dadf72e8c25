// A prompt that answers from a script and records every question: tests install it to drive
// dialogs without a person. Unscripted message boxes get their Escape answer, unscripted
// input boxes and folder pickers are cancelled; each such call counts in Unanswered.
#pragma once

#include "base/UfnDesktop.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct TPromptCall {
  enum TKind { Message, Input, Folder } Kind = Message;
  std::string Caption;
  std::string Text; // the message, the input box's prompt, or the picker's caption
  TMsgIcon Icon = TMsgIcon::None;
  TMsgButtons Buttons = 0;
  std::string Value; // the input box's initial text, or the picker's start folder
  int MaxLength = 0;
  TMsgButton Answer = mbNone; // message boxes: the answer given
};

class TScriptedPrompt : public TPrompt {
public:
  TScriptedPrompt();           // installs itself
  ~TScriptedPrompt() override; // puts the previous prompt back

  void Answer(TMsgButton button);                       // the next message box
  void AnswerInput(std::optional<std::string> text);    // the next input box; nullopt: Cancel
  void AnswerFolder(std::optional<std::string> folder); // the next folder picker

  TMsgButton MessageBox(const std::string& caption, const std::string& text, TMsgIcon icon,
                        TMsgButtons buttons) override;
  void ProcessMessages() override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                  int maxLength) override;
  std::optional<std::string> SelectFolder(const std::string& caption,
                                          const std::string& startFolder) override;

  // Calls in order, the number of pumps, and the calls that found no scripted answer.
  std::vector<TPromptCall> Calls;
  int Pumps = 0;
  int Unanswered = 0;
  // Runs at each pump (a test may act in the middle of a long operation) and when a message
  // box is shown (before it is answered).
  std::function<void()> OnProcessMessages;
  std::function<void(const TPromptCall&)> OnMessage;

  std::vector<TPromptCall> Messages() const; // the message boxes only
  size_t Pending() const { return answers_.size(); }

private:
  struct TScripted {
    TPromptCall::TKind Kind;
    TMsgButton Button = mbNone;
    std::optional<std::string> Text;
  };
  std::optional<TScripted> Next(TPromptCall::TKind kind);
  std::deque<TScripted> answers_;
  TPrompt* previous_;
};
