// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>

#include "interfaces/ForecastList.h"

namespace skycall {

// The forecast rows kept in the window's list box, one item per row. The current row stays
// where it is while rows are rewritten, and stays selected, so that it shows in the highlight.
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

 private:
  void keepCurrentRow(int row);

  QListWidget& box_;
};

}  // namespace skycall
