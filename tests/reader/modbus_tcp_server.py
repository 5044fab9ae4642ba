#!/usr/bin/env python3
"""A Modbus TCP server (pymodbus 3.0, Debian 12) holding the registers the
module's temperature requests read: channel C's position P at C * 256 + P, with
the value (-1)^(C+1) * (C * 100 + P) hundredths of a degree. Serves until killed.

usage: modbus_tcp_server.py PORT
"""
import sys

from pymodbus.datastore import ModbusServerContext, ModbusSlaveContext, ModbusSparseDataBlock
from pymodbus.server import StartTcpServer


def hundredths(channel, position):
    value = channel * 100 + position
    return value if channel % 2 == 1 else -value


def main():
    port = int(sys.argv[1])
    registers = {
        channel * 256 + position: hundredths(channel, position) & 0xFFFF
        for channel in range(1, 11)
        for position in range(1, 161)
    }
    # zero_mode: a request's address is the register's, not one below it.
    slave = ModbusSlaveContext(hr=ModbusSparseDataBlock(registers), zero_mode=True)
    StartTcpServer(context=ModbusServerContext(slaves=slave, single=True), address=("127.0.0.1", port))


if __name__ == "__main__":
    main()
