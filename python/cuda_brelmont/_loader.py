"""Finding and loading the shared library, and the CUDA runtime it was linked against.

Where the library is looked for, in order:

1. ``CUDA_BRELMONT_LIBRARY``: the path of the library file itself. Nothing else is tried when it is set.
2. An installed prefix: ``CUDA_BRELMONT_PREFIX`` when set, then the prefix of this Python environment
   (``sys.prefix``), each in ``lib/``, ``lib64/`` and ``lib/<multiarch>/``; then the system loader's own search
   by name (``LD_LIBRARY_PATH``, the ld.so cache, ``PATH`` on Windows). An installed library whose runtime
   (libhostcuda) lies beside it but off the loader's search path is loaded after that runtime.
3. A build tree: the first source tree (a folder holding ``include/cuda_brelmont.h``) above this package's
   own folder or above the current directory, in ``build/<preset>/src/`` for the presets ``cuda-native``,
   ``host``, ``cuda`` and ``cuda-sm90``, in that order. Sanitized builds are never taken: a library built
   with AddressSanitizer cannot be loaded into Python.

The runtime functions the package calls itself (cudaMalloc, cudaMemcpy, cudaGetErrorName, ...) are those of
the runtime the library links (libcudart for the cuda variant, libhostcuda for the host variant): on ELF
systems a symbol looked up through the library's handle is found in its dependencies, so both share one
runtime, one set of device pointers and one last error.
"""

import ctypes
import os
import sys
import sysconfig
from pathlib import Path

# Build presets whose library can be loaded, in the order they are preferred. A cuda-native build exists only
# where a GPU was there to build it for; cuda and cuda-sm90 builds on a machine without one are compile checks.
BUILD_PRESETS = ("cuda-native", "host", "cuda", "cuda-sm90")

if sys.platform == "win32":
    FILE_NAMES = ("cuda_brelmont.dll", "libcuda_brelmont.dll")
    RUNTIME_NAMES = ("hostcuda.dll", "libhostcuda.dll", "cudart64_13.dll", "cudart64_12.dll")
elif sys.platform == "darwin":
    FILE_NAMES = ("libcuda_brelmont.dylib",)
    RUNTIME_NAMES = ("libhostcuda.dylib", "libcudart.dylib")
else:
    FILE_NAMES = ("libcuda_brelmont.so", "libcuda_brelmont.so.0")
    RUNTIME_NAMES = ("libhostcuda.so", "libcudart.so", "libcudart.so.13", "libcudart.so.12")


class LibraryNotFound(OSError):
    """No cuda_brelmont library where the package looks for one."""


def _library_dirs(prefix):
    prefix = Path(prefix)
    dirs = [prefix / "lib", prefix / "lib64"]
    multiarch = sysconfig.get_config_var("MULTIARCH")
    if multiarch:
        dirs.append(prefix / "lib" / multiarch)
    if sys.platform == "win32":
        dirs.insert(0, prefix / "bin")
    return dirs


def _source_trees(start_points):
    seen = set()
    for start in start_points:
        for folder in [start, *start.parents]:
            if folder in seen:
                break
            seen.add(folder)
            if (folder / "include" / "cuda_brelmont.h").is_file():
                yield folder


def candidates(environ=None, cwd=None, package_dir=None, prefix=None):
    """Yields (path, how) for every place the library may be, in the order they are tried. The arguments
    stand in for the process's environment, current directory, this package's folder and sys.prefix."""
    environ = os.environ if environ is None else environ
    cwd = Path.cwd() if cwd is None else Path(cwd)
    package_dir = Path(__file__).resolve().parent if package_dir is None else Path(package_dir)
    prefix = sys.prefix if prefix is None else prefix

    explicit = environ.get("CUDA_BRELMONT_LIBRARY")
    if explicit:
        yield Path(explicit), "CUDA_BRELMONT_LIBRARY"
        return
    prefixes = [p for p in (environ.get("CUDA_BRELMONT_PREFIX"), prefix) if p]
    for p in prefixes:
        for folder in _library_dirs(p):
            for name in FILE_NAMES:
                yield folder / name, f"prefix {p}"
    for name in FILE_NAMES:
        yield Path(name), "system search path"  # a bare name: the loader searches for it
    for tree in _source_trees([package_dir, cwd.resolve()]):
        for preset in BUILD_PRESETS:
            for name in FILE_NAMES:
                yield tree / "build" / preset / "src" / name, f"build tree {tree} ({preset})"


def _open(path):
    if sys.platform == "win32":
        if path.parent != Path("."):
            os.add_dll_directory(str(path.parent.resolve()))
        return ctypes.CDLL(str(path))
    return ctypes.CDLL(str(path), mode=ctypes.RTLD_GLOBAL)


def _open_beside_runtime(path):
    try:
        return _open(path)
    except OSError:
        # An installed library whose runtime lies in its own folder but is not on the loader's search path
        # (no RPATH, no LD_LIBRARY_PATH): load that runtime first, so that the library's dependency on it, by
        # its SONAME, is met by the runtime already in the process.
        runtimes = [path.parent / name for name in RUNTIME_NAMES if path.parent != Path(".")]
        runtimes = [runtime for runtime in runtimes if runtime.is_file()]
        if not runtimes:
            raise
        _open(runtimes[0])
        return _open(path)


def load(**where):
    """Loads the first library that exists among candidates() and returns (CDLL, path)."""
    tried = []
    for path, how in candidates(**where):
        if path.parent != Path(".") and not path.is_file():
            if how == "CUDA_BRELMONT_LIBRARY":
                tried.append(f"{path} ({how}): no such file")
            continue
        try:
            return _open_beside_runtime(path), path
        except OSError as error:
            tried.append(f"{path} ({how}): {error}")
            if how == "CUDA_BRELMONT_LIBRARY":
                break
    detail = "; ".join(tried) if tried else "none found"
    raise LibraryNotFound(
        "cuda_brelmont: cannot load the shared library (" + detail + "). Set CUDA_BRELMONT_LIBRARY to the "
        "library file, install it into a prefix (CUDA_BRELMONT_PREFIX), or build it: "
        "cmake --preset host && cmake --build --preset host")


def runtime_for(library, path):
    """The CDLL through which the CUDA runtime functions of `library` are reached."""
    try:
        library.cudaMalloc
        return library
    except AttributeError:
        pass
    # Where a handle does not reach its dependencies (Windows), the runtime is loaded by name: first beside
    # the library, where the loader took it from, then from the loader's search path.
    for name in RUNTIME_NAMES:
        for candidate in (Path(path).parent / name, Path(name)):
            if candidate.parent != Path(".") and not candidate.is_file():
                continue
            try:
                runtime = _open(candidate)
                runtime.cudaMalloc
                return runtime
            except (OSError, AttributeError):
                continue
    raise LibraryNotFound(f"cuda_brelmont: found {path} but not the CUDA runtime it links")
