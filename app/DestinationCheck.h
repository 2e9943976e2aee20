// Whether a folder the program is about to write into could change the volume being read.
#pragma once

#include <string>

// True when writing under `destination` could overwrite what `source` names. For a block
// device: the destination's file system lies on it, on a partition of it or on a device
// built on it. For a disk image: the destination lies in a mount of the image itself
// (FUSE) or of a loop device backed by it. A destination that does not exist yet is
// judged by its nearest existing folder. An unmounted image never conflicts.
bool DestinationOnScannedDevice(const std::string& source, const std::string& destination);
