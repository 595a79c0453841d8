// How a step says what went wrong: the text the user will read, whole, or
// nothing when it went well. The step only words it; the layer that decides
// what the user sees (the command, the host, the start-up) shows it, once.
#pragma once

#include <optional>
#include <string>

using Failure = std::optional<std::string>;
