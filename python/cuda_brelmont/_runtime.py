"""The loaded library, the runtime calls the package makes itself, and the exceptions it raises."""

import ctypes
import threading

from . import _loader

SUCCESS = 0
INVALID_VALUE = 1  # cudaErrorInvalidValue
MEMCPY_HOST_TO_DEVICE = 1
MEMCPY_DEVICE_TO_HOST = 2
MEMCPY_DEVICE_TO_DEVICE = 3
MEMORY_TYPE_DEVICE = 2
MEMORY_TYPE_MANAGED = 3

# The reductions' statuses, numbered as cuDNN numbers its own.
REDUCTION_STATUS_NAMES = {
    0: "BRELMONT_STATUS_SUCCESS",
    2000: "BRELMONT_STATUS_BAD_PARAM",
    4004: "BRELMONT_STATUS_DEVICE_ALLOCATION_FAILED",
    5003: "BRELMONT_STATUS_EXECUTION_FAILED",
}


class Error(Exception):
    """A call failed. `code` is the number it returned, `name` that number's name, `function` the call."""

    def __init__(self, function, code, name, detail=""):
        self.function, self.code, self.name = function, code, name
        text = f"{function} failed: {name} ({code})"
        super().__init__(text + (f": {detail}" if detail else ""))


class CudaError(Error):
    """A cudaError_t other than cudaSuccess, from an export or from the runtime."""


class ReductionError(Error):
    """A reduction's brelmontStatus_t other than BRELMONT_STATUS_SUCCESS."""


class _PointerAttributes(ctypes.Structure):
    # cudaPointerAttributes, with room for the fields that runtimes add after the four read here.
    _fields_ = [("type", ctypes.c_int), ("device", ctypes.c_int), ("devicePointer", ctypes.c_void_p),
                ("hostPointer", ctypes.c_void_p), ("reserved", ctypes.c_long * 16)]


_RUNTIME_SIGNATURES = {
    "cudaMalloc": (ctypes.c_int, [ctypes.POINTER(ctypes.c_void_p), ctypes.c_size_t]),
    "cudaFree": (ctypes.c_int, [ctypes.c_void_p]),
    "cudaMemcpy": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int]),
    "cudaDeviceSynchronize": (ctypes.c_int, []),
    "cudaGetLastError": (ctypes.c_int, []),
    "cudaPeekAtLastError": (ctypes.c_int, []),
    "cudaGetErrorName": (ctypes.c_char_p, [ctypes.c_int]),
    "cudaGetErrorString": (ctypes.c_char_p, [ctypes.c_int]),
    "cudaGetDevice": (ctypes.c_int, [ctypes.POINTER(ctypes.c_int)]),
    "cudaPointerGetAttributes": (ctypes.c_int, [ctypes.POINTER(_PointerAttributes), ctypes.c_void_p]),
}


class _Loaded:
    def __init__(self):
        self.library, self.path = _loader.load()
        self.runtime = runtime = _loader.runtime_for(self.library, self.path)
        self.rt = {}
        for name, (restype, argtypes) in _RUNTIME_SIGNATURES.items():
            function = getattr(runtime, name)
            function.restype, function.argtypes = restype, argtypes
            self.rt[name] = function
        # hostcuda's hooks, present only in the host variant: tests use them, callers need not.
        self.hooks = runtime if hasattr(runtime, "hostcudaLiveAllocations") else None
        if self.hooks is not None:
            self.hooks.hostcudaLiveAllocations.restype = ctypes.c_size_t
            self.hooks.hostcudaFailAllocation.argtypes = [ctypes.c_int]
            self.hooks.hostcudaFailLaunch.argtypes = [ctypes.c_int, ctypes.c_int]
            self.hooks.hostcudaFailSynchronize.argtypes = [ctypes.c_int]
            self.hooks.hostcudaFixSeed.argtypes = [ctypes.c_int, ctypes.c_ulonglong]


_loaded = None
_lock = threading.Lock()


def loaded():
    """The library and runtime, loaded on first use."""
    global _loaded
    if _loaded is None:
        with _lock:
            if _loaded is None:
                _loaded = _Loaded()
    return _loaded


def rt(name):
    return loaded().rt[name]


def error_name(code):
    name = rt("cudaGetErrorName")(code)
    return name.decode() if name else f"cudaError {code}"


def cuda_error(function, code, detail=""):
    if not detail:
        text = rt("cudaGetErrorString")(code)
        detail = text.decode() if text else ""
    return CudaError(function, code, error_name(code), detail)


def check(function, code):
    """Raises the CudaError of a failed status."""
    if code != SUCCESS:
        raise cuda_error(function, code)


def check_reduction(function, code):
    if code != 0:
        raise ReductionError(function, code, REDUCTION_STATUS_NAMES.get(code, "brelmontStatus_t"))


def clear_last_error():
    rt("cudaGetLastError")()


def take_last_error():
    return rt("cudaGetLastError")()


def raise_pending(function):
    """Raises the runtime's pending error, if there is one, as the failure of `function`."""
    code = take_last_error()
    if code != SUCCESS:
        raise cuda_error(function, code)


def refused(function, detail="the arguments were refused and nothing was written"):
    """The failure of an export that reports none: the runtime's pending error, else an invalid value."""
    code = take_last_error()
    if code != SUCCESS:
        return cuda_error(function, code)
    return cuda_error(function, INVALID_VALUE, detail)


def malloc(nbytes):
    if nbytes == 0:
        return 0
    pointer = ctypes.c_void_p()
    check("cudaMalloc", rt("cudaMalloc")(ctypes.byref(pointer), nbytes))
    return pointer.value or 0


def free(pointer):
    if pointer:
        check("cudaFree", rt("cudaFree")(pointer))


def memcpy(dst, src, nbytes, kind):
    if nbytes:
        check("cudaMemcpy", rt("cudaMemcpy")(dst, src, nbytes, kind))


def synchronize():
    """Waits for all device work and raises the first failure of it."""
    check("cudaDeviceSynchronize", rt("cudaDeviceSynchronize")())


def pointer_attributes(pointer):
    attributes = _PointerAttributes()
    code = rt("cudaPointerGetAttributes")(ctypes.byref(attributes), pointer)
    if code != SUCCESS:
        clear_last_error()  # older runtimes refuse unknown host memory instead of reporting it
        return None, None
    return attributes.type, attributes.device


def current_device():
    device = ctypes.c_int()
    check("cudaGetDevice", rt("cudaGetDevice")(ctypes.byref(device)))
    return device.value
