"""Where the package looks for the shared library, in order."""
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
