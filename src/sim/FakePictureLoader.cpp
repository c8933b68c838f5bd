#include "sim/FakePictureLoader.h"

namespace ravel::sim {

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

void FakePictureLoader::Add(const std::string& path, int width_himetric, int height_himetric) {
  known_[Lower(path)] = {width_himetric, height_himetric};
}

std::shared_ptr<const Picture> FakePictureLoader::Load(const std::string& path) {
  asked.push_back(path);
  auto it = known_.find(Lower(path));
  if (it == known_.end()) return nullptr;
  return std::make_shared<FakePicture>(path, it->second.first, it->second.second);
}

std::string PathOf(const PicturePtr& picture) {
  auto* fake = dynamic_cast<const FakePicture*>(picture.get());
  return fake != nullptr ? fake->Path() : std::string();
}

}  // namespace ravel::sim
