"""The Python module against the command line built from the same core:
records bit for bit, report counts, sweep tables, error texts, refusals of
bad values, the GIL released during a call, and Ctrl-C."""
import json
import os
import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest

import tern

TERN = os.environ.get("TERN_BINARY") or os.path.join(os.path.dirname(tern.__file__), "..", "tern")

VARMILSTD = dict(modointer="short", M=1, N_tlc=0, N_fixa=9, codLength=7, nFrames=1, seed=1)
SHAPING = dict(rolloffFactor=0.35, pulseDelay=6, oversamplingFactor=5)


def cli(*args):
    return subprocess.run([TERN, *map(str, args)], capture_output=True, text=True)


def same(python_value, mat_value):
    """A field of tern.run against the same field read back from the MAT file."""
    if isinstance(python_value, str):
        return python_value == (str(mat_value[0]) if np.size(mat_value) else "")
    a, b = np.atleast_1d(python_value), np.asarray(mat_value)
    if a.ndim == 1:
        b = b.ravel()
    return a.shape == b.shape and a.dtype == (np.complex128 if np.iscomplexobj(b) else np.float64) and np.array_equal(a, b)


@pytest.mark.parametrize("options", [
    dict(channel="ruim", esno=12, seed=3, channel_seed=5),
    dict(channel="awgn", esno=4, mode="ultrashort", constraint_length=9, oversampling=4, rolloff=0.5),
])
def test_run_equals_the_command_line(options, tmp_path):
    scipy_io = pytest.importorskip("scipy.io")
    args = [a for k, v in options.items() for a in ("--" + k.replace("_", "-"), v)]
    mat = tmp_path / "run.mat"
    done = cli("run", *args, "--json", "--save", mat)
    assert done.returncode == 0, done.stderr
    expected = json.loads(done.stdout)
    result = tern.run(**options)

    saved = scipy_io.loadmat(mat)
    for name, record in result.items():
        if name == "report":
            continue
        if isinstance(record, dict):
            stored = saved[name][0, 0]
            assert list(record) == list(stored.dtype.names), name
            for field, value in record.items():
                assert same(value, stored[field]), f"{name}.{field}"
        else:
            assert same(record, saved[name]), name

    timing = {"stages", "wallSeconds", "speedUp"}
    report = result["report"]
    assert {k: v for k, v in report.items() if k not in timing} == {k: v for k, v in expected.items() if k not in timing}
    assert [s["size"] for s in report["stages"]] == [s["size"] for s in expected["stages"]]


def test_modules_one_by_one_give_the_chains_records():
    run = tern.run(channel="bom", esno=15)
    milstd = tern.ternSetup(run["varmilstd"])
    tx = tern.ternSend(milstd, 1, run["varmilstd"]["seed"])
    shaped = tern.ternShape(tx["MultiplexOut"], run["varShapping"])
    faded = tern.ternFade(shaped["out"], run["varWatterson"], run["varShapping"])
    matched = tern.ternMatch(faded["AwgnOut"], run["varShapping"])
    start = tern.ternFrameLock(matched["out"], milstd, run["varShapping"])
    timing = tern.ternTiming(matched["out"], start[0], run["varShapping"])
    split = tern.ternSplit(timing["out"], milstd)
    detect = tern.ternDetect(split["out"], milstd)
    unweave = tern.ternUnweave(detect["DemapOut"], milstd)
    soft = tern.ternSoftDetect(split["out"], milstd, 10 ** (-15 / 10))
    decoded = tern.ternDecode(tern.ternUnweave(soft["LLROut"], milstd)["out"], milstd)
    for mine, chains in [(milstd, run["milstd"]), (tx, run["sendOut"]), (shaped, run["shapeOut"]),
                         (faded, run["fadeOut"]), (matched, run["matchOut"]), (timing, run["timingOut"]),
                         (split, run["splitOut"]), (detect, run["detectOut"]), (unweave, run["unweaveOut"]),
                         (soft, run["softDetectOut"]), (decoded, run["decodeSoftOut"])]:
        assert list(mine) == list(chains)
        for field in mine:
            assert np.array_equal(mine[field], chains[field]), field
    assert np.array_equal(start, run["FrameStartSample"])
    assert faded["raios"].ndim == 2 and faded["raios"].shape[1] == 2 and faded["raios"].dtype == np.complex128


