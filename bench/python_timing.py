"""Timing of the Python module's own costs (not a test): the fixed cost of a
module call on small inputs, and converting a 10^6-sample complex column in
and out, beside numpy's copy of the same column for the memory speed.

    PYTHONPATH=build/python python3 bench/python_timing.py
"""
import timeit

import numpy as np

import tern


def best(statement, number, repeat=7):
    """Seconds per call, the best of `repeat` runs of `number` calls."""
    return min(timeit.repeat(statement, number=number, repeat=repeat)) / number


def main():
    shaping = dict(rolloffFactor=0.35, pulseDelay=1, oversamplingFactor=1)
    small = np.ones(4, complex)
    milstd = tern.ternSetup(dict(modointer="short", M=1, N_tlc=0, N_fixa=9, codLength=7, nFrames=1, seed=1))
    symbols = np.ones(2 * int(milstd["dataLength"]), complex)

    print("fixed cost of a module call (small inputs):")
    calls = [
        ("ternMatch(4 samples, varShapping)", lambda: tern.ternMatch(small, shaping)),
        ("ternTiming(16 samples, 1, varShapping)", lambda: tern.ternTiming(np.ones(16, complex), 1.0, shaping)),
        ("ternSplit(%d symbols, milstd)" % symbols.size, lambda: tern.ternSplit(symbols, milstd)),
    ]
    for name, call in calls:
        print("  %-44s %7.2f us" % (name, best(call, 20000) * 1e6))
    print("  %-44s %7.2f us" % ("(a Python function call, for scale)", best(lambda: None, 200000) * 1e6))

    n = 10 ** 6
    column = (np.arange(n) + 1j * np.arange(n)).astype(complex)
    copy = best(lambda: column.copy(), 50)
    # ternMatch with a pulse of one tap on one sample per symbol: in, a copy
    # through the core, and out again, with the arithmetic of one tap.
    one_tap = dict(rolloffFactor=1.0, pulseDelay=0, oversamplingFactor=1)
    through = best(lambda: tern.ternMatch(column, one_tap), 20)
    strided = column.reshape(-1, 1)
    def import_only(x):
        # ternDetect imports its column, then refuses the empty record: the
        # column's conversion in, without any core work.
        try:
            tern.ternDetect(x, {})
        except ValueError:
            pass

    into = best(lambda: import_only(column), 50)
    print("10^6-sample complex column (16 MB):")
    print("  %-44s %7.2f ms (%.1f GB/s)" % ("numpy copy", copy * 1e3, 16e6 / copy / 1e9))
    print("  %-44s %7.2f ms (%.1f GB/s)" % ("in: column to the core's type (a copy)", into * 1e3, 16e6 / into / 1e9))
    print("  %-44s %7.2f ms" % ("ternMatch, one tap: in + core + out", through * 1e3))
    print("  %-44s %7.2f ms" % ("  the same from an (N, 1) array", best(lambda: tern.ternMatch(strided, one_tap), 20) * 1e3))
    print("  %-44s %7.2f ms" % ("  the same from a complex64 array", best(
        lambda: tern.ternMatch(column.astype(np.complex64), one_tap), 10) * 1e3))
    out = tern.ternMatch(column, one_tap)["out"]
    print("  (out owns the core's column, no copy: base is %s)" % type(out.base).__name__)


if __name__ == "__main__":
    main()
