"""Zentrova, the formant filter effect, over numpy arrays.

    import zentrova
    fx = zentrova.Effect(48000, envelope_type="Sweep Up", trigger_sensitivity=-24.0)
    wet = fx.process(audio)          # audio: (channels, frames) or (frames,), float32 or float64

Settings are named by keyword (the parameter's name in lower case with underscores), by name
("Envelope Type") or by id (8); a value is a number within the parameter's range or, for a menu,
one of its items. `zentrova.parameters()` lists them all.
"""

import re as _re

import numpy as _np

from . import _zentrova

__all__ = ["Effect", "parameters", "process"]

_table = None


def _keyword(name):
    return _re.sub(r"[^0-9a-z]+", "_", name.lower()).strip("_")


def parameters():
    """The sixteen parameters: a list of dicts with id, name, keyword, unit, minimum, maximum,
    default and menu (the items of a menu parameter, value i for item i; empty otherwise)."""
    global _table
    if _table is None:
        rows = _zentrova.parameter_table()
        for row in rows:
            row["keyword"] = _keyword(row["name"])
        _table = rows
    return [dict(row, menu=list(row["menu"])) for row in _table]


def _rows():
    if _table is None:
        parameters()
    return _table


def _known():
    return ", ".join(row["keyword"] for row in _rows())


def _resolve(key):
    """A parameter's row from its id, name (any case) or keyword."""
    rows = _rows()
    if isinstance(key, (int, _np.integer)) and not isinstance(key, bool):
        if 0 <= key < len(rows):
            return rows[key]
        raise KeyError(f"no parameter has id {key}; ids are 0 to {len(rows) - 1}")
    if isinstance(key, str):
        wanted = key.strip().lower()
        for row in rows:
            if wanted in (row["name"].lower(), row["keyword"]):
                return row
        raise KeyError(f"unknown setting {key!r}; settings are {_known()}")
    raise TypeError(f"a parameter is named by id, name or keyword, not by {type(key).__name__}")