def test_payload_is_numpys_random_state_stream():
    milstd = tern.ternSetup(VARMILSTD)
    n = int(milstd["inputBitsPerInter"])
    for seed in (0, 7, 4294967295):
        bits = tern.ternSend(milstd, 1, seed)["BitInCodIn"]
        assert bits.dtype == np.float64 and np.array_equal(bits, np.random.RandomState(seed).random_sample(n) >= 0.5)


def test_failures_carry_the_exact_text_and_identifier():
    # The stages' own checks: the same text as the command line prints, no identifier.
    for options, flag in [(dict(tlc=256), ("--tlc", 256)), (dict(rolloff=0), ("--rolloff", 0)),
                          (dict(seed=0.5), ("--seed", 0.5)), (dict(oversampling=2), ("--oversampling", 2))]:
        with pytest.raises(tern.Error) as failure:
            tern.run(**options)
        assert str(failure.value) == cli("run", *flag).stderr.strip()
        assert str(failure.value).startswith("ERRO! ") and failure.value.identifier == ""
        assert isinstance(failure.value, RuntimeError)
    # A run-time check of the numeric layer: identifier and message.
    milstd = tern.ternSetup(VARMILSTD)
    with pytest.raises(tern.Error) as failure:
        tern.ternDecode(np.ones(int(milstd["interLength"]) - 1), milstd)
    assert failure.value.identifier == "Coder:MATLAB:getReshapeDims_notSameNumel" and "DecoderIn" in str(failure.value)
    # Refused option values outside the cores: ValueError in the keywords' names.
    with pytest.raises(ValueError, match=r"^frames must be a whole number of interleaver blocks from 1 to"):
        tern.run(frames=0)
    with pytest.raises(ValueError, match="min_bursts must not exceed max_bursts"):
        tern.sweep(min_bursts=5, max_bursts=2)
    with pytest.raises(TypeError, match="unexpected keyword argument 'frame'"):
        tern.run(frame=2)


