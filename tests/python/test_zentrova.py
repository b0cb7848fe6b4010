"""The zentrova package against the command-line tool of the same build, and its contract."""

import multiprocessing
import os
import pickle
import subprocess
import threading

import numpy as np
import pytest
import soundfile

import zentrova

RATE = 44100
CLI = os.environ.get("ZENTROVA_CLI", "zentrova")


def signal(channels, seconds=1.3, seed=7, nan_at=()):
    """Noise bursts under a decaying tone: enough level to trigger and track the envelopes."""
    rng = np.random.default_rng(seed)
    frames = int(RATE * seconds)
    t = np.arange(frames) / RATE
    gate = (np.sin(2 * np.pi * 2.5 * t) > 0).astype(np.float32)
    x = np.stack([0.4 * gate * rng.standard_normal(frames) + 0.2 * np.sin(2 * np.pi * (110 + 40 * c) * t)
                  for c in range(channels)]).astype(np.float32)
    for i in nan_at:
        x[:, i] = np.nan
    return x[0] if channels == 1 else x


def bits(a):
    return np.ascontiguousarray(a, dtype=np.float32).view(np.uint32)


def cli_render(tmp_path, audio, args):
    src, dst = tmp_path / "in.wav", tmp_path / "out.wav"
    soundfile.write(src, audio.T, RATE, subtype="FLOAT")
    subprocess.run([CLI, "process", str(src), str(dst), "--bits", "32f", "--quiet", "--force", *args], check=True)
    out, _ = soundfile.read(dst, dtype="float32", always_2d=True)
    return out.T[0] if audio.ndim == 1 else out.T


# (channels, block, settings, automation, NaN positions)
CONFIGURATIONS = {
    "mono default": (1, 512, {}, {}, ()),
    "stereo sweep": (2, 256, {"Envelope Type": "Sweep Up", "Formant Filter Type": "Four Stage BP",
                              "Trigger Sensitivity": -24, "Envelope Attack": 60, "Envelope Release": 200}, {}, ()),
    "mono track": (1, 1000, {"Envelope Type": "Track", "Envelope Shape": 0.5, "Start Formant": "U",
                             "End Formant": "A", "Follower Attack Time": 20}, {}, ()),
    "stereo midi automated": (2, 128, {"Envelope Type": "MIDI", "Dry Output Level": -12},
                              {"MIDI Control": [(0, 0), (0.4, 1), (0.9, 0.2)],
                               "Formant Resonance": [(0.2, 0.1), (1.0, 0.9)]}, ()),
    "stereo large block with NaN": (2, 4096, {"Envelope Type": "Sweep Down"}, {}, (100, 20000)),
}


@pytest.mark.parametrize("name", CONFIGURATIONS)
def test_equals_the_command_line_bit_for_bit(tmp_path, name):
    channels, block, settings, automation, nan_at = CONFIGURATIONS[name]
    audio = signal(channels, nan_at=nan_at)
    args = ["--block", str(block)]
    for key, value in settings.items():
        args += ["--set", f"{key}={value}"]
    for key, points in automation.items():
        args += ["--automate", f"{key}=" + ",".join(f"{t}:{v}" for t, v in points)]
    expected = cli_render(tmp_path, audio, args)

    fx = zentrova.Effect(RATE, channels)
    for key, value in settings.items():
        fx[key] = value
    got = fx.process(audio, block_size=block, automation=automation)
    assert got.shape == audio.shape and got.dtype == np.float32
    np.testing.assert_array_equal(bits(got), bits(expected))


@pytest.mark.parametrize("channels,key_channels", [(2, 1), (1, 2)])
def test_keyed_equals_the_command_line_bit_for_bit(tmp_path, channels, key_channels):
    audio, key = signal(channels, seed=3), signal(key_channels, seed=4)
    soundfile.write(tmp_path / "key.wav", key.T, RATE, subtype="FLOAT")
    expected = cli_render(tmp_path, audio, ["--key", str(tmp_path / "key.wav"), "--set", "Envelope Type=Track",
                                            "--set", "Trigger Sensitivity=-30"])
    got = zentrova.process(audio, RATE, key=key, envelope_type="Track", trigger_sensitivity=-30)
    np.testing.assert_array_equal(bits(got), bits(expected))
    # The key, not the input, drives the envelope.
    assert not np.array_equal(got, zentrova.process(audio, RATE, envelope_type="Track", trigger_sensitivity=-30))


def test_presets_are_the_command_lines(tmp_path):
    audio = signal(2)
    fx = zentrova.Effect(RATE, envelope_type="Track", middle_formant="OW", formant_level=-3.5)
    fx.save_preset(tmp_path / "mine.aupreset", name="Mine")
    expected = cli_render(tmp_path, audio, ["--preset", str(tmp_path / "mine.aupreset")])
    subprocess.run([CLI, "preset", "save", str(tmp_path / "cli.aupreset"), "--force", "--set", "Envelope Type=Track",
                    "--set", "Middle Formant=OW", "--set", "Formant Level=-3.5"], check=True)
    loaded = zentrova.Effect(RATE)
    loaded.load_preset(tmp_path / "cli.aupreset")
    assert loaded.settings() == fx.settings()
    np.testing.assert_array_equal(bits(loaded.process(audio)), bits(expected))


