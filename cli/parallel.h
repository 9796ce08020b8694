// Work on a list of files spread over every core, for the commands that read
// a whole directory (import, sample encode). Every item is worked on even when
// another fails, so that a refusal can name every problem at once.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Runs work(i) for every i below `count` on up to 16 threads, with a progress
// bar on standard error when `progress`. The work of an item must depend on
// that item alone, so that the results do not depend on the number of
// threads. Returns, per item, the message of the CliFailure it threw, or an
// empty string.
std::vector<std::string> WorkOnEach(size_t count, const std::function<void(size_t)>& work, bool progress);
