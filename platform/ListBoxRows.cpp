#include "platform/ListBoxRows.h"

namespace skycall {

void ListBoxRows::clear() {
  box_.clear();
}

void ListBoxRows::append(const std::wstring& row) {
  box_.addItem(QString::fromStdWString(row));
}

void ListBoxRows::insert(int index, const std::wstring& row) {
  box_.insertItem(index, QString::fromStdWString(row));
}

void ListBoxRows::remove(int index) {
  delete box_.takeItem(index);
}

std::wstring ListBoxRows::row(int index) const {
  const QListWidgetItem* item = box_.item(index);
  return item ? item->text().toStdWString() : std::wstring();
}

int ListBoxRows::count() const {
  return box_.count();
}

}  // namespace skycall
