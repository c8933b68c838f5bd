#include "preview/wPictureViewer.h"

namespace ravel {

void wPictureViewer::Form_Resize() {
  if (Me.Minimized()) return;
  int width = xImgedit.Width();
  if (Me.ScaleWidth() - xImgedit.Left() > 0) width = Me.ScaleWidth() - xImgedit.Left();
  xImgedit.Move(xImgedit.Left(), xImgedit.Top(), width, Me.ScaleHeight());
}

void wPictureViewer::Unload() {
  if (closed_) return;
  closed_ = true;
  Me.SetVisible(false);
  if (OnUnload) OnUnload();
}

}  // namespace ravel
