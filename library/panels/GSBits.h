#pragma once

#include "library/panels/BitOnOff.h"

// The library's private copy of the bit indicator: the same control and dispatch identifiers as
// BitOnOff, but not registered, so hosts cannot create it. The motor power panel carries six.
class GSBits : public BitOnOff {
    Q_OBJECT
public:
    explicit GSBits(QWidget* parent = nullptr);
};