AUTOMATION = {"midi_control": [(0, 0), (1, 1)]}


@pytest.mark.parametrize("chunks", [[1, 511, 513, 7000, 2], [12345], [300] * 40])
def test_uneven_chunks_equal_one_call(chunks):
    # Automation steps at block starts in stream time, so blocks are aligned when chunks are
    # multiples of the block; the automated case uses a block of 1 to stay exact.
    audio = signal(2)
    for block, automation in ((512, None), (1, AUTOMATION)):
        whole = zentrova.Effect(RATE, envelope_type="MIDI").process(audio, block_size=block, automation=automation)
        fx = zentrova.Effect(RATE, envelope_type="MIDI")
        edges = np.cumsum([0] + chunks)
        edges = edges[edges < audio.shape[1]].tolist() + [audio.shape[1]]
        parts = [fx.process(audio[:, a:b], block_size=block, automation=automation) for a, b in zip(edges, edges[1:])]
        np.testing.assert_array_equal(bits(np.concatenate(parts, axis=1)), bits(whole))


def test_float64_non_contiguous_and_in_place_equal_float32():
    audio = signal(2)
    reference = zentrova.process(audio, RATE, envelope_type="Sweep Up")
    wide = audio.astype(np.float64) * (1 + 1e-9)  # float64 samples that round to `audio`'s
    assert not np.array_equal(wide, audio) and np.array_equal(wide.astype(np.float32), audio)
    strided = np.zeros((2, audio.shape[1] * 3), dtype=np.float32)[:, ::3]
    strided[:] = audio
    fortran = np.asfortranarray(audio)
    reversed_view = audio[:, ::-1].copy()[:, ::-1]
    for variant in (wide, strided, fortran, reversed_view, audio.T.copy().T):
        np.testing.assert_array_equal(bits(zentrova.process(variant, RATE, envelope_type="Sweep Up")), bits(reference))
    in_place = audio.copy()
    result = zentrova.Effect(RATE, envelope_type="Sweep Up").process(in_place, out=in_place)
    assert result is in_place
    np.testing.assert_array_equal(bits(in_place), bits(reference))


def test_pickled_effect_and_reset_render_as_new():
    audio = signal(2, seconds=0.5)
    fx = zentrova.Effect(RATE, 2, envelope_type="Sweep Down", start_formant="I", trigger_sensitivity=-30)
    first = fx.process(audio)
    copy = pickle.loads(pickle.dumps(fx))
    assert (copy.sample_rate, copy.channels, copy.settings()) == (RATE, 2, fx.settings())
    np.testing.assert_array_equal(bits(copy.process(audio)), bits(first))
    np.testing.assert_array_equal(bits(fx.process(audio, reset=True)), bits(first))


_inherited = None


def _render(fx):
    return fx.process(signal(2, seconds=0.3))


def _use_inherited(_):
    try:
        _inherited.process(signal(2, seconds=0.1))
    except RuntimeError as e:
        return str(e)
    return "no error"


def test_pools_take_effects_and_a_forked_child_refuses_an_inherited_one():
    global _inherited
    _inherited = zentrova.Effect(RATE)
    fx = zentrova.Effect(RATE, envelope_type="Track", end_formant="AE")
    expected = pickle.loads(pickle.dumps(fx)).process(signal(2, seconds=0.3))
    with multiprocessing.get_context("fork").Pool(2) as pool:
        for got in pool.map(_render, [fx, fx]):
            np.testing.assert_array_equal(bits(got), bits(expected))
        assert "made in the parent of a forked process" in pool.map(_use_inherited, [0])[0]


