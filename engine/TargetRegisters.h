#pragma once
#include "link/Registers.h"

// The engine's copy of the target's register frame: the link's Registers under its engine name.
using TargetRegisters = Registers;
