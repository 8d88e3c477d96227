// The report descriptor a board declares: what the simulator's boards present
// in sysfs and what the tests' fake boards carry.
#pragma once

#include <cstdint>
#include <vector>

namespace quorel_sim {

// Vendor-defined page, one collection, 8 bytes of output and 8 of input:
// an output report of 9 bytes with the report id.
inline const std::vector<uint8_t> kBoardDescriptor = {
    0x06, 0x00, 0xFF,  // Usage Page (Vendor 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x08,        //   Report Count (8)
    0x09, 0x02,        //   Usage (2)
    0x81, 0x02,        //   Input (Data, Variable, Absolute)
    0x09, 0x03,        //   Usage (3)
    0x91, 0x02,        //   Output (Data, Variable, Absolute)
    0xC0,              // End Collection
};

}  // namespace quorel_sim
