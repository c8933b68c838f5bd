// The window of the duplicate location chooser: the core dialog's controls made real, its
// notifications turned into the dialog's handlers. Win32Host::ShowModal runs it modally.
#pragma once

#include "win32/gui/Win.h"

#include <array>

#include "win32/gui/Peers.h"
#include "win32/gui/Window.h"

namespace ravel {
class MoreLinksFound;
}

namespace ravel::win {

class MoreLinksFoundWindow : public Window {
 public:
  enum Id : int {
    kFrame1 = 100,
    kLabel1,
    kList,
    kTextPath,
    kCommandOK = IDOK,
    kCommandCancel = IDCANCEL,
  };
  static constexpr const wchar_t* kClassName = L"RavelmendMoreLinksFound";

  explicit MoreLinksFoundWindow(MoreLinksFound& dialog) : dialog_(dialog) {}
  ~MoreLinksFoundWindow() override;

  // Creates the window hidden, centred over the owner, mirroring the dialog's controls.
  bool Create(HWND owner);
  void Show();
  // Detaches from the dialog's controls and destroys the window.
  void Close();
  HWND Child(int id) const { return children_.Get(id); }

 private:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnCommand(int id, int code);
  void DetachAll();
  void Place(UINT dpi, bool resize);

  MoreLinksFound& dialog_;
  ChildSet children_;
  std::array<TextPeer, 5> texts_;
  ListBoxPeer list_;
  HWND owner_ = nullptr;
  HWND focus_ = nullptr;
};

}  // namespace ravel::win
