#include "feed/bench_feed.h"

namespace velmora {

BenchFeed::~BenchFeed() = default;

} // namespace velmora
