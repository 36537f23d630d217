"""DeviceArray and arrays of other libraries, through __cuda_array_interface__."""
import gc

import numpy as np
import pytest

import cuda_brelmont as cb
from cuda_brelmont import _runtime

from conftest import rand, same_bits


class Foreign:
    """What CuPy, PyTorch or Numba hand over: an interface dict over memory they allocated (here hostcuda's)."""

    def __init__(self, host, **changes):
        self.pointer = _runtime.malloc(host.nbytes)
        _runtime.memcpy(self.pointer, host.ctypes.data, host.nbytes, _runtime.MEMCPY_HOST_TO_DEVICE)
        self.nbytes = host.nbytes
        self.__cuda_array_interface__ = {"version": 3, "shape": host.shape, "typestr": host.dtype.str,
                                         "data": (self.pointer, False), "strides": None, **changes}

    def read(self, dtype, shape):
        host = np.empty(shape, dtype)
        _runtime.memcpy(host.ctypes.data, self.pointer, host.nbytes, _runtime.MEMCPY_DEVICE_TO_HOST)
        return host

    def __del__(self):
        _runtime.free(self.pointer)


@pytest.mark.parametrize("host", [
    np.float32(2.5).reshape(()), np.zeros((0,), np.float32), rand((2, 3)), rand((1, 4, 1)),
    (rand(5) + 1j * rand(5, seed=2)).astype(np.complex64), np.zeros((3, 0), np.complex64),
], ids=["0-d", "empty", "2x3", "1x4x1", "complex", "complex empty"])
def test_round_trip_keeps_shape_dtype_and_bits(host):
    device = cb.to_device(host)
    assert (device.shape, device.dtype, device.size) == (host.shape, host.dtype, host.size)
    assert same_bits(device.to_numpy(), host)
    assert same_bits(np.asarray(device), host)


@pytest.mark.parametrize("given,kept", [
    (np.array([1.5, -2.0]), np.float32), (np.array([3, 4]), np.float32), (np.array([True]), np.float32),
    (np.array([1 + 2j]), np.complex64),
])
def test_upload_converts_other_numbers(given, kept):
    device = cb.to_device(given)
    assert device.dtype == kept
    np.testing.assert_array_equal(device.to_numpy(), given.astype(kept))


def test_upload_refuses_what_is_not_numbers():
    with pytest.raises(TypeError, match="dtype"):
        cb.to_device(np.array(["a"]))


def test_collected_arrays_are_released_and_views_keep_their_base(runtime_hooks):
    live = runtime_hooks.hostcudaLiveAllocations()
    base = cb.to_device(rand(6))
    view = base.reshape(2, -1)
    assert runtime_hooks.hostcudaLiveAllocations() == live + 1 and view.shape == (2, 3)
    expected = base.to_numpy().reshape(2, 3)
    del base
    gc.collect()
    assert runtime_hooks.hostcudaLiveAllocations() == live + 1
    np.testing.assert_array_equal(view.to_numpy(), expected)
    del view
    gc.collect()
    assert runtime_hooks.hostcudaLiveAllocations() == live
    explicit = cb.SGL_InitArray(3, 1.0)
    explicit.free()
    explicit.free()
    assert runtime_hooks.hostcudaLiveAllocations() == live and explicit.size == 0


def test_slices_along_the_first_dimension_are_views():
    x = rand((5, 3))
    a = cb.to_device(x)
    cb.SGL_SetTensor(a[1:3], 7.0)
    cb.SGL_Negate(a[-1])
    x[1:3], x[-1] = 7.0, -x[-1]
    assert same_bits(a.to_numpy(), x) and a[4:9].shape == (1, 3) and a[3:1].size == 0
    with pytest.raises(TypeError, match="first dimension"):
        a[::2]


def test_foreign_array_is_used_in_place_without_a_copy():
    host = rand((2, 3))
    foreign = Foreign(host, strides=(12, 4))  # explicit row-major strides are contiguous too
    cb.SGL_Negate(foreign)
    np.testing.assert_array_equal(foreign.read(np.float32, (2, 3)), -host)
    box = cb.SGL_ArraySubset(foreign, (1, 1), (1, 2))  # the shape travels with the interface
    np.testing.assert_array_equal(box.to_numpy(), -host[1:, 1:])
    again = cb.SGL_AddArrayArray(cb.to_device(host), Foreign(host.copy())) # DeviceArray's own interface too
    np.testing.assert_array_equal(again.to_numpy(), host + host)
    cb.CompleteFFT(Foreign(np.zeros((2, 4), np.complex64)))


@pytest.mark.parametrize("changes,error,message", [
    ({"typestr": "<f8"}, TypeError, "expected float32 elements"),
    ({"typestr": "<c8", "shape": (3,)}, TypeError, "expected float32 elements"),
    ({"strides": (4, 16)}, ValueError, "not C-contiguous"),
    ({"shape": (3, 2), "strides": (4, 12)}, ValueError, "not C-contiguous"),
    ({"data": "readonly"}, ValueError, "read-only"),
    ({"data": "host"}, ValueError, "not device memory"),
    ({"mask": object()}, ValueError, "masked"),
])
def test_foreign_array_is_refused_with_a_clear_message(changes, error, message):
    host = rand((2, 3))
    keep = np.ones(6, np.float32)
    foreign = Foreign(host)
    data = changes.pop("data", None)
    foreign.__cuda_array_interface__.update(changes)
    if data == "readonly":
        foreign.__cuda_array_interface__["data"] = (foreign.pointer, True)
    elif data == "host":
        foreign.__cuda_array_interface__["data"] = (keep.ctypes.data, False)
    with pytest.raises(error, match=message):
        cb.SGL_Sine(foreign)
    np.testing.assert_array_equal(foreign.read(np.float32, (2, 3)), host)


@pytest.mark.parametrize("given,message", [
    (np.ones(3, np.float32), "host array"), ([1.0, 2.0], "expected a device array"),
    (cb.to_device(np.ones(3, np.complex64)), "expected a float32 array"),
])
def test_what_is_no_device_array_is_refused(given, message):
    with pytest.raises(TypeError, match=message):
        cb.SGL_Sine(given)
