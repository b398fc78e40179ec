#pragma once

// The link's bus. Values outside the enumeration may be stored; every exchange then fails with -1.
enum BUS_TYPE : int {
    BUS_TYPE_NONE = 0,  // demo mode: nothing is sent
    BUS_TYPE_PCI = 1,
    BUS_TYPE_GPIB = 2,
    BUS_TYPE_RS232 = 3,
    BUS_TYPE_USB = 4,
};
