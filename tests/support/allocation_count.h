#pragma once

// Counts every global allocation of the test program that links
// allocation_count.cpp, so a test can check that a path allocates nothing.
namespace quorvelle::testing_support {

long allocationCount();

}  // namespace quorvelle::testing_support
