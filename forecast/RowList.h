// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "interfaces/ForecastList.h"

namespace skycall {

// Forecast rows held in memory: a forecast loaded away from the window's list, which takes it
// in one step.
struct RowList : ForecastList {
  std::vector<std::wstring> rows;

  void clear() override { rows.clear(); }
  void append(const std::wstring& row) override { rows.push_back(row); }
  void insert(int index, const std::wstring& row) override {
    rows.insert(rows.begin() + index, row);
  }
  void remove(int index) override { rows.erase(rows.begin() + index); }
  std::wstring row(int index) const override {
    return index >= 0 && index < count() ? rows[index] : std::wstring();
  }
  int count() const override { return static_cast<int>(rows.size()); }
};

}  // namespace skycall
