// Who runs the server at the other end of a TCP connection, when that server
// runs on this machine: a port on it is anyone's to listen on while its
// usual server is not running.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// The user that owns the socket listening on this machine (in this network
// namespace) at the address and port the TCP socket `fd` is connected to;
// nothing when none listens there, as for a server on another machine.
std::optional<uint32_t> LocalServerOwner(int fd);

// The user id of `name` in the user database; nothing when there is none.
std::optional<uint32_t> UserId(const char* name);

}  // namespace platform
