"""pymodbus, a second independent Modbus stack, as the master of flovir-meter-sim.

Usage: pymodbus_master.py PATH_OF_flovir-meter-sim
Exits 0 when every check holds, 1 with the failed check otherwise.
"""
import struct
import subprocess
import sys

from pymodbus.client import ModbusSerialClient


def check(condition, what):
    if not condition:
        print("FAILED:", what)
        sys.exit(1)


def main():
    sim = subprocess.Popen([sys.argv[1], "--turnaround", "1"], stdout=subprocess.PIPE, text=True)
    try:
        path = sim.stdout.readline().strip()
        check(path.startswith("/dev/"), "the first line names the pseudo-terminal: %r" % path)
        client = ModbusSerialClient(port=path, baudrate=9600, timeout=2)
        check(client.connect(), "connect")

        current = client.read_holding_registers(0, 64, slave=1)
        check(not current.isError(), "read the current values: %s" % current)
        regs = current.registers
        codes = [struct.unpack("<f", struct.pack("<HH", regs[56 + 2 * c], regs[57 + 2 * c]))[0]
                 for c in range(4)]
        check(codes == [3.0, 3.0, 2.0, 1.0], "scale codes %s" % codes)
        day, hour = regs[18] >> 8, regs[18] & 0xFF
        check(1 <= day <= 31 and hour <= 23, "clock word %04x" % regs[18])

        # Today's daily entry so far: a selector write, then the window.
        year, month = 2000 + (regs[19] >> 8), regs[19] & 0xFF
        written = client.write_registers(0, [(year % 100) << 8 | month, day << 8, 0 << 8 | 1], slave=1)
        check(not written.isError(), "selector write: %s" % written)
        entry = client.read_holding_registers(200, 26, slave=1)
        check(not entry.isError() and len(entry.registers) == 26, "window read: %s" % entry)
        hours = [entry.registers[8 + 2 * c] | entry.registers[9 + 2 * c] << 16 for c in range(4)]
        check(all(h <= 24 * 10000 for h in hours), "operating times %s" % hours)

        values = [(i * 977) & 0xFFFF for i in range(100)]
        check(not client.write_registers(700, values, slave=1).isError(), "parameter write")
        back = client.read_holding_registers(700, 100, slave=1)
        check(not back.isError() and back.registers == values, "parameters read back")

        refused = client.read_holding_registers(64, 1, slave=1)
        check(refused.isError() and getattr(refused, "exception_code", None) == 2,
              "exception 2 outside the blocks: %s" % refused)
        client.close()
    finally:
        sim.terminate()
        check(sim.wait(timeout=10) == 0, "flovir-meter-sim ends cleanly on SIGTERM")
    print("pymodbus master: all checks hold")


if __name__ == "__main__":
    main()
