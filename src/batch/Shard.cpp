#include "batch/Shard.h"

#include <cstdint>

#include "relink/TextCompare.h"

namespace ravel::batch {

std::optional<Shard> ParseShard(const std::string& text) {
  std::size_t slash = text.find('/');
  auto number = [](const std::string& s) -> std::optional<unsigned> {
    if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != std::string::npos)
      return std::nullopt;
    return static_cast<unsigned>(std::stoul(s));
  };
  if (slash == std::string::npos) return std::nullopt;
  std::optional<unsigned> k = number(text.substr(0, slash)), n = number(text.substr(slash + 1));
  if (!k || !n || *k < 1 || *n > 10000 || *k > *n) return std::nullopt;
  return Shard{*k, *n};
}

bool InShard(const std::string& key, Shard shard) {
  // FNV-1a over the lower-case path with one separator, the same on every host.
  std::uint64_t h = 14695981039346656037ull;
  for (char c : LowerCase(key))
    h = (h ^ static_cast<unsigned char>(c == '\\' ? '/' : c)) * 1099511628211ull;
  return h % shard.n == shard.k - 1;
}

}  // namespace ravel::batch
