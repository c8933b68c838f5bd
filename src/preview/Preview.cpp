// The main window's preview of the selected item's picture, and the opening of the viewer.
// The source is resolved here, on the window thread (it may ask Word for the document's
// folder); the picture is read on a worker thread, and the newest request wins.
#include "app/Form_Main.h"
#include "inventory/Word.h"
#include "preview/wPictureViewer.h"
#include "relink/FileOP.h"

#include <stdexcept>

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

PictureRequests& Form_Main::PreviewLoads() {
  if (!preview_loads_)
    preview_loads_ =
        std::make_unique<PictureRequests>(Hst.Pictures(), [this] { Hst.PostPicturesArrived(); });
  return *preview_loads_;
}

PictureRequests& Form_Main::ViewerLoads() {
  if (!viewer_loads_)
    viewer_loads_ =
        std::make_unique<PictureRequests>(Hst.Pictures(), [this] { Hst.PostPicturesArrived(); });
  return *viewer_loads_;
}

void Form_Main::ShowPreview() {
  Hst.SetScreenHourglass(true);
  bool requested = false;
  // Any failure leaves the picture shown before.
  try {
    int n = ListView_IS.Current();
    if (n >= 1 && n <= G.ItemCount) {
      std::string source = G.Item(n).SourcePath;
      std::string path;
      if (FileExists(Fs, source)) {
        path = source;
      } else {
        std::string resolved = DocumentFolder() + "\\" + source;
        if (FileExists(Fs, resolved)) path = resolved;
      }
      if (path.empty()) {
        // Found in neither form: the preview goes blank.
        xImgedit.SetStretch(true);
        xImgedit.SetPicture(nullptr);
      } else {
        PreviewLoads().Request(path);
        xImgedit.SetLoading(true);
        preview_item_ = n;
        requested = true;
      }
    }
  } catch (...) {
  }
  // This click is the newest: what was asked before is not shown, also when it fails.
  if (!requested) {
    PreviewLoads().Abandon();
    xImgedit.SetLoading(false);
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
    if (n < 1 || n > G.ItemCount) throw std::out_of_range("no row");
    std::string source = G.Item(n).SourcePath;
    if (!viewer_ || viewer_->Closed()) {
      viewer_ = std::make_shared<wPictureViewer>();
      // Closed while its picture is read: the reading stops.
      viewer_->OnUnload = [this] { ViewerLoads().Abandon(); };
    }
    wPictureViewer& viewer = *viewer_;
    std::string path = source;
    if (!FileExists(Fs, source)) {
      path = DocumentFolder() + "\\" + source;
      viewer.Me.SetText(path);
    }
    ViewerLoads().Request(path);
    viewer.xImgedit.SetLoading(true);
    return;
  } catch (...) {
  }
  // This opening is the newest: one asked for before does not follow it.
  ViewerLoads().Abandon();
  if (viewer_) viewer_->xImgedit.SetLoading(false);
}

void Form_Main::DropStalePreview() {
  if (!preview_loads_ || !preview_loads_->Pending() || ListView_IS.Current() == preview_item_)
    return;
  // A move by keyboard refreshes nothing, but the row being read is no longer selected.
  preview_loads_->Abandon();
  xImgedit.SetLoading(false);
}

void Form_Main::PicturesArrived() {
  DropStalePreview();
  if (preview_loads_) {
    if (auto picture = preview_loads_->Take()) {
      xImgedit.SetLoading(false);
      // No picture: the one shown before stays.
      if (*picture) {
        xImgedit.SetStretch(true);
        xImgedit.SetPicture(std::move(*picture));
      }
    }
  }
  if (viewer_loads_) {
    auto picture = viewer_loads_->Take();
    wPictureViewer* viewer = Viewer();
    if (!picture || viewer == nullptr) return;
    viewer->xImgedit.SetLoading(false);
    // No picture: the viewer is not shown (one shown already keeps its picture).
    if (!*picture) return;
    viewer->xImgedit.SetPicture(*picture);
    ScreenSize screen = Hst.ScreenTwips();
    viewer->Me.SetSize(ViewerLength(screen.width, (*picture)->WidthHimetric()),
                       ViewerLength(screen.height, (*picture)->HeightHimetric()));
    Hst.ShowViewer(*viewer);
  }
}

bool Form_Main::LoadingPictures() const {
  return (preview_loads_ && preview_loads_->Pending()) ||
         (viewer_loads_ && viewer_loads_->Pending());
}

void Form_Main::StopPictures() {
  if (preview_loads_) preview_loads_->Stop();
  if (viewer_loads_) viewer_loads_->Stop();
}

}  // namespace ravel
