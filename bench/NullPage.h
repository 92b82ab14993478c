// A page for benchmarks: takes every report of a run and shows nothing,
// counting only the rows.
#pragma once

#include <string>
#include <vector>

#include "engine/RunPage.h"

class NullPage : public RunPage {
public:
  void AddLogRow(const std::u16string&) override { ++m_nRows; }
  std::vector<std::u16string> GetLogRows() override { return {}; }
  void SetBarRange(int, int, int) override {}
  void SetBarPos(int, int) override {}
  void ShowControl(int, bool) override {}
  void EnableControl(int, bool) override {}
  void SetStatusLine(const std::u16string&) override {}
  void ShowMessage(const std::u16string&) override {}
  int m_nRows = 0;
};