def test_two_threads_render_as_each_alone():
    audio = [signal(2, seed=1), signal(2, seed=2)]
    settings = [{"envelope_type": "Track"}, {"envelope_type": "Sweep Up", "formant_filter_type": "Four Stage BP"}]
    alone = [zentrova.process(a, RATE, **s) for a, s in zip(audio, settings)]
    effects = [zentrova.Effect(RATE, **s) for s in settings]  # made here, used on the threads
    results = [None, None]
    start = threading.Barrier(2)

    def run(i):
        start.wait()
        results[i] = np.concatenate([effects[i].process(audio[i][:, a:a + 4410]) for a in range(0, 57330, 4410)],
                                    axis=1)

    threads = [threading.Thread(target=run, args=(i,)) for i in (0, 1)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for got, expected in zip(results, alone):
        np.testing.assert_array_equal(bits(got), bits(expected))


def test_settings_read_back_by_every_name_and_level_follows_input():
    fx = zentrova.Effect(RATE, 1, formant_filter_type="Four Stage BP")
    fx.envelope_type = "sweep up"
    assert fx["Envelope Type"] == fx[8] == fx.envelope_type == "Sweep Up"
    fx[12] = -30.5
    assert fx.trigger_sensitivity == -30.5
    assert fx.level == 0.0
    fx.process(signal(1, seconds=0.5))
    assert fx.level > 0.05


def test_state_refused_leaves_settings():
    fx = zentrova.Effect(RATE, envelope_type="Track")
    state = fx.state
    assert state.startswith(b"<?xml")
    broken = state.replace(b"<data>", b"<data>AAAA")
    with pytest.raises(ValueError, match="cannot use the state"):
        fx.state = b"<plist version='1.0'><dict/></plist>"
    with pytest.raises(ValueError, match="not a property-list dictionary"):
        fx.state = b"garbage"
    assert fx.envelope_type == "Track" and broken != state


BAD_CALLS = [
    (lambda fx: fx.process(np.zeros((3, 10), np.float32)), ValueError, r"\(channels, frames\) with 1 or 2 channels"),
    (lambda fx: fx.process(np.zeros((100, 2), np.float32)), ValueError, r"pass audio\.T"),
    (lambda fx: fx.process(np.zeros(10, np.float32)), ValueError, "mono, the effect takes 2 channels"),
    (lambda fx: fx.process(np.zeros((2, 2, 2), np.float32)), ValueError, "must be \\(channels, frames\\)"),
    (lambda fx: fx.process(np.zeros((2, 10), np.int16)), TypeError, "float32 or float64, not int16"),
    (lambda fx: fx.process(np.array([["a", "b"]] * 2)), TypeError, "float32 or float64, not <U1"),
    (lambda fx: fx.process(np.zeros((2, 10), np.float32), out=np.zeros((2, 10))), TypeError, "out must be float32"),
    (lambda fx: fx.process(np.zeros((2, 10), np.float32), out=np.zeros((2, 9), np.float32)), ValueError, "out has shape"),
    (lambda fx: fx.process(np.zeros((2, 10), np.float32), block_size=0), ValueError, "block_size must be between"),
    (lambda fx: fx.process(np.zeros((2, 10), np.float32), automation={"Level": [(0, 1)]}), KeyError, "unknown setting"),
    (lambda fx: fx.process(np.zeros((2, 10), np.float32), automation={"midi_control": [(1, 0), (0.5, 1)]}),
     ValueError, "increasing time order"),
    (lambda fx: fx.process(np.zeros((2, 10), np.float32), automation={"midi_control": [(0, 2)]}),
     ValueError, "value 2 for \"MIDI Control\" is out of range 0 to 1"),
    (lambda fx: fx.__setitem__("Formant Resonance", float("nan")), ValueError, "nan for \"Formant Resonance\""),
    (lambda fx: fx.__setitem__(2, 8), ValueError, "\"Formant Filter Type\" is out of range 0 to 7"),
    (lambda fx: fx.__setitem__(2, 1.5), ValueError, "\"Formant Filter Type\" is not one of its menu items 0 to 7"),
    (lambda fx: fx.__setitem__(2, "Five Stage BP"), ValueError, "nor one of \"One Stage LP\""),
    (lambda fx: fx.__setitem__(16, 0), KeyError, "no parameter has id 16"),
    (lambda fx: fx.__setitem__("envelope_typ", 0), KeyError, "unknown setting 'envelope_typ'"),
    (lambda fx: setattr(fx, "envelope_type", [1]), TypeError, "\"Envelope Type\" takes a number or a menu item"),
    (lambda fx: fx.load_preset("/nonexistent.aupreset"), ValueError, "no such file"),
    (lambda fx: fx.process(np.zeros((2, 10), np.float32), key=np.zeros(10, np.float32)), ValueError,
     "key= needs an effect made with key_channels"),
    (lambda fx: zentrova.Effect(RATE, key_channels=1).process(np.zeros((2, 10), np.float32)), ValueError,
     "this effect follows a key"),
    (lambda fx: zentrova.Effect(RATE, key_channels=1).process(np.zeros((2, 10), np.float32),
                                                               key=np.zeros(9, np.float32)), ValueError,
     "key must have as many frames as audio"),
    (lambda fx: zentrova.Effect(RATE, key_channels=2).process(np.zeros((2, 10), np.float32),
                                                               key=np.zeros(10, np.float32)), ValueError,
     "key of shape \\(10,\\) is mono, the effect takes 2 channels"),
    (lambda fx: zentrova.Effect(RATE, 3), ValueError, "channels must be 1 or 2"),
    (lambda fx: zentrova.Effect(-1), ValueError, "sample_rate must be a positive"),
    (lambda fx: zentrova.Effect(RATE, bogus=1), KeyError, "unknown setting 'bogus'"),
    (lambda fx: zentrova.Effect(RATE, envelope_attack=-1), ValueError, "\"Envelope Attack\" is out of range"),
]


@pytest.mark.parametrize("call,error,message", BAD_CALLS)
def test_bad_input_raises_naming_the_problem(call, error, message):
    fx = zentrova.Effect(RATE)
    with pytest.raises(error, match=message):
        call(fx)
    # The effect still works afterwards.
    assert fx.process(np.zeros((2, 64), np.float32)).shape == (2, 64)
