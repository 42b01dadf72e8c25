// The progress bar of the admin tool on a terminal: one line, redrawn in place.
#pragma once

#include <ostream>
#include <string>

// The bar's line for a label and a percentage (0..100), `columns` characters wide at most:
// "label [#####.....]  50%".
std::string ProgressLine(const std::string& label, int percent, int columns);

class TProgressBar {
public:
  // Draws nothing unless `enabled` (the output is a terminal).
  TProgressBar(std::ostream& out, bool enabled, int columns);
  void Show(const std::string& label, int percent);
  // Removes the bar, so that the next line starts at the left edge.
  void Clear();

private:
  std::ostream& FOut;
  bool FEnabled;
  int FColumns;
  std::string FShown;
};
