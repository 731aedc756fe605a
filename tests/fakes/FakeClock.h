// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "interfaces/Clock.h"
#include "interfaces/ForecastList.h"

// The clock and the forecast list held in memory, for every suite that runs the forecast code.
namespace skycall::fakes {

struct FakeClock : Clock {
  int day;
  explicit FakeClock(int weekday = 1) : day(weekday) {}
  int weekday() const override { return day; }
};

struct VectorList : ForecastList {
  std::vector<std::wstring> rows;
  void clear() override { rows.clear(); }
  void append(const std::wstring& row) override { rows.push_back(row); }
  void insert(int i, const std::wstring& row) override { rows.insert(rows.begin() + i, row); }
  void remove(int i) override { rows.erase(rows.begin() + i); }
  std::wstring row(int i) const override { return i >= 0 && i < count() ? rows[i] : L""; }
  int count() const override { return static_cast<int>(rows.size()); }
};

}  // namespace skycall::fakes
