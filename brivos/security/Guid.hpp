#pragma once

#include <string>

namespace brivos {

// A new session token: 32 uppercase hexadecimal digits of 128 random bits,
// in the order of a GUID's registry form without braces and hyphens. Never
// fails: when the system's random source fails the token is "00000000".
std::string CreateGUIDString();

}  // namespace brivos
