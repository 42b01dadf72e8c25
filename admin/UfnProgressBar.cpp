#include "admin/UfnProgressBar.h"

#include "base/UfnText.h"

#include <algorithm>

int DisplayColumns(const std::string& s) {
  int n = 0;
  for (char32_t c : text::DecodeUtf8(s))
    n += (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                 (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                 (c >= 0xFF00 && c <= 0xFF60)
             ? 2
             : 1;
  return n;
}

std::string ProgressLine(const std::string& label, int percent, int columns) {
  percent = std::clamp(percent, 0, 100);
  const std::string tail = std::to_string(percent) + "%";
  // label, blank, brackets, blank, percentage (3 digits and "%"), and a free last column.
  const int barWidth = std::clamp(columns - DisplayColumns(label) - 9, 10, 40);
  const int filled = barWidth * percent / 100;
  std::string line = label + " [" + std::string(static_cast<size_t>(filled), '#') +
                     std::string(static_cast<size_t>(barWidth - filled), '.') + "] ";
  line += std::string(4 - tail.size(), ' ') + tail;
  return line;
}

TProgressBar::TProgressBar(std::ostream& out, bool enabled, int columns)
    : FOut(out), FEnabled(enabled), FColumns(columns) {}

void TProgressBar::Show(const std::string& label, int percent) {
  if (!FEnabled) return;
  if (label == FLabel && percent < FPercent) return;
  FLabel = label;
  FPercent = percent;
  const std::string line = ProgressLine(label, percent, FColumns);
  if (line == FShown) return;
  Erase();
  FOut << line << std::flush;
  FShown = line;
}

void TProgressBar::Clear() {
  FLabel.clear();
  FPercent = -1;
  Erase();
}

void TProgressBar::Erase() {
  if (!FEnabled || FShown.empty()) return;
  FOut << '\r' << std::string(static_cast<size_t>(DisplayColumns(FShown)), ' ') << '\r'
       << std::flush;
  FShown.clear();
}
