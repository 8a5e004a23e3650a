// Global allocation functions that fail on request. Linking
// failing_allocator.cc into a test binary replaces operator new and delete
// for everything in it, the library included.
#ifndef KIVREL_TESTS_SUPPORT_FAILING_ALLOCATOR_H_
#define KIVREL_TESTS_SUPPORT_FAILING_ALLOCATOR_H_

#include <gtest/gtest.h>

#include <new>

namespace Kivrel::testing {

// How many allocations fail in a row before memory is back.
constexpr int kAllThatFollow = -1;

// The next `left` allocations succeed, then `failing` of them throw
// std::bad_alloc; negative `left`: none fails. Memory coming back shows a
// failure that a run swallows; ICU asks again for less where an allocation
// fails, so only two in a row show one there.
void failAllocationsAfter(long left, int failing = kAllThatFollow);
// The same for ICU's heap, where a failure returns null.
void failIcuAllocationsAfter(long left, int failing = kAllThatFollow);
long icuAllocationsMade();
// Allocations made since the program started, failed ones included.
long allocationsMade();
// Blocks allocated and not yet freed, so that a leak shows without the
// sanitizer too.
long liveBlocks();

// Checks that `change` leaves what `snapshot` sees as it was when it runs
// out of memory at any of its allocations, that it works once memory is
// back, and that the state then frees all it took. `make` builds a fresh
// state for every attempt; `change` must allocate only in what it tests.
template <class Make, class Change, class Snapshot>
void expectEachFailedAllocationChangesNothing(Make make, Change change, Snapshot snapshot) {
  long needed = 0;
  {
    auto state = make();
    const long before = allocationsMade();
    change(*state);
    needed = allocationsMade() - before;
  }
  ASSERT_GT(needed, 0) << "the change allocates nothing, so nothing can fail";
  for (long left = 0; left < needed; ++left) {
    SCOPED_TRACE(::testing::Message() << "allocation " << left + 1 << " of " << needed << " fails");
    const long live = liveBlocks();
    {
      auto state = make();
      const auto before = snapshot(*state);
      failAllocationsAfter(left);
      bool threw = false;
      try {
        change(*state);
      } catch (const std::bad_alloc&) {
        threw = true;
      }
      failAllocationsAfter(-1);
      EXPECT_TRUE(threw);
      EXPECT_EQ(snapshot(*state), before);
      change(*state);
    }
    EXPECT_EQ(liveBlocks(), live) << "a leak";
  }
}

}  // namespace Kivrel::testing

#endif  // KIVREL_TESTS_SUPPORT_FAILING_ALLOCATOR_H_
