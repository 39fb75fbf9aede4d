#pragma once
// A clock a test sets by hand.
#include "engine/Clock.h"

namespace zrk::test {

class FakeClock : public Clock {
  public:
    std::int64_t nowSeconds() override { return now; }
    std::tm localTime() override { return local; }
    std::int64_t now = 1'000'000;
    std::tm local{};
};

}  // namespace zrk::test
