#include "sim/FakePictureLoader.h"

#include <chrono>

namespace ravel::sim {

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

void FakePictureLoader::Add(const std::string& path, int width_himetric, int height_himetric) {
  std::lock_guard lock(mutex_);
  known_[Lower(path)] = {width_himetric, height_himetric};
}

PicturePtr FakePictureLoader::Decode(const std::string& path, const std::atomic<bool>& abandoned) {
  std::unique_lock lock(mutex_);
  asked_.push_back(path);
  ++active_;
  struct Leave {
    FakePictureLoader& f;
    ~Leave() {
      --f.active_;
      f.changed_.notify_all();
    }
  } leave{*this};
  std::string key = Lower(path);
  if (held_.count(key) != 0) {
    waiting_.insert(key);
    changed_.notify_all();
    // As a codec does between its steps, it looks whether it is still wanted.
    while (held_.count(key) != 0 && !abandoned)
      changed_.wait_for(lock, std::chrono::milliseconds(1));
    waiting_.erase(key);
    // A codec that saw it in time stops; the picture is given all the same, as by one that
    // could not: it must not be shown either way.
    if (abandoned) abandoned_.push_back(path);
  }
  auto it = known_.find(key);
  if (it == known_.end()) return nullptr;
  return std::make_shared<FakePicture>(path, it->second.first, it->second.second);
}

void FakePictureLoader::WorkerStarts() {
  std::lock_guard lock(mutex_);
  ++started_;
}

void FakePictureLoader::WorkerEnds() {
  std::lock_guard lock(mutex_);
  ++ended_;
}

void FakePictureLoader::Hold(const std::string& path) {
  std::lock_guard lock(mutex_);
  held_.insert(Lower(path));
}

void FakePictureLoader::Finish(const std::string& path) {
  std::lock_guard lock(mutex_);
  held_.erase(Lower(path));
  changed_.notify_all();
}

void FakePictureLoader::WaitUntilHeld(const std::string& path) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return waiting_.count(Lower(path)) != 0; });
}

void FakePictureLoader::WaitUntilIdle() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return active_ == 0; });
}

std::vector<std::string> FakePictureLoader::Asked() const {
  std::lock_guard lock(mutex_);
  return asked_;
}

std::vector<std::string> FakePictureLoader::Abandoned() const {
  std::lock_guard lock(mutex_);
  return abandoned_;
}

int FakePictureLoader::WorkersStarted() const {
  std::lock_guard lock(mutex_);
  return started_;
}

int FakePictureLoader::WorkersEnded() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

std::string PathOf(const PicturePtr& picture) {
  auto* fake = dynamic_cast<const FakePicture*>(picture.get());
  return fake != nullptr ? fake->Path() : std::string();
}

}  // namespace ravel::sim
