// The kernel lists every TCP socket of the network namespace with its owner
// in /proc/net/tcp and /proc/net/tcp6. A connection's own server end is no
// use: until the server accepts it, and after the server closes it, it is
// listed as root's. The listening socket it came to is the server's: no
// other user may listen on the same address and port while it does.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/socket_owner.h"

namespace platform {

namespace {

constexpr unsigned kListening = 0x0A;

struct Listener {
  std::string address;  // as the table prints it
  unsigned port = 0;
  unsigned state = 0;
  unsigned uid = 0;
};

std::vector<Listener> Listeners(const char* table, unsigned port) {
  std::vector<Listener> found;
  FILE* f = std::fopen(table, "re");
  if (f == nullptr) return found;
  char line[512];
  while (std::fgets(line, sizeof line, f) != nullptr) {
    char address[64];
    Listener l;
    // sl local-address:port remote st tx:rx tr:when retransmits uid ...
    if (std::sscanf(line, " %*[0-9]: %63[0-9A-F]:%x %*s %x %*s %*s %*s %u", address, &l.port, &l.state, &l.uid) != 4)
      continue;
    if (l.state != kListening || l.port != port) continue;
    l.address = address;
    found.push_back(std::move(l));
  }
  std::fclose(f);
  return found;
}

// The owner of the listener for `address` (as printed) or, when there is
// none, of one for every address (`any`).
std::optional<uint32_t> Owner(const std::vector<Listener>& listeners, const std::string& address,
                              const std::string& any) {
  std::optional<uint32_t> owner;
  for (const Listener& l : listeners) {
    if (l.address == address) return l.uid;
    if (l.address == any) owner = l.uid;
  }
  return owner;
}

}  // namespace

std::optional<uint32_t> LocalServerOwner(int fd) {
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0 || peer.sin_family != AF_INET) return {};
  const unsigned port = ntohs(peer.sin_port);
  // The address's 32 bits as a number of this machine's byte order, in hex.
  char v4[16];
  std::snprintf(v4, sizeof v4, "%08X", peer.sin_addr.s_addr);
  if (auto owner = Owner(Listeners("/proc/net/tcp", port), v4, "00000000")) return owner;
  // A listener on IPv6 takes IPv4 too, the address then shown as
  // ::ffff:a.b.c.d, printed as four 32-bit words.
  uint32_t mapped = 0;
  const uint8_t ffff[4] = {0, 0, 0xff, 0xff};
  std::memcpy(&mapped, ffff, sizeof mapped);
  char v6[40];
  std::snprintf(v6, sizeof v6, "0000000000000000%08X%08X", mapped, peer.sin_addr.s_addr);
  return Owner(Listeners("/proc/net/tcp6", port), v6, std::string(32, '0'));
}

std::optional<uint32_t> UserId(const char* name) {
  const long wanted = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(wanted > 0 ? static_cast<size_t>(wanted) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwnam_r(name, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
  return found->pw_uid;
}

}  // namespace platform
