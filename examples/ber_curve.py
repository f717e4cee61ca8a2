"""Bit error rate against Es/N0 on two channel conditions, from Python.

    PYTHONPATH=build/python python3 examples/ber_curve.py [ber_curve.png]

Sweeps the noise-only channel and the "bom" fading condition with the same
stop rule as `tern sweep`, prints the table, and draws the information-bit
error rate of the turbo receiver with its 95% intervals beside that of the
ten modules' receiver (soft decisions, no channel correction), its coded
bits and the uncoded QPSK reference, when matplotlib is installed.
"""
import sys

import numpy as np

import tern


def main(png="ber_curve.png"):
    table = tern.sweep(channel=["awgn", "bom"], esno="0:1:6", equalizer=["turbo", "none"], decoder="soft",
                       max_errors=300, max_bursts=20)
    print("%-8s %7s %7s %10s %10s %12s" % ("channel", "Es/N0", "bursts", "bits", "errors", "ber"))
    for row in zip(table["channel"], table["esno_db"], table["bursts"], table["bits"], table["errors"], table["ber"]):
        print("%-8s %7.1f %7d %10d %10d %12.4g" % row)

    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plot (apt-get install python3-matplotlib)")
        return

    figure, axes = plt.subplots(figsize=(7, 5))
    for channel in np.unique(table["channel"]):
        rows = table["channel"] == channel
        esno, ber = table["esno_db"][rows], table["ber"][rows]
        below = ber - table["ci_low"][rows]
        above = table["ci_high"][rows] - ber
        axes.errorbar(esno, ber, yerr=[below, above], marker="o", capsize=3, label=f"{channel}, turbo receiver")
        axes.plot(esno, table["soft_ber"][rows], marker="s", linestyle="-.", label=f"{channel}, ten modules (soft)")
        axes.plot(esno, table["coded_ber"][rows], marker=".", linestyle=":", label=f"{channel}, coded bits")
    first = table["channel"] == table["channel"][0]
    axes.plot(table["esno_db"][first], table["theory"][first], "k--", label="uncoded QPSK, noise only")
    axes.set_yscale("log")
    axes.set_xlabel("Es/N0 (dB)")
    axes.set_ylabel("bit error rate")
    axes.grid(True, which="both", alpha=0.3)
    axes.legend()
    figure.tight_layout()
    figure.savefig(png, dpi=100)
    print("plot written to", png)


if __name__ == "__main__":
    main(*sys.argv[1:2])
