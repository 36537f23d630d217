"""cuda_brelmont: GPU array primitives, from Python.

    import numpy as np
    import cuda_brelmont as cb

    p = cb.SGL_InitArray(6, 0.5)          # a DeviceArray of six float32, all 0.5
    cb.SGL_Sine(p)                        # in place
    box = cb.SGL_ArraySubset(p.reshape(2, 3), start=(0, 1), shape=(2, 2))
    print(box.to_numpy())

Every export of the C library is here under its own name (see _exports for the calling rules). Inputs are
DeviceArrays or any object with __cuda_array_interface__ (CuPy, PyTorch, Numba arrays), used without a copy.
Where the shared library is found: see _loader.
"""

from . import _exports
from ._array import DeviceArray, complex64, float32, to_device
from ._loader import LibraryNotFound
from ._runtime import CudaError, Error, ReductionError

globals().update(_exports.EXPORTS)
EXPORTS = tuple(sorted(_exports.EXPORTS))

__all__ = ["DeviceArray", "to_device", "float32", "complex64", "CudaError", "ReductionError", "Error",
           "LibraryNotFound", "synchronize", "library_path", "variant", "EXPORTS", *EXPORTS]
__version__ = "0.1.0"


def synchronize():
    """Waits for all device work (the launch-status exports return before their kernels run) and raises the
    first failure of that work."""
    from . import _runtime
    _runtime.synchronize()


def library_path():
    """The path of the shared library in use (loading it if that has not happened yet)."""
    from . import _runtime
    return _runtime.loaded().path


def variant():
    """'host' when the library runs on hostcuda, the CPU stand-in runtime; 'cuda' otherwise."""
    from . import _runtime
    return "host" if _runtime.loaded().hooks is not None else "cuda"
