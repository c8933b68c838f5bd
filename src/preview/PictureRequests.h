// Pictures are decoded beside the window, on a worker thread of their own: a large picture
// takes seconds to decode, and the window must answer meanwhile. Only the newest request
// counts: a new one abandons the one before (its decode stops where the codec lets it, its
// result is never delivered), and the window thread takes the result when told it is there.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "preview/Picture.h"

namespace ravel {

// The platform's picture loader, as the worker thread uses it.
class PictureDecoder {
 public:
  virtual ~PictureDecoder() = default;
  // On a worker thread as it starts and before it ends (a COM apartment of its own, say).
  virtual void WorkerStarts() {}
  virtual void WorkerEnds() {}
  // Reads `path` as a picture; null when it is missing or no picture the loader reads.
  // `abandoned` turns true when the result is no longer wanted: the loader stops at its
  // next step where it can and returns anything (it is dropped).
  virtual PicturePtr Decode(const std::string& path, const std::atomic<bool>& abandoned) = 0;
};

class PictureRequests {
 public:
  // `arrived` is called on the worker thread when a result is ready to be taken; it asks
  // the window thread to call Take (a posted message).
  PictureRequests(PictureDecoder& decoder, std::function<void()> arrived);
  ~PictureRequests();
  PictureRequests(const PictureRequests&) = delete;
  PictureRequests& operator=(const PictureRequests&) = delete;

  // Asks for `path`; whatever was asked before is abandoned.
  void Request(const std::string& path);
  // Abandons the request in hand, if any.
  void Abandon();
  // The result of the newest request, once, when it is ready (a null picture: none read).
  std::optional<PicturePtr> Take();
  // A request whose result has not been taken yet.
  bool Pending() const;
  // Abandons everything and joins the worker: nothing is left running. Requests after it
  // are ignored.
  void Stop();

 private:
  void Work();

  PictureDecoder& decoder_;
  std::function<void()> arrived_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread worker_;
  bool stopping_ = false;
  // The newest request: its path, whether the worker has it, its result when there.
  std::optional<std::string> path_;
  bool started_ = false;
  std::optional<PicturePtr> result_;
  std::shared_ptr<std::atomic<bool>> abandoned_;
};

}  // namespace ravel
