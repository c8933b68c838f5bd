// The main window's preview of the selected item's picture, and the opening of the viewer.
#include "app/Form_Main.h"
#include "inventory/Word.h"
#include "preview/wPictureViewer.h"
#include "relink/FileOP.h"

namespace ravel {

namespace {

// The picture's size number (hundredths of a millimetre) taken as twips, capped at the
// screen: the viewer is therefore about 1.76 times the picture's size.
int ViewerLength(int screen, int picture) {
  return screen <= picture ? screen : picture;
}

}  // namespace

wPictureViewer* Form_Main::Viewer() const {
  return viewer_ && !viewer_->Closed() ? viewer_.get() : nullptr;
}

void Form_Main::ShowPreview() {
  Hst.SetScreenHourglass(true);
  // Any failure leaves the picture shown before.
  try {
    int n = ListView_IS.Current();
    if (n >= 1 && n <= G.ItemCount) {
      std::string source = G.Item(n).SourcePath;
      PicturePtr picture;
      bool load = true;
      if (FileExists(Fs, source)) {
        picture = Hst.LoadPicture(source);
      } else {
        std::string resolved = DocumentFolder() + "\\" + source;
        if (FileExists(Fs, resolved))
          picture = Hst.LoadPicture(resolved);
        else
          load = false;  // found in neither form: the preview goes blank
      }
      if (!load || picture) {
        xImgedit.SetStretch(true);
        xImgedit.SetPicture(std::move(picture));
      }
    }
  } catch (...) {
  }
  Hst.SetScreenHourglass(false);
}

void Form_Main::OpenPictureViewer() {
  if (G.ItemCount < 1) return;
  Hst.SetScreenHourglass(true);
  OpenViewerOnce();
  Hst.SetScreenHourglass(false);
}

void Form_Main::OpenViewerOnce() {
  // Any failure ends the opening silently; the viewer may stay loaded and hidden.
  try {
    int n = ListView_IS.Current();
    if (n < 1 || n > G.ItemCount) return;
    std::string source = G.Item(n).SourcePath;
    if (!viewer_ || viewer_->Closed()) viewer_ = std::make_shared<wPictureViewer>();
    wPictureViewer& viewer = *viewer_;
    PicturePtr picture;
    if (FileExists(Fs, source)) {
      picture = Hst.LoadPicture(source);
    } else {
      std::string resolved = DocumentFolder() + "\\" + source;
      viewer.Me.SetText(resolved);
      picture = Hst.LoadPicture(resolved);
    }
    if (!picture) return;
    viewer.xImgedit.SetPicture(picture);
    ScreenSize screen = Hst.ScreenTwips();
    viewer.Me.SetSize(ViewerLength(screen.width, picture->WidthHimetric()),
                      ViewerLength(screen.height, picture->HeightHimetric()));
    Hst.ShowViewer(viewer);
  } catch (...) {
  }
}

}  // namespace ravel
