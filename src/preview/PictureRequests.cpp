#include "preview/PictureRequests.h"

namespace ravel {

PictureRequests::PictureRequests(PictureDecoder& decoder, std::function<void()> arrived)
    : decoder_(decoder), arrived_(std::move(arrived)) {}

PictureRequests::~PictureRequests() {
  Stop();
}

void PictureRequests::Request(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (stopping_) return;
  // The same picture asked for again while it is read (or waits to be taken): it stands.
  if (path_ && *path_ == path) return;
  if (abandoned_) *abandoned_ = true;
  abandoned_ = std::make_shared<std::atomic<bool>>(false);
  path_ = path;
  started_ = false;
  result_.reset();
  if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
  wake_.notify_all();
}

void PictureRequests::Abandon() {
  std::lock_guard lock(mutex_);
  if (abandoned_) *abandoned_ = true;
  abandoned_.reset();
  path_.reset();
  started_ = false;
  result_.reset();
}

std::optional<PicturePtr> PictureRequests::Take() {
  std::lock_guard lock(mutex_);
  if (!result_) return std::nullopt;
  std::optional<PicturePtr> out = std::move(result_);
  result_.reset();
  path_.reset();
  abandoned_.reset();
  return out;
}

bool PictureRequests::Pending() const {
  std::lock_guard lock(mutex_);
  return path_.has_value();
}

void PictureRequests::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    if (abandoned_) *abandoned_ = true;
    abandoned_.reset();
    path_.reset();
    result_.reset();
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void PictureRequests::Work() {
  decoder_.WorkerStarts();
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || (path_ && !started_); });
    if (stopping_) break;
    started_ = true;
    std::string path = *path_;
    std::shared_ptr<std::atomic<bool>> abandoned = abandoned_;
    lock.unlock();
    PicturePtr picture;
    try {
      picture = decoder_.Decode(path, *abandoned);
    } catch (...) {
      picture = nullptr;  // no memory for it, say: no picture
    }
    lock.lock();
    // Only the newest request's result is kept; an abandoned one is dropped here.
    if (abandoned != abandoned_ || *abandoned) continue;
    result_ = std::move(picture);
    lock.unlock();
    if (arrived_) arrived_();
    lock.lock();
  }
  lock.unlock();
  decoder_.WorkerEnds();
}

}  // namespace ravel
