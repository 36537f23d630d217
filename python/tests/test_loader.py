"""Where the package looks for the shared library, in order."""
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from cuda_brelmont import _loader

NAME = _loader.FILE_NAMES[0]


def tree(root, *presets):
    (root / "include").mkdir(parents=True)
    (root / "include" / "cuda_brelmont.h").write_text("")
    for preset in presets:
        (root / "build" / preset / "src").mkdir(parents=True)
        (root / "build" / preset / "src" / NAME).write_text("")
    return root


def existing(environ, cwd, package_dir, prefix):
    return [(path, how) for path, how in _loader.candidates(environ, cwd, package_dir, prefix)
            if path.parent == Path(".") or path.is_file()]


@pytest.mark.parametrize("presets,chosen", [
    (("host-asan", "host", "cuda-sm90"), "host"),
    (("host", "cuda-native"), "cuda-native"),
    (("host-asan", "cuda"), "cuda"),
])
def test_build_tree_prefers_a_loadable_preset(tmp_path, presets, chosen):
    root = tree(tmp_path / "src", *presets)
    found = [p for p, how in existing({}, root / "build", tmp_path / "elsewhere", tmp_path / "prefix")
             if how.startswith("build tree")]
    assert found[0] == root / "build" / chosen / "src" / NAME
    assert all("asan" not in str(p) for p in found)


def test_order_is_variable_then_prefix_then_search_path_then_build_tree(tmp_path):
    root = tree(tmp_path / "src", "host")
    (tmp_path / "prefix" / "lib").mkdir(parents=True)
    (tmp_path / "prefix" / "lib" / NAME).write_text("")
    # An installed venv under the tree's build folder finds the tree from its own location.
    package = root / "build" / "venv" / "lib" / "site-packages" / "cuda_brelmont"
    kinds = [how.split()[0] for _, how in existing({"CUDA_BRELMONT_PREFIX": str(tmp_path / "prefix")},
                                                   tmp_path, package, tmp_path / "none")]
    assert kinds[0] == "prefix" and kinds[-1] == "build"
    assert kinds.index("system") < kinds.index("build")
    only = list(_loader.candidates({"CUDA_BRELMONT_LIBRARY": "/x/lib.so"}, tmp_path, package, tmp_path))
    assert only == [(Path("/x/lib.so"), "CUDA_BRELMONT_LIBRARY")]


def test_a_named_library_that_is_missing_says_so():
    with pytest.raises(_loader.LibraryNotFound, match="no such file"):
        _loader.load(environ={"CUDA_BRELMONT_LIBRARY": "/nonexistent/libcuda_brelmont.so"})


@pytest.mark.skipif(not shutil.which("cc") or sys.platform != "linux", reason="needs a C compiler (ELF)")
def test_installed_library_finds_its_runtime_beside_it(tmp_path):
    """An installed prefix without RPATH: lib/ holds the library and the runtime it links by SONAME."""
    lib = tmp_path / "prefix" / "lib"
    lib.mkdir(parents=True)
    (tmp_path / "rt.c").write_text("int cudaMalloc(void** p, unsigned long n) { *p = 0; return (int)n; }\n")
    (tmp_path / "lib.c").write_text("int cudaMalloc(void**, unsigned long);\n"
                                    "int SGL_Sine(float* d, int n) { void* p; return cudaMalloc(&p, n); }\n")
    subprocess.run(["cc", "-shared", "-fPIC", "-Wl,-soname,libhostcuda.so", "-o", lib / "libhostcuda.so",
                    tmp_path / "rt.c"], check=True)
    subprocess.run(["cc", "-shared", "-fPIC", "-o", lib / NAME, tmp_path / "lib.c", f"-L{lib}", "-lhostcuda"],
                   check=True)
    # In a fresh process: this one has the real runtime loaded already, which would meet the dependency.
    probe = ("from cuda_brelmont import _loader; import sys; library, path = _loader.load(environ="
             "{'CUDA_BRELMONT_PREFIX': sys.argv[1]}, cwd='/', package_dir='/', prefix='/nonexistent'); "
             "print(path, library.SGL_Sine(None, 7), _loader.runtime_for(library, path) is library)")
    package_root = Path(_loader.__file__).resolve().parents[1]
    done = subprocess.run([sys.executable, "-c", probe, str(tmp_path / "prefix")], capture_output=True, text=True,
                          cwd=package_root, check=True)
    assert done.stdout.split() == [str(lib / NAME), "7", "True"]
