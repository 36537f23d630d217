"""DeviceArray, and the checks that turn any array of device memory into an operand of an export."""

import ctypes
import math
import weakref

import numpy as np

from . import _runtime as rt

float32 = np.dtype(np.float32)
complex64 = np.dtype(np.complex64)
_KINDS = (float32, complex64)

# Streams that __cuda_array_interface__ producers name for the default streams (legacy and per-thread): the
# library's work on the default stream is already ordered after theirs.
_DEFAULT_STREAMS = (None, 0, 1, 2)


def shape_of(shape):
    if isinstance(shape, (int, np.integer)):
        shape = (shape,)
    shape = tuple(int(s) for s in shape)
    if any(s < 0 for s in shape):
        raise ValueError(f"negative size in shape {shape}")
    return shape


def _release(pointer):
    # Runs when the owning DeviceArray is collected (or at exit): a failure has no caller left to hear it.
    try:
        rt.rt("cudaFree")(pointer)
    except Exception:  # noqa: BLE001 (interpreter shutdown)
        pass


class DeviceArray:
    """A C-contiguous float32 or complex64 array in device memory, with its shape.

    An array made by the package (to_device, empty, or returned by an export) owns its memory and releases it
    with cudaFree when it is collected, or at free(). A view (reshape, or an array wrapped from another
    library's object) shares the memory of what it was made from and keeps that alive.
    """

    __slots__ = ("_ptr", "_shape", "_dtype", "_base", "_finalizer", "__weakref__")

    def __init__(self, pointer, shape, dtype=float32, *, owned=True, base=None):
        self._ptr = int(pointer or 0)
        self._shape = shape_of(shape)
        self._dtype = np.dtype(dtype)
        if self._dtype not in _KINDS:
            raise TypeError(f"a DeviceArray holds float32 or complex64, not {self._dtype}")
        self._base = base
        self._finalizer = weakref.finalize(self, _release, self._ptr) if owned and self._ptr else None

    @classmethod
    def empty(cls, shape, dtype=float32):
        """A new array whose elements are not set."""
        shape, dtype = shape_of(shape), np.dtype(dtype)
        return cls(rt.malloc(math.prod(shape) * dtype.itemsize), shape, dtype)

    @classmethod
    def from_numpy(cls, array, dtype=None):
        """Uploads array-like data. float32 and complex64 arrays keep their dtype; other real data becomes
        float32 and other complex data complex64, unless dtype says which."""
        host = np.asarray(array)
        if dtype is None:
            if host.dtype in _KINDS:
                dtype = host.dtype
            elif host.dtype.kind == "c":
                dtype = complex64
            elif host.dtype.kind in "fiub":
                dtype = float32
            else:
                raise TypeError(f"cannot upload an array of dtype {host.dtype}")
        host = np.asarray(host, dtype=dtype, order="C")  # (ascontiguousarray would make 0-d 1-d)
        device = cls.empty(host.shape, host.dtype)
        rt.memcpy(device._ptr, host.ctypes.data, host.nbytes, rt.MEMCPY_HOST_TO_DEVICE)
        return device

    def to_numpy(self):
        """Downloads the elements into a new NumPy array of the same shape and dtype (waits for the device)."""
        host = np.empty(self._shape, self._dtype)
        rt.memcpy(host.ctypes.data, self._ptr, host.nbytes, rt.MEMCPY_DEVICE_TO_HOST)
        return host

    def __array__(self, dtype=None, copy=None):
        host = self.to_numpy()
        return host if dtype is None else host.astype(dtype, copy=False)

    def reshape(self, *shape):
        """A view of the same memory with another shape of the same size (one entry may be -1)."""
        if len(shape) == 1 and not isinstance(shape[0], (int, np.integer)):
            shape = tuple(shape[0])
        shape = [int(s) for s in shape]
        if shape.count(-1) == 1:
            known = math.prod(s for s in shape if s != -1)
            shape[shape.index(-1)] = self.size // known if known else 0
        if math.prod(shape) != self.size or any(s < 0 for s in shape):
            raise ValueError(f"cannot reshape an array of {self.size} elements into {tuple(shape)}")
        return DeviceArray(self._ptr, shape, self._dtype, owned=False, base=self)

    def __getitem__(self, key):
        """A view of a contiguous range along the first dimension: a[i:j] (step 1), or a[i] (one fewer
        dimension). Other indexing needs a copy: download, index with NumPy, upload."""
        if not self._shape:
            raise TypeError("a 0-d array cannot be indexed")
        rows, row = self._shape[0], self._shape[1:]
        if isinstance(key, (int, np.integer)):
            index = int(key) + (rows if key < 0 else 0)
            if not 0 <= index < rows:
                raise IndexError(f"index {key} is outside 0 ... {rows - 1}")
            start, shape = index, row
        elif isinstance(key, slice) and key.step in (None, 1):
            start, stop, _ = key.indices(rows)
            shape = (max(stop - start, 0), *row)
        else:
            raise TypeError("only a[i] and a[i:j] along the first dimension are views of device memory")
        offset = start * math.prod(row) * self._dtype.itemsize
        pointer = self._ptr + offset if math.prod(shape) else 0
        return DeviceArray(pointer, shape, self._dtype, owned=False, base=self)

    def free(self):
        """Releases an owned array's memory now; the array is empty afterwards."""
        if self._base is not None:
            raise ValueError("a view does not own its memory")
        if self._finalizer is not None:
            self._finalizer.detach()
            self._finalizer = None
            rt.free(self._ptr)
        self._ptr, self._shape = 0, (0,)

    @property
    def ptr(self):
        """The device address, as an int (0 for an empty array)."""
        return self._ptr

    @property
    def shape(self):
        return self._shape

    @property
    def dtype(self):
        return self._dtype

    @property
    def ndim(self):
        return len(self._shape)

    @property
    def size(self):
        return math.prod(self._shape)

    @property
    def nbytes(self):
        return self.size * self._dtype.itemsize

    def __len__(self):
        if not self._shape:
            raise TypeError("len() of a 0-d array")
        return self._shape[0]

    @property
    def __cuda_array_interface__(self):
        return {"version": 3, "shape": self._shape, "typestr": self._dtype.str, "data": (self._ptr, False),
                "strides": None, "descr": [("", self._dtype.str)], "stream": 1}

    def __repr__(self):
        return f"DeviceArray(shape={self._shape}, dtype={self._dtype.name}, ptr={self._ptr:#x})"


