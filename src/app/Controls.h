// Control objects of the forms. A control holds its own state; a peer, when set, mirrors
// each change into a real window. Tests drive forms through this state alone.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ravel {

class Control;

// What changed on a control, so a peer updates only that part of its window.
enum class Aspect : std::uint8_t {
  Text,   // text or caption
  Value,  // check value, progress value, list index
  Range,  // progress maximum
  Enabled,
  Visible,
  Rows,       // list rows added, removed or reordered
  Row,        // one list row's texts (see ListView::changedRow)
  Selection,  // list selection or current row
  Focus,
  Timer,  // timer enabled or interval
  Picture,
  Bounds,  // position or size (in twips)
};

class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual void Update(Control& c, Aspect what) = 0;
};

class Control {
 public:
  explicit Control(std::string name) : name_(std::move(name)) {}
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& Name() const { return name_; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on) { Set(enabled_, on, Aspect::Enabled); }
  bool Visible() const { return visible_; }
  void SetVisible(bool on) { Set(visible_, on, Aspect::Visible); }
  void SetFocus() { Notify(Aspect::Focus); }

  void SetPeer(ControlPeer* peer) { peer_ = peer; }
  ControlPeer* Peer() const { return peer_; }

 protected:
  void Notify(Aspect what) {
    if (peer_ != nullptr) peer_->Update(*this, what);
  }
  template <class T>
  void Set(T& field, const T& v, Aspect what) {
    if (field == v) return;
    field = v;
    Notify(what);
  }

 private:
  std::string name_;
  bool enabled_ = true;
  bool visible_ = true;
  ControlPeer* peer_ = nullptr;
};

// Text box, label, frame, button, menu entry: anything whose state is a text.
class TextControl : public Control {
 public:
  TextControl(std::string name, std::string text = {})
      : Control(std::move(name)), text_(std::move(text)) {}
  const std::string& Text() const { return text_; }
  void SetText(const std::string& t) { Set(text_, t, Aspect::Text); }

 private:
  std::string text_;
};
using TextBox = TextControl;
using Label = TextControl;
using Frame = TextControl;
using Button = TextControl;

class CheckBox : public TextControl {
 public:
  CheckBox(std::string name, std::string caption, int value)
      : TextControl(std::move(name), std::move(caption)), value_(value) {}
  // 1 checked, 0 unchecked.
  int Value() const { return value_; }
  void SetValue(int v) { Set(value_, v, Aspect::Value); }

 private:
  int value_;
};

class ProgressBar : public Control {
 public:
  explicit ProgressBar(std::string name) : Control(std::move(name)) {}
  int Max() const { return max_; }
  int Value() const { return value_; }
  void SetMax(int m) { Set(max_, m, Aspect::Range); }
  // A value beyond the range is refused: the bar keeps its previous value.
  bool SetValue(int v) {
    if (v < 0 || v > max_) return false;
    Set(value_, v, Aspect::Value);
    return true;
  }

 private:
  int max_ = 100;
  int value_ = 0;
};

class Timer : public Control {
 public:
  Timer(std::string name, int interval_ms) : Control(std::move(name)), interval_(interval_ms) {
    Control::SetEnabled(false);
  }
  int Interval() const { return interval_; }
  void SetInterval(int ms) { Set(interval_, ms, Aspect::Timer); }
  void Start() { SetEnabled(true); }
  void Stop() { SetEnabled(false); }

 private:
  int interval_;
};

// A list box of texts with one highlighted entry (-1: none).
class ListBox : public Control {
 public:
  explicit ListBox(std::string name) : Control(std::move(name)) {}
  const std::vector<std::string>& Entries() const { return entries_; }
  void AddItem(const std::string& text) {
    entries_.push_back(text);
    Notify(Aspect::Rows);
  }
  void Clear() {
    entries_.clear();
    index_ = -1;
    Notify(Aspect::Rows);
  }
  int ListIndex() const { return index_; }
  void SetListIndex(int i) { Set(index_, i, Aspect::Selection); }

 private:
  std::vector<std::string> entries_;
  int index_ = -1;
};

// Report-view list of link items. Rows are kept in item order (row for item n at n - 1)
// with a separate display order, so sorting never changes which record a row stands for:
// every operation gets item numbers, never display positions.
class ListView : public Control {
 public:
  static constexpr int kColumns = 6;
  struct Row {
    std::array<std::string, kColumns> cells;  // 0: row text, 1..5: sub-items
    bool selected = false;
  };
  struct Column {
    std::string header;
    int width;  // relative units
  };

  explicit ListView(std::string name) : Control(std::move(name)) {}

  void SetColumns(std::vector<Column> cols) { columns_ = std::move(cols); }
  const std::vector<Column>& Columns() const { return columns_; }
  const std::string& ToolTip() const { return tooltip_; }
  void SetToolTip(std::string t) { tooltip_ = std::move(t); }
  // LVS_EX_* bits; the peer writes the whole style to the real list.
  unsigned ExtendedStyle() const { return ex_style_; }
  void SetExtendedStyle(unsigned bits) { Set(ex_style_, bits, Aspect::Rows); }

  int Count() const { return static_cast<int>(rows_.size()); }
  void Clear();
  // Appends the row of the next item number (Count() + 1) and returns that number.
  int Add(const std::array<std::string, kColumns>& cells);
  const Row& RowOf(int item) const { return rows_.at(static_cast<std::size_t>(item - 1)); }
  const std::string& Cell(int item, int col) const { return RowOf(item).cells.at(col); }
  void SetCell(int item, int col, const std::string& text);
  int ChangedRow() const { return changed_row_; }

  // Selection and the current (focused) row, by item number; 0 means none.
  bool Selected(int item) const { return RowOf(item).selected; }
  void SetSelected(int item, bool on);
  int Current() const { return current_; }
  void SetCurrent(int item) { Set(current_, item, Aspect::Selection); }

  // Display order: item numbers from top to bottom.
  const std::vector<int>& Order() const { return order_; }
  int SortKey() const { return sort_key_; }
  bool SortDescending() const { return descending_; }
  // Header click: a new column sorts ascending; the remembered column again reverses.
  void ColumnClick(int col);

 private:
  void Resort();

  std::vector<Column> columns_;
  std::string tooltip_;
  unsigned ex_style_ = 0;
  std::vector<Row> rows_;
  std::vector<int> order_;
  int current_ = 0;
  int changed_row_ = 0;
  int sort_key_ = 0;
  bool descending_ = false;
  bool sorted_ = false;  // false until the first header click: rows stay in item order
};

}  // namespace ravel
