#include "app/Controls.h"

#include <algorithm>

#include "relink/TextCompare.h"

namespace ravel {

void ListView::Clear() {
  rows_.clear();
  order_.clear();
  current_ = 0;
  changed_row_ = 0;
  Notify(Aspect::Rows);
}

int ListView::Add(const std::array<std::string, kColumns>& cells) {
  rows_.push_back(Row{cells, false});
  int item = Count();
  order_.push_back(item);
  if (sorted_) Resort();
  Notify(Aspect::Rows);
  // As in the list control, the first row added becomes the current one.
  if (current_ == 0) SetCurrent(item);
  return item;
}

void ListView::SetCell(int item, int col, const std::string& text) {
  std::string& cell = rows_.at(static_cast<std::size_t>(item - 1)).cells.at(col);
  if (cell == text) return;
  cell = text;
  changed_row_ = item;
  Notify(Aspect::Row);
  if (sorted_ && col == sort_key_) {
    Resort();
    Notify(Aspect::Rows);
  }
}

void ListView::SetSelected(int item, bool on) {
  Row& r = rows_.at(static_cast<std::size_t>(item - 1));
  if (r.selected == on) return;
  r.selected = on;
  Notify(Aspect::Selection);
}

void ListView::ColumnClick(int col) {
  if (col < 0 || col >= kColumns) return;
  if (col == sort_key_) {
    descending_ = !descending_;
  } else {
    sort_key_ = col;
    descending_ = false;
  }
  sorted_ = true;
  Resort();
  Notify(Aspect::Rows);
}

void ListView::Resort() {
  // Text order without regard to case, as the list control sorts; ties keep item order so
  // the display is stable.
  std::stable_sort(order_.begin(), order_.end(), [this](int a, int b) {
    const std::string& x = rows_[static_cast<std::size_t>(a - 1)].cells[sort_key_];
    const std::string& y = rows_[static_cast<std::size_t>(b - 1)].cells[sort_key_];
    int c = CompareNoCase(x, y);
    return descending_ ? c > 0 : c < 0;
  });
}

}  // namespace ravel
