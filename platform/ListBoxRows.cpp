// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ListBoxRows.h"

#include <algorithm>

namespace skycall {

void ListBoxRows::clear() {
  box_.clear();
}

void ListBoxRows::append(const std::wstring& row) {
  const int current = box_.currentRow();
  box_.addItem(QString::fromStdWString(row));
  keepSelection(current);
}

void ListBoxRows::insert(int index, const std::wstring& row) {
  const int current = box_.currentRow();
  box_.insertItem(index, QString::fromStdWString(row));
  keepSelection(current);
}

void ListBoxRows::remove(int index) {
  const int current = box_.currentRow();
  delete box_.takeItem(index);
  keepSelection(current);
}

void ListBoxRows::select(const std::vector<int>& rows) {
  topicRows_ = rows;
  topicShown_ = true;
  keepSelection(box_.currentRow());
}

void ListBoxRows::keepSelection(int current) {
  // A row rewritten in place is taken out and put back, which would move the current row on
  // and drop the row from the selection.
  if (box_.count() == 0) return;
  current = std::clamp(current, 0, box_.count() - 1);
  if (box_.currentRow() != current) box_.setCurrentRow(current, QItemSelectionModel::NoUpdate);
  QItemSelection rows;
  for (const int row : topicShown_ ? topicRows_ : std::vector<int>{current})
    if (row >= 0 && row < box_.count()) {
      const QModelIndex index = box_.model()->index(row, 0);
      rows.select(index, index);
    }
  box_.selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
}

void ListBoxRows::replace(const std::vector<std::wstring>& rows) {
  const int current = box_.currentRow();
  while (box_.count() > static_cast<int>(rows.size())) delete box_.takeItem(box_.count() - 1);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const QString text = QString::fromStdWString(rows[i]);
    if (QListWidgetItem* item = box_.item(static_cast<int>(i)))
      item->setText(text);
    else
      box_.addItem(text);
  }
  keepSelection(current);
}

std::wstring ListBoxRows::row(int index) const {
  const QListWidgetItem* item = box_.item(index);
  return item ? item->text().toStdWString() : std::wstring();
}

int ListBoxRows::count() const {
  return box_.count();
}

}  // namespace skycall
