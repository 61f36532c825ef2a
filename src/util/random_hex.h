#pragma once

#include <string>

namespace trovik {

// 128 random bits as 32 lowercase hex digits, from the system's random source: a name or token
// nobody can guess or make in advance.
std::string random_hex();

}  // namespace trovik
