// ola-peek: what a private olad holds, for the test scripts (the tools of the
// ola package always talk to port 9010).
//   ola-peek fetch PORT UNIVERSE   the universe's channels, comma separated
//   ola-peek ready PORT            status 0 once the server answers
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ola_fetch.h"

int main(int argc, char** argv) {
  if (argc < 3 || (std::strcmp(argv[1], "fetch") == 0) != (argc == 4)) {
    std::fprintf(stderr, "usage: ola-peek fetch PORT UNIVERSE | ready PORT\n");
    return 2;
  }
  OlaFetch ola(static_cast<uint16_t>(std::atoi(argv[2])));
  const auto data = ola.Fetch(argc == 4 ? static_cast<unsigned>(std::atoi(argv[3])) : 0);
  if (!data) return 1;
  if (argc == 4) {
    for (size_t i = 0; i < data->size(); ++i) std::printf("%s%d", i ? "," : "", (*data)[i]);
    std::printf("\n");
  }
  return 0;
}
