#pragma once

#include <string>

namespace korvan {

// The group that owns the device at `devicePath`, when joining it would let a user read and
// write the device: the group may read and write it, and it is not root. Empty otherwise, or
// when the device cannot be looked at.
std::string JoinableGroup(const std::string& devicePath);

}  // namespace korvan
