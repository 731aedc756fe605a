#pragma once

#include <string>
#include <vector>

#include "forecast/ForecastList.h"

namespace skycall::fakes {

// A forecast list held in memory.
class VectorList : public ForecastList {
 public:
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

}  // namespace skycall::fakes