class Effect(_zentrova.NativeEffect):
    """One instance of the effect, for `channels` (1 or 2) at `sample_rate`, with its settings.

    With `key_channels` (1 or 2) it is the keyed variant: the envelope follows the `key=` audio
    given to process() instead of the input.

    Successive process() calls continue one stream, so a file processed in chunks gives the
    same samples as processed whole. An Effect pickles as its rate, channel count and state.
    """

    def __init__(self, sample_rate, channels=2, *, key_channels=0, **settings):
        if isinstance(channels, bool) or not isinstance(channels, (int, _np.integer)) or channels not in (1, 2):
            raise ValueError(f"channels must be 1 or 2, not {channels!r}")
        if isinstance(key_channels, bool) or not isinstance(key_channels, (int, _np.integer)) or key_channels not in (
            0,
            1,
            2,
        ):
            raise ValueError(f"key_channels must be 0 (no key), 1 or 2, not {key_channels!r}")
        if isinstance(sample_rate, bool) or not isinstance(sample_rate, (int, float, _np.number)):
            raise TypeError(f"sample_rate must be a number of Hz, not {type(sample_rate).__name__}")
        super().__init__(float(sample_rate), int(channels), int(key_channels))
        for key, value in settings.items():
            self[key] = value

    # Settings by id, name or keyword.
    def __getitem__(self, key):
        row = _resolve(key)
        value = self.get(row["id"])
        menu = row["menu"]
        if menu and float(value).is_integer() and 0 <= value < len(menu):
            return menu[int(value)]
        return value

    def __setitem__(self, key, value):
        self.set(_resolve(key)["id"], value)

    def __getattr__(self, name):
        if not name.startswith("_"):
            for row in _rows():
                if row["keyword"] == name:
                    return self[row["id"]]
        raise AttributeError(f"{type(self).__name__!r} has no attribute {name!r}; settings are {_known()}")

    def __setattr__(self, name, value):
        for row in _rows():
            if row["keyword"] == name:
                self[row["id"]] = value
                return
        super().__setattr__(name, value)

    def settings(self):
        """Every setting as {keyword: value}, menu items by name."""
        return {row["keyword"]: self[row["id"]] for row in _rows()}

    @property
    def level(self):
        """The input follower's level, as a linear amplitude."""
        return super().level()

    @property
    def state(self):
        """The effect's state (ClassInfo) as the bytes of an .aupreset property list."""
        return super().state()

    @state.setter
    def state(self, data):
        if not isinstance(data, (bytes, bytearray, memoryview)):
            raise TypeError(f"state must be bytes, not {type(data).__name__}")
        self.set_state(bytes(data))

    def load_preset(self, path):
        """Restores an .aupreset file, as `zentrova process --preset` does."""
        super().load_preset(str(path))

    def save_preset(self, path, name=None):
        """Writes the settings to an .aupreset file named `name` (the file's stem by default)."""
        import os

        path = os.fspath(path)
        if name is None:
            name = os.path.splitext(os.path.basename(path))[0]
        super().save_preset(path, str(name))

    def process(self, audio, *, block_size=512, reset=False, out=None, automation=None, key=None):
        """Renders `audio`, shape (channels, frames) or (frames,) for mono, float32 or float64,
        continuing the stream; answers float32 samples of the same shape (in `out` when given).

        automation: {setting: [(seconds, value), ...]}, seconds into the stream (from the start,
        or from the latest reset); at the start of every block of `block_size` frames each
        setting moves to its value there, linear between points, as `zentrova process --automate`
        moves it.

        key: for an effect made with key_channels, the audio its envelope follows, shaped as
        audio is (key_channels channels) and as long, as `zentrova process --key` takes it.
        """
        audio = _checked_audio(audio, self.channels)
        if key is not None:
            key = _checked_audio(key, self.key_channels or None, "key")
        if isinstance(block_size, bool) or not isinstance(block_size, (int, _np.integer)):
            raise TypeError(f"block_size must be an integer, not {type(block_size).__name__}")
        if out is None:
            out = _np.empty(audio.shape, dtype=_np.float32)
        else:
            if not isinstance(out, _np.ndarray):
                raise TypeError(f"out must be a numpy array, not {type(out).__name__}")
            if out.dtype != _np.float32:
                raise TypeError(f"out must be float32, not {out.dtype}")
            if out.shape != audio.shape:
                raise ValueError(f"out has shape {out.shape}, audio {audio.shape}: they must be the same")
            if not out.flags.writeable:
                raise ValueError("out is read-only")
            # Blocks are read before they are written, so out=audio works; other overlaps would
            # read samples already written.
            same = out.__array_interface__["data"][0] == audio.__array_interface__["data"][0] and (
                out.strides == audio.strides
            )
            if not same and _np.shares_memory(out, audio):
                audio = audio.copy()
        lanes = []
        for setting, points in (automation or {}).items():
            row = _resolve(setting)
            try:
                pairs = [tuple(p) for p in points]
            except TypeError:
                raise ValueError(f"automation for {row['name']!r} must be a list of (seconds, value) pairs") from None
            lanes.append((row["id"], pairs))
        super().process(audio, out, key, int(block_size), bool(reset), lanes)
        return out

    def __reduce__(self):
        return (_restore, (self.sample_rate, self.channels, self.state, self.key_channels))

    def __repr__(self):
        key = f", key_channels={self.key_channels}" if self.key_channels else ""
        return f"zentrova.Effect({self.sample_rate:g}, channels={self.channels}{key})"


def _restore(sample_rate, channels, state, key_channels=0):
    fx = Effect(sample_rate, channels, key_channels=key_channels)
    fx.state = state
    return fx


def _checked_audio(audio, channels=None, what="audio"):
    if not isinstance(audio, _np.ndarray):
        audio = _np.asarray(audio)
    if audio.dtype.kind != "f" or audio.dtype.itemsize not in (4, 8):
        raise TypeError(f"{what} must be float32 or float64, not {audio.dtype}")
    if not audio.dtype.isnative:
        audio = audio.astype(audio.dtype.newbyteorder("="))
    if audio.ndim == 1:
        if channels not in (None, 1):
            raise ValueError(f"{what} of shape {audio.shape} is mono, the effect takes {channels} channels")
    elif audio.ndim == 2:
        if audio.shape[0] not in (1, 2):
            hint = f" (frames first? pass {what}.T)" if audio.shape[1] in (1, 2) else ""
            raise ValueError(f"{what} of shape {audio.shape} must be (channels, frames) with 1 or 2 channels{hint}")
        if channels is not None and audio.shape[0] != channels:
            raise ValueError(f"{what} of shape {audio.shape} has {audio.shape[0]} channels, the effect takes {channels}")
    else:
        raise ValueError(f"{what} of shape {audio.shape} must be (channels, frames) or (frames,)")
    return audio


def process(audio, sample_rate, *, block_size=512, automation=None, key=None, **settings):
    """One call: a new effect with `settings` renders `audio` (channels taken from its shape),
    following `key` when it is given."""
    audio = _checked_audio(audio)
    channels = 1 if audio.ndim == 1 else audio.shape[0]
    key_channels = 0
    if key is not None:
        key = _checked_audio(key, None, "key")
        key_channels = 1 if key.ndim == 1 else key.shape[0]
    fx = Effect(sample_rate, channels, key_channels=key_channels, **settings)
    return fx.process(audio, block_size=block_size, automation=automation, key=key)