def test_inputs_accepted_and_refused():
    milstd = tern.ternSetup(VARMILSTD)
    symbols = tern.ternSend(milstd, 1, 3)["MultiplexOut"][:200]
    reference = tern.ternShape(symbols, SHAPING)["out"]
    # Lists, (N, 1) arrays, strided views, other dtypes and numpy scalars give the same result.
    for variant in [list(symbols), symbols.reshape(-1, 1), np.repeat(symbols, 2)[::2], symbols.astype(np.complex64)]:
        out = tern.ternShape(variant, dict(SHAPING, pulseDelay=np.int32(6), oversamplingFactor=np.float32(5)))["out"]
        expected = reference if np.asarray(variant).dtype == np.complex128 else \
            tern.ternShape(symbols.astype(np.complex64).astype(np.complex128), SHAPING)["out"]
        assert np.array_equal(out, expected)
    real = np.arange(100) % 2
    assert np.array_equal(tern.ternMatch(real.astype(np.int16), SHAPING)["out"], tern.ternMatch(real * 1.0, SHAPING)["out"])
    assert symbols.flags.writeable and np.array_equal(symbols, tern.ternSend(milstd, 1, 3)["MultiplexOut"][:200])

    refused = [
        (TypeError, "Input 'ShappingIn' of ternShape must be a complex column", lambda: tern.ternShape("abc", SHAPING)),
        (TypeError, "got a list read as a \\(2,\\) <U1 array", lambda: tern.ternShape(["a", "b"], SHAPING)),
        (TypeError, "got a \\(3,\\) bool array", lambda: tern.ternShape(np.ones(3, bool), SHAPING)),
        (ValueError, "got a \\(3, 2\\) complex128 array", lambda: tern.ternShape(np.ones((3, 2), complex), SHAPING)),
        (TypeError, "'DeinterleaverIn' of ternUnweave must be a real column", lambda: tern.ternUnweave([1j], milstd)),
        (TypeError, "'varShapping.pulseDelay' of ternShape must be a real number", lambda: tern.ternShape(
            symbols, dict(SHAPING, pulseDelay=True))),
        (ValueError, "'varShapping.pulseDelay' of ternShape", lambda: tern.ternShape(
            symbols, dict(SHAPING, pulseDelay=np.array([1, 2])))),
        (ValueError, "field 'oversamplingFactor' is missing", lambda: tern.ternShape(
            symbols, dict(rolloffFactor=0.35, pulseDelay=6))),
        (ValueError, "field 'extra', which is not expected", lambda: tern.ternShape(symbols, dict(SHAPING, extra=1))),
        (ValueError, "'milstd.mapper' of ternDetect .*N at most 256", lambda: tern.ternDetect(
            symbols, dict(milstd, mapper=np.zeros(257)))),
        (TypeError, "'varmilstd.modointer' of ternSetup must be a str", lambda: tern.ternSetup(
            dict(VARMILSTD, modointer=5))),
        (ValueError, "at most 20 characters", lambda: tern.ternSetup(dict(VARMILSTD, modointer="x" * 21))),
        (TypeError, "'milstd' of ternSend must be a dict", lambda: tern.ternSend([milstd], 1, 1)),
    ]
    for kind, message, call in refused:
        with pytest.raises(kind, match=message):
            call()


def test_sweep_equals_the_command_line(tmp_path):
    csv = tmp_path / "table.csv"
    done = cli("sweep", "--channel", "awgn,bom", "--esno", "0,3", "--decoder", "soft,hard", "--max-errors", 500,
               "--max-bursts", 4, "--threads", 2, "--csv", csv)
    assert done.returncode == 0, done.stderr
    rows = [line.split(",") for line in csv.read_text().splitlines()[1:]]
    header, rows = rows[0], rows[1:]
    for threads in (1, 2):
        table = tern.sweep(channel=["awgn", "bom"], esno=[0, 3], decoder=["soft", "hard"], max_errors=500,
                           max_bursts=4, threads=threads)
        assert list(table) == header
        for c, name in enumerate(header):
            column = [row[c] for row in rows]
            if table[name].dtype.kind in "iU":
                assert [str(v) for v in table[name]] == column, name
            else:
                assert np.allclose(table[name], np.array(column, float), rtol=1e-6, atol=0), name
    pandas = pytest.importorskip("pandas")
    frame = tern.sweep(esno=2, bursts=2, as_frame=True)
    assert isinstance(frame, pandas.DataFrame) and frame.attrs["stop"] == "bursts:2" and list(frame["bursts"]) == [2]


