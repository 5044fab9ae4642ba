#pragma once
// The module's baud-rate codes: the code its address reply reports and the one
// the baud change request sets.

namespace protocol {

// 0 for a code the module does not know.
int baudRateForCode(int code);
// 0 for a rate the module cannot run at.
int baudCodeForRate(int rate);
// The codes run without a gap from the lowest to the highest.
int lowestBaudCode();
int highestBaudCode();

} // namespace protocol
