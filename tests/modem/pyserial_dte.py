"""An independent terminal for the simulated modem: pyserial types the AT
commands as a person or another program would, then pymodbus reads the meter
through the call, and the call is escaped and hung up.

Usage: pyserial_dte.py PATH_OF_flovir-meter-sim
Exits 0 when every check holds, 1 with the failed check otherwise.
"""
import subprocess
import sys
import time

import serial
from pymodbus.client import ModbusSerialClient

GUARD = 1.0  # the modem's guard time for "+++", s


def check(condition, what):
    if not condition:
        print("FAILED:", what)
        sys.exit(1)


def answer(line, text, wait=0.5):
    """Sends text and returns everything the modem says within wait seconds."""
    line.reset_input_buffer()
    line.write(text)
    time.sleep(wait)
    return line.read(line.in_waiting or 1)


def main():
    sim = subprocess.Popen([sys.argv[1], "--modem", "gsm", "--modem-creg", "5", "--turnaround", "1"],
                           stdout=subprocess.PIPE, text=True)
    try:
        path = sim.stdout.readline().strip()
        check(path.startswith("/dev/"), "the first line names the pseudo-terminal: %r" % path)

        line = serial.Serial(path, 19200, timeout=0.2)
        check(answer(line, b"AT\r") == b"", "silence at a speed the modem is not at")
        line.baudrate = 9600
        check(answer(line, b"AT\r") == b"AT\r\r\nOK\r\n", "echo and OK at its speed")
        check(answer(line, b"ATE0\r") == b"ATE0\r\r\nOK\r\n", "echo off")
        check(answer(line, b"AT+CREG?\r") == b"\r\n+CREG: 0,5\r\n\r\nOK\r\n", "registration")
        check(answer(line, b"AT+CPIN?\r") == b"\r\n+CPIN: READY\r\n\r\nOK\r\n", "SIM")
        check(answer(line, b"AT+XYZ\r") == b"\r\nERROR\r\n", "ERROR for an unknown command")
        check(answer(line, b"AT+IPR=19200\r") == b"\r\nOK\r\n", "speed change")
        line.baudrate = 19200
        check(answer(line, b"ATD 123\r") == b"\r\nCONNECT 9600\r\n", "the call")
        line.close()

        client = ModbusSerialClient(port=path, baudrate=19200, timeout=2)
        check(client.connect(), "connect")
        current = client.read_holding_registers(0, 64, slave=1)
        check(not current.isError() and len(current.registers) == 64,
              "current values through the call: %s" % current)
        client.close()

        line = serial.Serial(path, 19200, timeout=0.2)
        time.sleep(GUARD + 0.3)
        check(answer(line, b"+++", GUARD + 0.5) == b"\r\nOK\r\n", "escape after the guard time")
        check(answer(line, b"ATH0\r") == b"\r\nOK\r\n", "hang-up")
        line.close()
    finally:
        sim.terminate()
        check(sim.wait(timeout=10) == 0, "flovir-meter-sim ends cleanly on SIGTERM")
    print("pyserial terminal: all checks hold")


if __name__ == "__main__":
    main()
