// The prompt seam on Qt: standard message boxes, the input box and the folder picker, all
// modal and centred on the screen.
#pragma once

#include "base/UfnDesktop.h"

class TQtPrompt : public TPrompt {
public:
  TMsgButton MessageBox(const std::string& caption, const std::string& text, TMsgIcon icon,
                        TMsgButtons buttons) override;
  void ProcessMessages() override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                  int maxLength) override;
  std::optional<std::string> SelectFolder(const std::string& caption,
                                          const std::string& startFolder) override;
};
