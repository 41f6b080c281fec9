"""pymodbus on the loopback for the network tests, with its RTU framer over TCP.

usage: pymodbus_tcp_peer.py server PORT REGISTER_COUNT
         slave 1 holds registers 0 .. REGISTER_COUNT-1 with value register * 3 + 1
       pymodbus_tcp_peer.py client HOST PORT
         reads and writes our simulated meter; exits 0 when every check holds
"""
import struct
import sys

from pymodbus.transaction import ModbusRtuFramer


def serve(port, size):
    from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                    ModbusSlaveContext)
    from pymodbus.server import StartTcpServer

    block = ModbusSequentialDataBlock(0, [(r * 3 + 1) & 0xFFFF for r in range(size)])
    store = ModbusSlaveContext(hr=block, zero_mode=True)
    context = ModbusServerContext(slaves={1: store}, single=False)
    StartTcpServer(context=context, framer=ModbusRtuFramer, address=("127.0.0.1", port))


def check(condition, what):
    if not condition:
        print("FAILED:", what)
        sys.exit(1)


def client(host, port):
    from pymodbus.client import ModbusTcpClient

    c = ModbusTcpClient(host, port=port, framer=ModbusRtuFramer, timeout=3)
    check(c.connect(), "connect")
    current = c.read_holding_registers(0, 64, slave=1)
    check(not current.isError(), "read the current values: %s" % current)
    regs = current.registers
    codes = [struct.unpack("<f", struct.pack("<HH", regs[56 + 2 * k], regs[57 + 2 * k]))[0]
             for k in range(4)]
    check(codes == [3.0, 3.0, 2.0, 1.0], "the volume scale codes: %s" % codes)
    values = [(i * 7 + 1) & 0xFFFF for i in range(100)]
    check(not c.write_registers(400, values, slave=1).isError(), "write 100 parameter registers")
    back = c.read_holding_registers(400, 100, slave=1)
    check(not back.isError() and back.registers == values, "read the parameters back")
    wrong = c.read_holding_registers(100, 10, slave=1)
    check(wrong.isError() and getattr(wrong, "exception_code", 0) == 2,
          "exception 2 outside the blocks: %s" % wrong)
    c.close()


if __name__ == "__main__":
    if sys.argv[1] == "server":
        serve(int(sys.argv[2]), int(sys.argv[3]))
    else:
        client(sys.argv[2], int(sys.argv[3]))
