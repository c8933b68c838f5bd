// The image control as a window: it draws its picture stretched over its whole area (or at
// its own size when stretching is off) and tells its parent of clicks (STN_CLICKED) and
// double-clicks (STN_DBLCLK) through WM_COMMAND, as a notifying static control does. Peers
// mirror core image controls and form windows into real windows.
#pragma once

#include "win32/gui/Win.h"

#include <memory>

#include "preview/Picture.h"
#include "win32/gui/Peers.h"

namespace ravel::win {

class WinPicture;

// The window class of image controls; registered by the first call.
const wchar_t* ImageViewClass();
// The picture an image window shows (null: blank) and whether it is stretched.
void SetImagePicture(HWND image, std::shared_ptr<const WinPicture> picture, bool stretch);
std::shared_ptr<const WinPicture> ImagePictureOf(HWND image);
// A picture is being read for it: after a moment (a picture at hand arrives sooner) it says
// so in place of its picture, until told otherwise.
void SetImageLoading(HWND image, bool loading);
bool ImageShowsLoading(HWND image);
// The notice it shows meanwhile.
extern const wchar_t* const kLoadingNotice;
// Drafts (quick, coarse) while its window is being sized; the filtered picture at the end.
void SetImageDraft(HWND image, bool draft);
// The colour behind the picture (the window colour by default).
void SetImageBackground(HWND image, COLORREF color);

// A core Image into an image window. With `follow_bounds` the window is moved and sized as
// the control is (twips, relative to the parent's client area); otherwise the window keeps
// the place its layout gave it.
class ImagePeer : public Peer {
 public:
  void Attach(Image& c, HWND hwnd, bool follow_bounds) {
    follow_bounds_ = follow_bounds;
    Bind(c, hwnd);
  }

 protected:
  void Mirror(Aspect what) override;
  void MirrorAll() override;

 private:
  bool follow_bounds_ = false;
};

// A form's window: caption, visibility (hidden means the form unloaded itself: the window
// is told to go with `close_message`, posted so that it never goes inside its own handler)
// and outer size in twips.
class FormPeer : public Peer {
 public:
  void Attach(FormWindow& c, HWND hwnd, UINT close_message, bool follow_bounds) {
    close_message_ = close_message;
    follow_bounds_ = follow_bounds;
    Bind(c, hwnd);
  }

 protected:
  void Mirror(Aspect what) override;
  void MirrorAll() override;

 private:
  UINT close_message_ = 0;
  bool follow_bounds_ = false;
};

// A window's caption from a text control; nothing else of the window is touched.
class CaptionPeer : public Peer {
 public:
  void Attach(TextControl& c, HWND hwnd) { Bind(c, hwnd); }

 protected:
  void Mirror(Aspect what) override;
  void MirrorAll() override { Mirror(Aspect::Text); }
};

// Twips to pixels at `dpi` and back.
int PixelsOf(int twips, UINT dpi);
int TwipsOf(int pixels, UINT dpi);

}  // namespace ravel::win