def to_device(array, dtype=None):
    """Uploads array-like data into a new DeviceArray (see DeviceArray.from_numpy)."""
    return DeviceArray.from_numpy(array, dtype)


def _c_contiguous(shape, strides, itemsize):
    if math.prod(shape) == 0:
        return True
    expected = itemsize
    for size, stride in zip(reversed(shape), reversed(strides)):
        if size != 1 and stride != expected:
            return False
        expected *= size
    return True


def _synchronize_stream(stream):
    if stream in _DEFAULT_STREAMS:
        return
    sync = getattr(rt.loaded().runtime, "cudaStreamSynchronize", None)  # hostcuda has no streams
    if sync is not None:
        sync.argtypes = [ctypes.c_void_p]
        rt.check("cudaStreamSynchronize", sync(stream))


def operand(obj, dtype, what, writable=False):
    """The DeviceArray through which an export reads (or, writable, writes) obj: a DeviceArray itself, or a
    view of any object with __cuda_array_interface__ (no copy), once its dtype, layout and device pass."""
    dtype = np.dtype(dtype)
    if isinstance(obj, DeviceArray):
        if obj.dtype != dtype:
            raise TypeError(f"{what}: expected a {dtype.name} array, got {obj.dtype.name}")
        return obj
    interface = getattr(obj, "__cuda_array_interface__", None)
    if interface is None:
        if isinstance(obj, np.ndarray) or hasattr(obj, "__array_interface__"):
            raise TypeError(f"{what}: got a host array; upload it first (cuda_brelmont.to_device)")
        raise TypeError(f"{what}: expected a device array (DeviceArray or an object with "
                        f"__cuda_array_interface__), got {type(obj).__name__}")
    try:
        shape = shape_of(interface["shape"])
        given = np.dtype(interface["typestr"])
        pointer, readonly = interface["data"]
    except (KeyError, TypeError, ValueError) as error:
        raise TypeError(f"{what}: malformed __cuda_array_interface__ ({error})") from None
    if given != dtype:
        raise TypeError(f"{what}: expected {dtype.name} elements (typestr {dtype.str!r}), got {given.name} "
                        f"(typestr {interface['typestr']!r})")
    if interface.get("mask") is not None:
        raise ValueError(f"{what}: masked arrays are not supported")
    strides = interface.get("strides")
    if strides is not None and not _c_contiguous(shape, tuple(strides), dtype.itemsize):
        raise ValueError(f"{what}: the array is not C-contiguous (shape {shape}, strides {tuple(strides)} "
                         f"bytes); pass a contiguous copy")
    if writable and readonly:
        raise ValueError(f"{what}: the array is read-only, and this call writes it")
    if math.prod(shape) and pointer:
        kind, device = rt.pointer_attributes(pointer)
        if kind not in (rt.MEMORY_TYPE_DEVICE, rt.MEMORY_TYPE_MANAGED):
            raise ValueError(f"{what}: the data at {pointer:#x} is not device memory of the CUDA runtime "
                             f"that cuda_brelmont uses")
        current = rt.current_device()
        if device != current:
            raise ValueError(f"{what}: the array is on device {device}, but the current device is {current}")
    elif math.prod(shape) and not pointer:
        raise ValueError(f"{what}: a null data pointer for {math.prod(shape)} elements")
    _synchronize_stream(interface.get("stream"))
    return DeviceArray(pointer, shape, dtype, owned=False, base=obj)


def host_or_device(obj, what):
    """(address, element count, keep-alive) of a float32 sequence in device memory or, for host data, in host
    memory (a contiguous float32 copy when it is not one already)."""
    if isinstance(obj, DeviceArray) or hasattr(obj, "__cuda_array_interface__"):
        array = operand(obj, float32, what)
        return array.ptr, array.size, array
    host = np.asarray(obj, dtype=float32, order="C")
    return host.ctypes.data, host.size, host
