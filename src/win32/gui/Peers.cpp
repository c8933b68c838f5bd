#include "win32/gui/Peers.h"

#include <algorithm>
#include <string>

#include "win32/common/Utf.h"
#include "win32/gui/Dpi.h"

namespace ravel::win {

namespace {

// The deferred aspects, as bits of Peer::pending_.
constexpr std::uint8_t Bit(Aspect what) {
  switch (what) {
    case Aspect::Text:
      return 1;
    case Aspect::Value:
      return 2;
    case Aspect::Range:
      return 4;
    default:
      return 0;
  }
}

// Peers holding back changes, in the order they first did; the UI thread's alone.
std::vector<Peer*>& Pending() {
  static std::vector<Peer*> pending;
  return pending;
}

}  // namespace

void Peer::Detach() {
  if (control_ != nullptr && control_->Peer() == this) control_->SetPeer(nullptr);
  control_ = nullptr;
  hwnd_ = nullptr;
  if (pending_ != 0) std::erase(Pending(), this);
  pending_ = 0;
}

void Peer::SetDeferred(bool on) {
  deferred_ = on;
  if (!on) ShowPending();
}

namespace {
unsigned frame_interval = 16;  // milliseconds
ULONGLONG last_shown = 0;      // GetTickCount64 of the last write
}  // namespace

void Peer::SetFrameInterval(unsigned milliseconds) {
  frame_interval = milliseconds;
}

void Peer::ShowDeferred(Pace pace) {
  if (Pending().empty()) return;
  ULONGLONG now = GetTickCount64();
  if (pace == Pace::Frame && frame_interval > 0 && now - last_shown < frame_interval) return;
  last_shown = now;
  // Taken out first: a window written to may run code that defers again.
  std::vector<Peer*> due;
  due.swap(Pending());
  for (Peer* p : due) p->ShowPending();
}

void Peer::ShowPending() {
  std::uint8_t due = pending_;
  if (due == 0) return;
  pending_ = 0;
  std::erase(Pending(), this);
  if (hwnd_ == nullptr || control_ == nullptr) return;
  Guard g(writing_);
  // The range before the value, which it may make valid.
  for (Aspect what : {Aspect::Range, Aspect::Value, Aspect::Text})
    if ((due & Bit(what)) != 0) Mirror(what);
}

void Peer::Bind(Control& c, HWND hwnd) {
  Detach();
  control_ = &c;
  hwnd_ = hwnd;
  c.SetPeer(this);
  if (hwnd_ == nullptr) return;
  Guard g(writing_);
  MirrorAll();
}

void Peer::Update(Control& c, Aspect what) {
  if (quiet_ > 0 || hwnd_ == nullptr || &c != control_) return;
  if (deferred_ && Bit(what) != 0) {
    if (pending_ == 0) Pending().push_back(this);
    pending_ |= Bit(what);
    return;
  }
  Guard g(writing_);
  Mirror(what);
}

void Peer::Mirror(Aspect what) {
  switch (what) {
    case Aspect::Enabled:
      EnableWindow(hwnd_, control_->Enabled() ? TRUE : FALSE);
      break;
    case Aspect::Visible:
      ShowWindow(hwnd_, control_->Visible() ? SW_SHOWNA : SW_HIDE);
      break;
    case Aspect::Focus:
      SetFocus(hwnd_);
      break;
    default:
      break;
  }
}

void Peer::MirrorAll() {
  Mirror(Aspect::Enabled);
  Mirror(Aspect::Visible);
}

void TextPeer::Mirror(Aspect what) {
  if (what == Aspect::Text)
    SetWindowTextW(hwnd_, Widen(static_cast<TextControl&>(*control_).Text()).c_str());
  else
    Peer::Mirror(what);
}

void TextPeer::MirrorAll() {
  Peer::MirrorAll();
  Mirror(Aspect::Text);
}

int CheckPeer::WindowValue() const {
  if (hwnd_ == nullptr) return 0;
  return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void CheckPeer::Mirror(Aspect what) {
  if (what == Aspect::Value) {
    int v = static_cast<CheckBox&>(*control_).Value();
    SendMessageW(hwnd_, BM_SETCHECK, v == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
  } else {
    TextPeer::Mirror(what);
  }
}

void CheckPeer::MirrorAll() {
  TextPeer::MirrorAll();
  Mirror(Aspect::Value);
}

void ProgressPeer::Mirror(Aspect what) {
  auto& bar = static_cast<ProgressBar&>(*control_);
  if (what == Aspect::Range)
    SendMessageW(hwnd_, PBM_SETRANGE32, 0, bar.Max());
  else if (what == Aspect::Value)
    SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(bar.Value()), 0);
  else
    Peer::Mirror(what);
}

void ProgressPeer::MirrorAll() {
  Peer::MirrorAll();
  Mirror(Aspect::Range);
  Mirror(Aspect::Value);
}

void TimerPeer::Attach(Timer& t, HWND owner, UINT_PTR id) {
  id_ = id;
  Bind(t, owner);
}

void TimerPeer::Mirror(Aspect what) {
  if (what != Aspect::Enabled && what != Aspect::Timer) return;
  auto& t = static_cast<Timer&>(*control_);
  if (t.Enabled())
    SetTimer(hwnd_, id_, static_cast<UINT>(std::max(t.Interval(), 1)), nullptr);
  else
    KillTimer(hwnd_, id_);
}

void TimerPeer::MirrorAll() {
  Mirror(Aspect::Enabled);
}

int ListBoxPeer::WindowIndex() const {
  if (hwnd_ == nullptr) return -1;
  return static_cast<int>(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0));
}

void ListBoxPeer::FitExtent() {
  if (hwnd_ == nullptr || control_ == nullptr) return;
  HDC dc = GetDC(hwnd_);
  if (dc == nullptr) return;
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
  int widest = 0;
  for (const auto& entry : L().Entries()) {
    std::wstring w = Widen(entry);
    SIZE size{};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
    widest = std::max<int>(widest, size.cx);
  }
  SelectObject(dc, old);
  ReleaseDC(hwnd_, dc);
  SendMessageW(hwnd_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
}

void ListBoxPeer::Mirror(Aspect what) {
  const auto& entries = L().Entries();
  switch (what) {
    case Aspect::Rows: {
      auto shown = static_cast<std::size_t>(SendMessageW(hwnd_, LB_GETCOUNT, 0, 0));
      // Entries come one at a time: add only the new one when that is all that changed.
      if (shown + 1 != entries.size()) {
        SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
        shown = 0;
      }
      for (std::size_t i = shown; i < entries.size(); ++i)
        SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(entries[i]).c_str()));
      FitExtent();
      Mirror(Aspect::Selection);
      break;
    }
    case Aspect::Selection:
      SendMessageW(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(L().ListIndex()), 0);
      break;
    default:
      Peer::Mirror(what);
  }
}

