#pragma once

#include <functional>

// Runs action while files this process writes may not grow beyond bytes, so that writing fails
// part-way, for root as for anybody.
void WithFileSizeLimit(long bytes, const std::function<void()>& action);
