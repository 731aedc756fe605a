// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>
#include <vector>

#include "interfaces/ForecastList.h"

namespace skycall {

// The forecast rows kept in the window's list box, one item per row. The current topic's rows
// stay selected while rows are rewritten, so that they show in the highlight; before the first
// topic, the current row is the one selected. The current row stays where it is.
class ListBoxRows : public ForecastList {
 public:
  explicit ListBoxRows(QListWidget& box) : box_(box) {}

  void clear() override;
  void append(const std::wstring& row) override;
  void insert(int index, const std::wstring& row) override;
  void remove(int index) override;
  std::wstring row(int index) const override;
  int count() const override;
  // The items' texts rewritten where they stand: no item is taken away or put back, so the
  // current row, its selection and the screen reader's place in the list stay as they were.
  void replace(const std::vector<std::wstring>& rows) override;

  // The current topic's rows: selected, those the list has, in place of any others.
  void select(const std::vector<int>& rows);
  const std::vector<int>& selected() const { return topicRows_; }

 private:
  void keepSelection(int currentRow);

  QListWidget& box_;
  std::vector<int> topicRows_;
  bool topicShown_ = false;
};

}  // namespace skycall