void ListBoxPeer::MirrorAll() {
  Peer::MirrorAll();
  SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
  Mirror(Aspect::Rows);
}

// --- the list view ---

void ListViewPeer::Attach(ListView& c, HWND hwnd) {
  shown_.clear();
  if (hwnd != nullptr) {
    int col = 0;
    for (const auto& column : c.Columns()) {
      std::wstring header = Widen(column.header);
      LVCOLUMNW lvc{};
      lvc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
      lvc.pszText = header.data();
      lvc.cx = 50;
      lvc.iSubItem = col;
      SendMessageW(hwnd, LVM_INSERTCOLUMNW, static_cast<WPARAM>(col),
                   reinterpret_cast<LPARAM>(&lvc));
      ++col;
    }
  }
  Bind(c, hwnd);
}

void ListViewPeer::FitColumns(UINT dpi) {
  if (hwnd_ == nullptr) return;
  const auto& cols = L().Columns();
  if (cols.empty()) return;
  RECT rc{};
  GetClientRect(hwnd_, &rc);
  // Room for a vertical scroll bar whether or not it shows, so the widths do not jump.
  LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
  int avail = rc.right - rc.left - ((style & WS_VSCROLL) != 0 ? 0 : Scale(17, dpi));
  int total = 0;
  for (const auto& c : cols) total += c.width;
  if (total <= 0 || avail <= 0) return;
  auto text_width = [&](const std::string& s) {
    std::wstring w = Widen(s);
    return static_cast<int>(
        SendMessageW(hwnd_, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(w.c_str())));
  };
  int pad = Scale(12, dpi);  // the list's own padding around a text
  std::vector<int> widths(cols.size());
  int rest = avail;
  for (std::size_t i = 1; i < cols.size(); ++i) {
    int share = MulDiv(avail, cols[i].width, total);
    int need = std::max(text_width(cols[i].header), text_width(i == 1 ? "Picture" : "False")) + pad;
    widths[i] = std::max(share, need);
    rest -= widths[i];
  }
  widths[0] = std::max(rest, Scale(80, dpi));
  for (std::size_t i = 0; i < widths.size(); ++i)
    SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(widths[i], 0));
}

int ListViewPeer::ItemAt(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= shown_.size()) return 0;
  return shown_[static_cast<std::size_t>(index)];
}

int ListViewPeer::IndexOf(int item) const {
  auto it = std::find(shown_.begin(), shown_.end(), item);
  return it == shown_.end() ? -1 : static_cast<int>(it - shown_.begin());
}

