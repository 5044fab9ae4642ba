#pragma once
// The baud rate the program set on its side of a pseudo-terminal. On Linux the
// master sees the slave's settings; a rate without a B-constant (14400) is set
// as a custom speed (BOTHER) and read back the same way.

namespace sim {

// The output rate of the terminal `fd` refers to, or 0 when it cannot be read.
int terminalBaudRate(int fd);

} // namespace sim
