// A picture loader for tests: it reads the pictures it was given (by path, without regard to
// case) with the sizes given, and nothing else.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "preview/Picture.h"

namespace ravel::sim {

class FakePicture : public Picture {
 public:
  FakePicture(std::string path, int width, int height)
      : path_(std::move(path)), width_(width), height_(height) {}
  int WidthHimetric() const override { return width_; }
  int HeightHimetric() const override { return height_; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int width_, height_;
};

class FakePictureLoader {
 public:
  // `path` loads as a picture of this size (hundredths of a millimetre).
  void Add(const std::string& path, int width_himetric, int height_himetric);
  // Null for a path it was not given: a missing file or no picture.
  std::shared_ptr<const Picture> Load(const std::string& path);
  // Every path asked for, in order.
  std::vector<std::string> asked;

 private:
  std::map<std::string, std::pair<int, int>> known_;
};

// The path a picture was loaded from (empty for none or another kind of picture).
std::string PathOf(const PicturePtr& picture);

}  // namespace ravel::sim
