#include "preview/Picture.h"

namespace ravel {

void Image::Move(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  Notify(Aspect::Bounds);
}

void FormWindow::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  Notify(Aspect::Bounds);
}

}  // namespace ravel