bool ListViewPeer::TakeItemChanged(const NMLISTVIEW& nm) {
  if (Writing() || control_ == nullptr || (nm.uChanged & LVIF_STATE) == 0) return false;
  bool moved = false;
  FromWindow([&] {
    auto take = [&](int index, UINT state, UINT old_state) {
      int item = ItemAt(index);
      if (item == 0) return;
      L().SetSelected(item, (state & LVIS_SELECTED) != 0);
      if ((state & LVIS_FOCUSED) != 0 && (old_state & LVIS_FOCUSED) == 0 && L().Current() != item) {
        L().SetCurrent(item);
        moved = true;
      }
    };
    if (nm.iItem >= 0) {
      take(nm.iItem, nm.uNewState, nm.uOldState);
      return;
    }
    // A change of every row at once: read each row back.
    for (int i = 0; i < static_cast<int>(shown_.size()); ++i) {
      auto state = static_cast<UINT>(SendMessageW(hwnd_, LVM_GETITEMSTATE, static_cast<WPARAM>(i),
                                                  LVIS_SELECTED | LVIS_FOCUSED));
      take(i, state, L().Current() == ItemAt(i) ? LVIS_FOCUSED : 0);
    }
  });
  return moved;
}

void ListViewPeer::ShowSortMark() {
  if (hwnd_ == nullptr) return;
  HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0));
  if (header == nullptr) return;
  int n = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    HDITEMW hd{};
    hd.mask = HDI_FORMAT;
    SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&hd));
    hd.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (i == L().SortKey()) hd.fmt |= L().SortDescending() ? HDF_SORTDOWN : HDF_SORTUP;
    SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&hd));
  }
}

void ListViewPeer::Mirror(Aspect what) {
  switch (what) {
    case Aspect::Rows:
      MirrorRows();
      break;
    case Aspect::Row: {
      int item = L().ChangedRow();
      int index = IndexOf(item);
      if (index >= 0) SetRowTexts(index, item);
      break;
    }
    case Aspect::Selection:
      MirrorSelection();
      break;
    default:
      Peer::Mirror(what);
  }
}

void ListViewPeer::MirrorAll() {
  Peer::MirrorAll();
  shown_.clear();
  Rebuild();
}

void ListViewPeer::MirrorRows() {
  SendMessageW(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(L().ExtendedStyle()));
  const std::vector<int>& order = L().Order();
  if (order == shown_) return;
  // A read adds rows one by one: insert just the new row when that is the whole change.
  if (order.size() == shown_.size() + 1) {
    int item = L().Count();
    auto at = std::find(order.begin(), order.end(), item);
    if (at != order.end()) {
      std::vector<int> without(order.begin(), at);
      without.insert(without.end(), at + 1, order.end());
      if (without == shown_) {
        int index = static_cast<int>(at - order.begin());
        shown_.insert(shown_.begin() + index, item);
        InsertRow(index, item);
        SetRowState(index, item);
        return;
      }
    }
  }
  Rebuild();
}

void ListViewPeer::Rebuild() {
  SendMessageW(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(L().ExtendedStyle()));
  SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0);
  shown_ = L().Order();
  SendMessageW(hwnd_, LVM_SETITEMCOUNT, shown_.size(), 0);
  for (std::size_t i = 0; i < shown_.size(); ++i) InsertRow(static_cast<int>(i), shown_[i]);
  MirrorSelection();
  SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void ListViewPeer::InsertRow(int index, int item) {
  std::wstring text = Widen(L().Cell(item, 0));
  LVITEMW lvi{};
  lvi.mask = LVIF_TEXT | LVIF_PARAM;
  lvi.iItem = index;
  lvi.pszText = text.data();
  lvi.lParam = item;
  int at =
      static_cast<int>(SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lvi)));
  if (at < 0) return;
  for (int col = 1; col < ListView::kColumns; ++col) {
    std::wstring cell = Widen(L().Cell(item, col));
    LVITEMW sub{};
    sub.iSubItem = col;
    sub.pszText = cell.data();
    SendMessageW(hwnd_, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&sub));
  }
}

void ListViewPeer::SetRowTexts(int index, int item) {
  for (int col = 0; col < ListView::kColumns; ++col) {
    std::wstring cell = Widen(L().Cell(item, col));
    LVITEMW sub{};
    sub.iSubItem = col;
    sub.pszText = cell.data();
    SendMessageW(hwnd_, LVM_SETITEMTEXTW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&sub));
  }
}

void ListViewPeer::SetRowState(int index, int item) {
  const UINT mask = LVIS_SELECTED | LVIS_FOCUSED;
  UINT want = (L().Selected(item) ? LVIS_SELECTED : 0) | (L().Current() == item ? LVIS_FOCUSED : 0);
  auto have =
      static_cast<UINT>(SendMessageW(hwnd_, LVM_GETITEMSTATE, static_cast<WPARAM>(index), mask));
  if ((have & mask) == want) return;
  LVITEMW lvi{};
  lvi.stateMask = mask;
  lvi.state = want;
  SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&lvi));
}

void ListViewPeer::MirrorSelection() {
  for (std::size_t i = 0; i < shown_.size(); ++i) SetRowState(static_cast<int>(i), shown_[i]);
}

}  // namespace ravel::win
