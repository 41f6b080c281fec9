"""A pymodbus RTU server for the interoperability tests.

usage: pymodbus_slave.py PORT_PATH REGISTER_COUNT
Slave 1 holds registers 0 .. REGISTER_COUNT-1 with value register * 3 + 1.
"""
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartSerialServer
from pymodbus.transaction import ModbusRtuFramer

path, size = sys.argv[1], int(sys.argv[2])
block = ModbusSequentialDataBlock(0, [(r * 3 + 1) & 0xFFFF for r in range(size)])
store = ModbusSlaveContext(hr=block, zero_mode=True)
context = ModbusServerContext(slaves={1: store}, single=False)
StartSerialServer(context=context, framer=ModbusRtuFramer, port=path, baudrate=9600)
