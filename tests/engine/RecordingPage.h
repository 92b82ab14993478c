// A page that records what the run shows on it, for the engine tests.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/RunPage.h"

class RecordingPage : public RunPage {
public:
  std::vector<std::u16string> rows;
  std::vector<std::u16string> messages;
  std::u16string status = u"untouched";
  std::map<int, bool> shown;
  std::map<int, bool> enabled;
  std::map<int, std::pair<int, int>> ranges;
  std::map<int, std::vector<int>> positions;
  // Called before each row is added; lets a test press Stop mid-run.
  std::function<void(const std::u16string&)> onRow;

  void AddLogRow(const std::u16string& text) override {
    if (onRow) onRow(text);
    rows.push_back(text);
  }
  std::vector<std::u16string> GetLogRows() override { return rows; }
  void SetBarRange(int bar, int lo, int hi) override { ranges[bar] = {lo, hi}; }
  void SetBarPos(int bar, int pos) override { positions[bar].push_back(pos); }
  void ShowControl(int id, bool b) override { shown[id] = b; }
  void EnableControl(int id, bool b) override { enabled[id] = b; }
  void SetStatusLine(const std::u16string& text) override { status = text; }
  void ShowMessage(const std::u16string& text) override { messages.push_back(text); }
};
