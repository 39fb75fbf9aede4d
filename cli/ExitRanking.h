#pragma once
// One exit code for a run of many phones: the most serious class any of them ended with.
namespace zrk::cli {

// The order in which exit classes outrank each other: interrupted, internal, port or file,
// refused, not on the phone, phone failed, time-out, success.
int moreSerious(int a, int b);

}  // namespace zrk::cli
