// The progress bar of the admin tool on a terminal: one line, redrawn in place.
#pragma once

#include <ostream>
#include <string>

// Columns a text takes on a terminal: Hangul and other wide letters take two.
int DisplayColumns(const std::string& s);

// The bar's line for a label and a percentage (0..100), `columns` characters wide at most:
// "label [#####.....]  50%".
std::string ProgressLine(const std::string& label, int percent, int columns);

class TProgressBar {
public:
  // Draws nothing unless `enabled` (the output is a terminal).
  TProgressBar(std::ostream& out, bool enabled, int columns);
  // Within one label the share only grows: a lower one (the builder's 0 before it writes the
  // archive's directory) draws nothing.
  void Show(const std::string& label, int percent);
  // Removes the bar, so that the next line starts at the left edge.
  void Clear();

private:
  void Erase();

  std::ostream& FOut;
  bool FEnabled;
  int FColumns;
  std::string FShown;
  std::string FLabel;
  int FPercent = -1;
};
