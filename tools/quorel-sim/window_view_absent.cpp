// A build without Qt 6 Widgets has no lamp window.
#include <cstdio>

#include "view.h"

namespace quorel_sim {

std::unique_ptr<View> MakeWindowView() {
  std::fprintf(stderr, "quorel-sim: this build has no window view (Qt 6 Widgets was missing); "
                       "use --view terminal or --view none\n");
  return nullptr;
}

}  // namespace quorel_sim
