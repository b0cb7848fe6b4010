"""The build backend behind `pip install .`: it needs nothing from an index.

pip runs it in the source tree. It builds the project with CMake (into `build/`, or the folder
ZENTROVA_BUILD names), installs it into a scratch folder exactly as `make install` does, and packs
the Python package found there (module, platform library, component) into a wheel for the
interpreter running pip. Debian's own interpreter refuses pip by design (it is externally
managed): this is for a virtual environment made with `--system-site-packages`, which takes
numpy from Debian.
"""

import base64
import glob
import hashlib
import os
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile

NAME = "zentrova"


def _version():
    with open("CMakeLists.txt") as f:
        for line in f:
            if line.startswith("project(Zentrova VERSION "):
                return line.split()[2]
    raise RuntimeError("no project version in CMakeLists.txt")


def _run(*command):
    subprocess.run(command, check=True, stdout=sys.stderr)


def _built_package(scratch):
    build = os.environ.get("ZENTROVA_BUILD", "build")
    if not os.path.exists(os.path.join(build, "build.ninja")):
        _run("cmake", "-S", ".", "-B", build, "-G", "Ninja", f"-DPython3_EXECUTABLE={os.path.realpath(sys.executable)}")
    _run("cmake", "--build", build)
    _run("cmake", "--install", build, "--prefix", scratch, "--strip")
    found = glob.glob(os.path.join(scratch, "lib", "python3*", "dist-packages", NAME))
    if len(found) != 1:
        raise RuntimeError(f"the build installed no Python package (is pybind11-dev installed?): {found}")
    return found[0]


def _tag():
    python = f"cp{sys.version_info.major}{sys.version_info.minor}"
    return f"{python}-{python}-" + sysconfig.get_platform().replace("-", "_").replace(".", "_")


def _record_row(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    version = _version()
    info = f"{NAME}-{version}.dist-info"
    wheel = f"{NAME}-{version}-{_tag()}.whl"
    files = {
        f"{info}/METADATA": (f"Metadata-Version: 2.1\nName: {NAME}\nVersion: {version}\n"
                             "Summary: The Zentrova formant filter effect over numpy arrays\n"
                             "Requires-Python: ==" f"{sys.version_info.major}.{sys.version_info.minor}.*\n"
                             "Requires-Dist: numpy\n").encode(),
        f"{info}/WHEEL": ("Wheel-Version: 1.0\nGenerator: zentrova wheel_backend\nRoot-Is-Purelib: false\n"
                          f"Tag: {_tag()}\n").encode(),
    }
    with tempfile.TemporaryDirectory() as scratch:
        package = _built_package(scratch)
        for folder, _, names in os.walk(package):
            for name in sorted(names):
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    files[f"{NAME}/" + os.path.relpath(path, package)] = f.read()
    rows = [_record_row(name, data) for name, data in files.items()] + [f"{info}/RECORD,,"]
    files[f"{info}/RECORD"] = ("\n".join(rows) + "\n").encode()
    with zipfile.ZipFile(os.path.join(wheel_directory, wheel), "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in files.items():
            entry = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            entry.external_attr = 0o644 << 16
            archive.writestr(entry, data, zipfile.ZIP_DEFLATED)
    return wheel


def build_sdist(sdist_directory, config_settings=None):
    version = _version()
    base = f"{NAME}-{version}"
    tracked = subprocess.run(["git", "ls-files", "-z"], check=True, capture_output=True).stdout.decode().split("\0")
    with tarfile.open(os.path.join(sdist_directory, base + ".tar.gz"), "w:gz") as archive:
        for name in filter(None, tracked):
            archive.add(name, arcname=f"{base}/{name}", recursive=False)
    return base + ".tar.gz"