def test_receiver_modules_on_a_ruim_burst():
    """The channel-correcting receiver's modules one by one give what the
    chain's receivers give; the turbo receiver decodes what the ten modules
    cannot."""
    run = tern.run(channel="ruim", esno=20, equalizer="lmmse")
    milstd, symbols, sent = run["milstd"], run["timingOut"]["out"], run["sendOut"]["BitInCodIn"]
    estimate = tern.ternEstimate(symbols, milstd, SHAPING)
    assert list(estimate) == ["delays", "gains", "gainError", "N0", "doppler"]
    assert all(np.array_equal(estimate[f], run["estimate"][f]) for f in estimate)
    equalized = tern.ternEqualize(symbols, milstd, SHAPING, estimate, [])
    ratios = tern.ternUnweave(equalized["LLROut"], milstd)["out"]
    assert np.array_equal(tern.ternDecode(ratios, milstd)["DecodOut"], run["receiveOut"]["DecodOut"])
    assert np.array_equal(tern.ternSiso(ratios, milstd)["DecodOut"], sent)
    assert np.array_equal(tern.ternInterleave(ratios, milstd)["out"], equalized["LLROut"])
    report = run["report"]
    assert report["equalizer"]["name"] == "lmmse" and report["equalizer"]["informationBits"]["errors"] == 0
    assert report["informationBits"]["soft"]["rate"] > 0.3
    assert abs(report["channelEstimate"]["N0"]["estimated"] / report["channelEstimate"]["N0"]["true"] - 1) < 0.1

    received = tern.ternReceive(symbols, milstd, SHAPING, dict(equalizer="turbo", passes=2, doppler=0, tracking=1))
    assert list(received) == ["DecodOut", "LLROut", "passes", "estimate"]
    assert np.array_equal(received["DecodOut"], sent) and isinstance(received["estimate"], dict)
    turbo = tern.run(channel="ruim", esno=20, passes=2)
    assert all(np.array_equal(received[f], turbo["receiveOut"][f]) for f in turbo["receiveOut"])
    assert "receiveOut" not in tern.run(channel="ruim", esno=20, equalizer="none")
    with pytest.raises(ValueError, match="passes must be a whole number from 0 to 20"):
        tern.run(passes=21)
    with pytest.raises(ValueError, match='equalizer: "zf" is not none, lmmse, turbo'):
        tern.sweep(equalizer="zf")


def test_sweep_of_the_receivers_equals_the_command_line(tmp_path):
    csv = tmp_path / "receivers.csv"
    options = dict(mode="ultrashort", channel="ruim", ebno=18, bursts=2, equalizer=["turbo", "none"], passes=1,
                   channel_knowledge=["estimated", "perfect"])
    done = cli("sweep", "--mode", "ultrashort", "--channel", "ruim", "--ebno", 18, "--bursts", 2, "--equalizer",
               "turbo,none", "--passes", 1, "--channel-knowledge", "estimated,perfect", "--threads", 2, "--csv", csv)
    assert done.returncode == 0, done.stderr
    assert " equalizer=turbo,none passes=1 " in csv.read_text().splitlines()[0]
    header, row = [line.split(",") for line in csv.read_text().splitlines()[1:3]]
    table = tern.sweep(threads=2, progress=False, **options)
    assert list(table) == header and header[12:15] == ["soft_bits", "soft_errors", "soft_ber"]
    counts = ("bits", "errors", "turbo_perfect_errors", "soft_errors", "coded_errors", "block_errors", "outage_blocks")
    assert [str(table[name][0]) for name in counts] == [row[header.index(name)] for name in counts]
    assert table["esno_db"][0] == pytest.approx(18 + 10 * np.log10(1.5), abs=1e-12)


def test_a_long_call_releases_the_gil():
    done = threading.Event()
    ticks = []

    def long_call():
        tern.sweep(esno=[0], bursts=6, threads=1, decoder="none", progress=False)
        done.set()

    worker = threading.Thread(target=long_call)
    worker.start()
    while not done.is_set():
        ticks.append(0)  # Python work on this thread while the sweep runs on the other
        time.sleep(0.001)
    worker.join()
    assert len(ticks) > 5


def test_ctrl_c_interrupts_a_call_and_leaves_the_module_usable():
    script = textwrap.dedent("""
        import os, signal, threading, numpy, tern
        tern.sweep(esno=[0], bursts=1, threads=1, progress=False)  # every import done before the signal comes
        for call in (lambda: tern.sweep(esno=[0], bursts=100000, threads=2, progress=False),
                     lambda: tern.run(mode="long", frames=4)):
            threading.Timer(0.2, lambda: os.kill(os.getpid(), signal.SIGINT)).start()
            try:
                call()
                print("finished")
            except KeyboardInterrupt:
                print("interrupted")
        print(list(tern.sweep(esno=[0], bursts=2, threads=2)["bursts"]))
    """)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split("\n")[:3] == ["interrupted", "interrupted", "[2]"]


