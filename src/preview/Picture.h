// Pictures as the picture loader gives them, and the controls that show them: an image
// control that stretches its picture, and a form's own window (caption, size, state).
#pragma once

#include <memory>
#include <string>

#include "app/Controls.h"

namespace ravel {

// A loaded picture. Its size is reported in hundredths of a millimetre (2540 per inch).
class Picture {
 public:
  virtual ~Picture() = default;
  virtual int WidthHimetric() const = 0;
  virtual int HeightHimetric() const = 0;
};
using PicturePtr = std::shared_ptr<const Picture>;

// Twips per inch; window and control sizes are given in twips.
constexpr int kTwipsPerInch = 1440;

// An image control: its picture is stretched over the control's whole area when Stretch()
// is on. Position and size in twips, relative to its container.
class Image : public Control {
 public:
  Image(std::string name, int left, int top, int width, int height)
      : Control(std::move(name)), left_(left), top_(top), width_(width), height_(height) {}

  const PicturePtr& GetPicture() const { return picture_; }
  // Also when it is the same picture: the control draws it anew.
  void SetPicture(PicturePtr p) {
    picture_ = std::move(p);
    Notify(Aspect::Picture);
  }
  bool Stretch() const { return stretch_; }
  void SetStretch(bool on) { Set(stretch_, on, Aspect::Picture); }
  // A picture is being read for the control: it says so in place of its picture, which it
  // shows again should the reading come to nothing.
  bool Loading() const { return loading_; }
  void SetLoading(bool on) { Set(loading_, on, Aspect::Picture); }
  void Refresh() { Notify(Aspect::Picture); }

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void Move(int left, int top, int width, int height);

 private:
  PicturePtr picture_;
  bool stretch_ = true;
  bool loading_ = false;
  int left_, top_, width_, height_;
};

// A form's window as a control: Text() is its caption, Visible() whether it is shown. Its
// outer size is set by the form (twips); its inner (scale) size and minimised state are
// reported by the window.
class FormWindow : public TextControl {
 public:
  FormWindow(std::string name, std::string caption, int width, int height)
      : TextControl(std::move(name), std::move(caption)), width_(width), height_(height) {
    Control::SetVisible(false);
  }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetSize(int width, int height);
  int ScaleWidth() const { return scale_width_; }
  int ScaleHeight() const { return scale_height_; }
  bool Minimized() const { return minimized_; }
  // From the window: its client size in twips and whether it is minimised.
  void TakeWindowState(int scale_width, int scale_height, bool minimized) {
    scale_width_ = scale_width;
    scale_height_ = scale_height;
    minimized_ = minimized;
  }

 private:
  int width_, height_;
  int scale_width_ = 0, scale_height_ = 0;
  bool minimized_ = false;
};

}  // namespace ravel
