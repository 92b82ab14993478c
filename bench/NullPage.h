// A page for benchmarks: takes every report of a run and shows nothing,
// counting only the rows.
#pragma once

#include <string>
#include <vector>

#include "engine/RunPage.h"

class NullPage : public NullRunPage {
public:
  void AddLogRow(const std::u16string&) override { ++m_nRows; }
  int m_nRows = 0;
};