def test_help_names_every_field():
    assert "BitInCodIn: 1-D float64 array" in tern.ternSend.__doc__
    assert "RandomState" in tern.ternSend.__doc__
    assert "raios: (L, 2) complex128 array" in tern.ternFade.__doc__
    assert "pulse_delay: half-length of the pulse in symbol periods (default 6)" in tern.run.__doc__
    assert all(getattr(tern, name).__doc__ for name in dir(tern) if name.startswith("tern"))


def test_rows_config_and_shards(tmp_path):
    milstd = tern.ternSetup(VARMILSTD)
    hard = 1 - 2 * tern.ternSend(milstd, 1, 5)["CodOutInterIn"]
    decoded = tern.ternDecode(hard, milstd)["DecodOut"]
    # A row field takes a 1-D or a (1, N) array, not an (N, 1) one.
    polynomials = milstd["genPolinomials"]
    assert np.array_equal(tern.ternDecode(hard, dict(milstd, genPolinomials=polynomials.reshape(1, -1)))["DecodOut"],
                          decoded)
    with pytest.raises(ValueError, match="'milstd.genPolinomials' of ternDecode must be a real row"):
        tern.ternDecode(hard, dict(milstd, genPolinomials=polynomials.reshape(-1, 1)))
    assert np.array_equal(decoded, tern.ternSend(milstd, 1, 5)["BitInCodIn"])
    # A configuration file as the command line reads it; keywords take precedence.
    config = tmp_path / "inputs.json"
    config.write_text(json.dumps({"varmilstd": {"modointer": "ultrashort", "seed": 9}, "varWatterson": {"model": "awgn"}}))
    run = tern.run(config=str(config), seed=4)
    assert run["varmilstd"]["modointer"] == "ultrashort" and run["varmilstd"]["seed"] == 4
    assert run["varWatterson"]["model"] == "awgn" and "reference" not in run["report"]
    # Shards of a fixed-burst sweep add up to the whole sweep.
    whole = tern.sweep(esno=[1, 3], bursts=3, decoder="hard", threads=2)
    parts = [tern.sweep(esno=[1, 3], bursts=3, decoder="hard", shard=(k, 2), threads=1) for k in (1, 2)]
    for name in ("bursts", "bits", "errors", "coded_bits", "coded_errors"):
        assert np.array_equal(parts[0][name] + parts[1][name], whole[name]), name


def test_concurrent_calls_give_the_sequential_results():
    milstd = tern.ternSetup(VARMILSTD)
    channel = dict(model="moderado", EsNodB=10, seed=3)
    shaped = tern.ternShape(tern.ternSend(milstd, 1, 2)["MultiplexOut"], SHAPING)["out"]
    alone = tern.ternFade(shaped, channel, SHAPING)
    results = [None] * 4

    def fade(i):
        results[i] = tern.ternFade(shaped, channel, SHAPING)

    threads = [threading.Thread(target=fade, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for result in results:
        assert all(np.array_equal(result[f], alone[f]) for f in alone)
    # Every result owns its own memory: changing one leaves the others alone.
    results[0]["AwgnOut"][:] = 0
    assert np.array_equal(results[1]["AwgnOut"], alone["AwgnOut"]) and alone["AwgnOut"].any()


def test_example_draws_its_curve(tmp_path):
    pytest.importorskip("matplotlib")
    example = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "ber_curve.py")
    png = tmp_path / "ber.png"
    done = subprocess.run([sys.executable, example, str(png)], capture_output=True, text=True, timeout=300,
                          env=dict(os.environ, MPLCONFIGDIR=str(tmp_path)))
    assert done.returncode == 0, done.stderr
    assert "awgn" in done.stdout and "bom" in done.stdout and png.stat().st_size > 10000
