// A picture loader for tests: it reads the pictures it was given (by path, without regard to
// case) with the sizes given, and nothing else. A path can be held: its decode then waits,
// on the worker thread, until the test finishes it or the request is abandoned, so a test
// decides when a slow picture arrives.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "preview/Picture.h"
#include "preview/PictureRequests.h"

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

class FakePictureLoader : public PictureDecoder {
 public:
  // `path` loads as a picture of this size (hundredths of a millimetre).
  void Add(const std::string& path, int width_himetric, int height_himetric);
  // Null for a path it was not given: a missing file or no picture.
  PicturePtr Decode(const std::string& path, const std::atomic<bool>& abandoned) override;
  void WorkerStarts() override;
  void WorkerEnds() override;

  // Decodes of `path` wait until Finish(path) or until their request is abandoned.
  void Hold(const std::string& path);
  void Finish(const std::string& path);
  // Waits until a decode of `path` is waiting in Hold; until no decode is running.
  void WaitUntilHeld(const std::string& path);
  void WaitUntilIdle();

  // Every path asked for, in order; the paths whose decode saw itself abandoned; how many
  // worker threads started and ended.
  std::vector<std::string> Asked() const;
  std::vector<std::string> Abandoned() const;
  int WorkersStarted() const;
  int WorkersEnded() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::pair<int, int>> known_;
  std::set<std::string> held_, waiting_;
  std::vector<std::string> asked_, abandoned_;
  int started_ = 0, ended_ = 0, active_ = 0;
};

// The path a picture was loaded from (empty for none or another kind of picture).
std::string PathOf(const PicturePtr& picture);

}  // namespace ravel::sim
