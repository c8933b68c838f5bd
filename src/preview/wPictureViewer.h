// The picture viewer: the selected item's picture stretched over a resizable window. One
// instance at a time; a closed viewer is replaced by a fresh one at the next opening.
#pragma once

#include <functional>

#include "preview/Picture.h"

namespace ravel {

class wPictureViewer {
 public:
  // Design-time sizes in twips: the window and the image in its top left corner.
  static constexpr int kDesignWidth = 10110;
  static constexpr int kDesignHeight = 8340;

  FormWindow Me{"wPictureViewer", "", kDesignWidth, kDesignHeight};
  Image xImgedit{"xImgedit", 0, 0, 9975, 7800};
  Control VScroll1{"VScroll1"};  // its change and scroll events do nothing

  // The window was resized (also minimised or restored): the image fills the inner area.
  void Form_Resize();
  void Form_DblClick() { Unload(); }
  void xImgedit_DblClick() { Unload(); }
  // Closed by its frame.
  void Form_Unload() { Unload(); }

  bool Closed() const { return closed_; }
  // Told when the viewer unloads (its picture, if still being read, is no longer wanted).
  std::function<void()> OnUnload;

 private:
  void Unload();
  bool closed_ = false;
};

}  // namespace ravel
