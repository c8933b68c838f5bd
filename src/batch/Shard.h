// One of N disjoint shares of the documents, by a stable hash of each document's path
// relative to the folder it was found in, so N processes or machines that see the tree at
// different places still split it the same way.
#pragma once

#include <optional>
#include <string>

namespace ravel::batch {

struct Shard {
  unsigned k = 1, n = 1;  // the K-th (1-based) of N
};

// "K/N" with 1 <= K <= N <= 10000; null when it is not one.
std::optional<Shard> ParseShard(const std::string& text);
// Whether the document of `key` (its relative path, any separators and case) is in `shard`.
bool InShard(const std::string& key, Shard shard);

}  // namespace ravel::batch
