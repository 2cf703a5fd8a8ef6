#include "RegisterFrame.h"

#include "TalkerLink.h"

TalkerStatus RegisterFrame::read() { return link_.readRegisters(SP, CCR, B, A, X, Y, PC); }

TalkerStatus RegisterFrame::write() { return link_.writeRegisters(SP, CCR, B, A, X, Y, PC); }
