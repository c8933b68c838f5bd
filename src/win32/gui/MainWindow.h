// The main window: Form_Main's controls made real from a layout table, its menu, and the
// real notifications turned into core state updates followed by the form's handlers.
#pragma once

#include "win32/gui/Win.h"

#include <array>

#include "win32/gui/ImageView.h"
#include "win32/gui/Peers.h"
#include "win32/gui/Window.h"

namespace ravel {
class Form_Main;
}

namespace ravel::win {

class Win32Host;

class MainWindow : public Window {
 public:
  // Child ids; the layout table in MainWindow.cpp places them.
  enum Id : int {
    kFrameDocName = 100,
    kTextDocumentName,
    kCommandInit,
    kCommandSave,
    kCommandExit,
    kFrameIS,
    kLabel4,
    kTextPBP,
    kListViewIS,
    kTextPath,
    kCheckSID,
    kCheckLinkLocked,
    kFrame1,
    kCheckShowHiddenObjects,
    kLabel2,
    kLabel1,
    kFrameImage,
    kCheckPreview,
    kImageView,
    kCommand1,
    kFrameNewDestPath,
    kTextNewDestPath,
    kCheckRelpath,
    kCommandChoose,
    kCommandSet,
    kLabelProgressBar,
    kProgressBarMain,
    kLabel5,
  };
  enum MenuId : int { kMenuHelp = 1001, kMenuAbout, kMenuExit, kMenuOpen, kMenuBackup };
  enum TimerId : UINT_PTR { kTimer1 = 1, kTimerDblClick };
  static constexpr const wchar_t* kClassName = L"RavelmendMain";
  // Text controls with a window (labels, frames, text boxes, buttons).
  static constexpr std::size_t kTextCount = 20;

  MainWindow(Form_Main& form, Win32Host& host) : form_(form), host_(host) {}
  ~MainWindow() override;

  // Creates the window hidden, every control mirroring its core state; false on failure.
  bool Create();
  void Show(int show_command);
  HWND Child(int id) const { return children_.Get(id); }

 private:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnCommand(int id, int code);
  LRESULT OnNotify(const NMHDR& nm);
  bool OnSetCursor(HWND over, int hit);
  LRESULT OnColor(HDC dc, HWND control);
  void Place(UINT dpi);
  void DetachAll();
  void AddToolTip();

  Form_Main& form_;
  Win32Host& host_;
  ChildSet children_;
  std::array<TextPeer, kTextCount> texts_;
  std::array<CheckPeer, 5> checks_;
  ProgressPeer progress_;
  ListViewPeer list_;
  TimerPeer timer1_;
  TimerPeer timer_dblclick_;
  CaptionPeer caption_;
  ImagePeer image_;
  HWND tooltip_ = nullptr;
  HACCEL accelerators_ = nullptr;
  HWND focus_ = nullptr;
};

}  // namespace ravel::win
