// The windows of the preview and information forms: the picture viewer, the splash (also
// the About window) and the information window on hidden linked pictures. Each mirrors its
// core form through peers and turns real events into the form's handlers.
#pragma once

#include "win32/gui/Win.h"

#include <array>
#include <memory>
#include <vector>

#include "win32/gui/ImageView.h"
#include "win32/gui/Peers.h"
#include "win32/gui/Window.h"

namespace ravel {
class wPictureViewer;
class frmSplash;
class DL_Info;
}  // namespace ravel

namespace ravel::win {

// Posted by a form's peer when the form has unloaded itself: the window goes.
constexpr UINT kFormClosedMessage = WM_APP + 7;

// Fonts of one window, made for its DPI and freed with it.
class FontSet {
 public:
  FontSet() = default;
  FontSet(const FontSet&) = delete;
  FontSet& operator=(const FontSet&) = delete;
  ~FontSet() { Clear(); }
  HFONT Make(const wchar_t* face, double points, bool bold, bool underline, UINT dpi);
  void Clear();

 private:
  std::vector<HFONT> fonts_;
};

class ViewerWindow : public Window {
 public:
  enum Id : int { kImage = 10 };
  static constexpr const wchar_t* kClassName = L"RavelmendViewer";

  explicit ViewerWindow(wPictureViewer& form) : form_(form) {}
  ~ViewerWindow() override;
  bool Create();
  wPictureViewer& Form() const { return form_; }
  HWND Image() const { return image_; }
  // Shows it (again) in front.
  void Show();

 private:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  void DetachAll();

  wPictureViewer& form_;
  HWND image_ = nullptr;
  ImagePeer image_peer_;
  FormPeer me_;
};

class SplashWindow : public Window {
 public:
  enum Id : int {
    kFrame1 = 10,
    kPicture1,
    kProductName,
    kVersion,
    kPlatform,
    kCompanyProduct,
    kCompany,
    kCopyright,
    kLabel5,
  };
  enum TimerId : UINT_PTR { kTimer1 = 1 };
  static constexpr const wchar_t* kClassName = L"RavelmendSplash";

  explicit SplashWindow(frmSplash& form) : form_(form) {}
  ~SplashWindow() override;
  // Hidden, centred over `owner` (the screen when null).
  bool Create(HWND owner);
  frmSplash& Form() const { return form_; }
  HWND Child(int id) const { return children_.Get(id); }

 private:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  void Place(UINT dpi);
  void DetachAll();

  frmSplash& form_;
  HWND owner_ = nullptr;
  ChildSet children_;
  FontSet fonts_;
  std::array<TextPeer, 8> texts_;
  ImagePeer picture_;
  TimerPeer timer_;
  FormPeer me_;
  HBRUSH white_ = nullptr;
};

class InfoWindow : public Window {
 public:
  enum Id : int { kFrame1 = 10, kPicture1, kLabel1, kLabel2, kLabel3, kLabel4, kLabel5 };
  static constexpr const wchar_t* kClassName = L"RavelmendInfo";

  explicit InfoWindow(DL_Info& form) : form_(form) {}
  ~InfoWindow() override;
  bool Create(HWND owner);
  DL_Info& Form() const { return form_; }
  HWND Child(int id) const { return children_.Get(id); }

 private:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  void Place(UINT dpi);
  void DetachAll();

  DL_Info& form_;
  HWND owner_ = nullptr;
  ChildSet children_;
  FontSet fonts_;
  std::array<TextPeer, 7> texts_;
  ImagePeer picture_;
  FormPeer me_;
};

}  // namespace ravel::win
