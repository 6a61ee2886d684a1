#pragma once

namespace platform::posix {

// Every file operation of this layer passes here first. False, with errno set
// to EIO, when it is the operation chosen to fail by platform::fault.
bool PassFileCheckpoint();

}  // namespace platform::posix
