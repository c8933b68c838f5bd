// Peers: each mirrors one core control into one real window. A change that starts in the
// real window (a click, a selection) is applied to the core inside FromWindow(), so it is
// not mirrored back; changes the peer itself makes to the window are not taken as the
// user's (Writing()).
#pragma once

#include "win32/gui/Win.h"
// (after windows.h)
#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "app/Controls.h"

namespace ravel::win {

class Peer : public ControlPeer {
 public:
  Peer() = default;
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;
  ~Peer() override { Detach(); }

  // The control forgets this peer and the window is no longer touched.
  void Detach();
  // A deferred peer writes a new text, value or range into its window not at once but at
  // the next ShowDeferred, newest state only. For a status text set once per file and a
  // progress bar set as often: the window would otherwise spend more time redrawing them
  // than the operation spends working. Enabled, Visible and Focus stay immediate.
  void SetDeferred(bool on);
  // Writes what deferred peers hold back into their windows. Every place where an
  // operation ends or waits for the user calls it whole. The event pump calls it paced:
  // then it writes only when a frame interval has passed since the last write, as a screen
  // shows no more anyway and each repaint costs about as much as listing a folder.
  enum class Pace { Now, Frame };
  static void ShowDeferred(Pace pace = Pace::Now);
  // The pacing's interval: a display frame unless set (0: every paced call writes).
  static void SetFrameInterval(unsigned milliseconds);
  HWND Hwnd() const { return hwnd_; }
  void Update(Control& c, Aspect what) final;

  template <class F>
  void FromWindow(F&& f) {
    Guard g(quiet_);
    f();
  }
  bool Writing() const { return writing_ > 0; }

 protected:
  // Binds to the control and its window and mirrors the control's whole state.
  void Bind(Control& c, HWND hwnd);
  // Enabled, Visible and Focus; kinds add their own aspects.
  virtual void Mirror(Aspect what);
  virtual void MirrorAll();

  Control* control_ = nullptr;
  HWND hwnd_ = nullptr;

 private:
  struct Guard {
    explicit Guard(int& n) : n_(n) { ++n_; }
    ~Guard() { --n_; }
    int& n_;
  };
  void ShowPending();

  int quiet_ = 0;
  int writing_ = 0;
  bool deferred_ = false;
  std::uint8_t pending_ = 0;  // deferred aspects not yet shown, one bit each
};

// Labels, frames, text boxes and buttons.
class TextPeer : public Peer {
 public:
  void Attach(TextControl& c, HWND hwnd) { Bind(c, hwnd); }

 protected:
  void Mirror(Aspect what) override;
  void MirrorAll() override;
};

class CheckPeer : public TextPeer {
 public:
  void Attach(CheckBox& c, HWND hwnd) { Bind(c, hwnd); }
  // The box's state as the window shows it, as a check value.
  int WindowValue() const;

 protected:
  void Mirror(Aspect what) override;
  void MirrorAll() override;
};

class ProgressPeer : public Peer {
 public:
  void Attach(ProgressBar& c, HWND hwnd) { Bind(c, hwnd); }

 protected:
  void Mirror(Aspect what) override;
  void MirrorAll() override;
};

// A core timer as a SetTimer timer of the owning window; WM_TIMER carries `id`.
class TimerPeer : public Peer {
 public:
  void Attach(Timer& t, HWND owner, UINT_PTR id);

 protected:
  void Mirror(Aspect what) override;
  void MirrorAll() override;

 private:
  UINT_PTR id_ = 0;
};

class ListBoxPeer : public Peer {
 public:
  void Attach(ListBox& c, HWND hwnd) { Bind(c, hwnd); }
  // The highlighted entry as the window shows it (-1: none).
  int WindowIndex() const;
  // Lets the list scroll sideways as far as its widest entry reaches.
  void FitExtent();

 protected:
  void Mirror(Aspect what) override;
  void MirrorAll() override;

 private:
  ListBox& L() const { return static_cast<ListBox&>(*control_); }
};

// The report-view list. Real rows stand in the core's display order and carry their item
// number as lParam; every row change goes by item number.
class ListViewPeer : public Peer {
 public:
  void Attach(ListView& c, HWND hwnd);
  // Column widths for the list's present size and font: the small columns get their
  // relative share, but never less than their header and a "False" need; "File" the rest.
  void FitColumns(UINT dpi);
  // LVN_ITEMCHANGED: the selection and the current row go into the core (no handlers).
  // True when another row became the current one.
  bool TakeItemChanged(const NMLISTVIEW& nm);
  // Item number of the real row at `index` (0 for none).
  int ItemAt(int index) const;
  // Arrow in the header of the sort column, after a header click.
  void ShowSortMark();

 protected:
  void Mirror(Aspect what) override;
  void MirrorAll() override;

 private:
  ListView& L() const { return static_cast<ListView&>(*control_); }
  void MirrorRows();
  void Rebuild();
  void InsertRow(int index, int item);
  void SetRowTexts(int index, int item);
  void SetRowState(int index, int item);
  void MirrorSelection();
  int IndexOf(int item) const;

  std::vector<int> shown_;  // item numbers of the real rows, top to bottom
};

}  // namespace ravel::win
