"""Creation, 1-D sequences, sort, search, duplicate removal, shuffle and FFT completion."""
import numpy as np
import pytest

import cuda_brelmont as cb

from conftest import rand, same_bits


def test_creation_and_complex_fill():
    assert same_bits(cb.SGL_InitArray((2, 3), -0.75).to_numpy(), np.full((2, 3), -0.75, np.float32))
    c = cb.CSG_InitArray(4, 1 - 2j)
    assert c.dtype == np.complex64 and same_bits(c.to_numpy(), np.full(4, 1 - 2j, np.complex64))
    cb.CSG_SetTensor(c.reshape(2, 2), 0.5 + 4j)
    assert same_bits(c.to_numpy(), np.full(4, 0.5 + 4j, np.complex64))
    assert cb.SGL_InitArray(0, 1.0).shape == (0,)


def test_decimate_then_interleave_from_device_and_host():
    x = rand(11)
    parts = cb.SGL_Decimate1DArray(cb.to_device(x), 3)
    assert [p.shape for p in parts] == [(3,)] * 3
    for k, part in enumerate(parts):
        assert same_bits(part.to_numpy(), x[k:9:3])
    merged = cb.SGL_Interleave1DArray([parts[0], parts[1].to_numpy(), parts[2]])  # one input in host memory
    assert same_bits(merged.to_numpy(), x[:9])
    assert [p.size for p in cb.SGL_Decimate1DArray(cb.to_device(x), 12)] == [0] * 12


def test_interpolate_and_threshold_on_a_ramp():
    ramp = cb.to_device(np.arange(8, dtype=np.float32) * 2)
    assert cb.SGL_Interpolate1DArray(ramp, 2.25) == 4.5
    assert cb.SGL_Interpolate1DArray(ramp, -1) == 0 and cb.SGL_Interpolate1DArray(ramp, 40) == 14
    assert cb.SGL_Threshold1DArray(ramp, 9.0) == 4.5
    assert cb.SGL_Threshold1DArray(ramp, 1.0, start=3) == 3.0
    assert np.isnan(cb.SGL_Threshold1DArray(ramp, float("nan")))


@pytest.mark.parametrize("shift", [3, -2, 0, 17, -(2**31)])
def test_rotate_and_reverse(shift):
    x = rand(10)
    a = cb.to_device(x)
    cb.SGL_Rotate1DArray(a, shift)
    assert same_bits(a.to_numpy(), np.roll(x, shift % 10))
    cb.SGL_Reverse1DArray(a)
    assert same_bits(a.to_numpy(), np.roll(x, shift % 10)[::-1])


def test_sort_orders_signed_zeros_and_nans_by_their_bits():
    x = np.array([3, -0.0, np.nan, -np.inf, 0.0, -2, -np.nan, 1, -0.0], np.float32)
    a = cb.to_device(x)
    cb.SGL_SortNDArray(a)
    expected = np.array([-np.nan, -np.inf, -2, -0.0, 0.0, -0.0, 1, 3, np.nan], np.float32)
    assert same_bits(a.to_numpy(), expected)


def test_search_from_a_start_position():
    data = rand((3, 4))
    data[0, 1] = data[2, 2] = 5
    d = cb.to_device(data)
    assert cb.SGL_SearchNDArray(d, 5.0) == (0, 1)
    assert cb.SGL_SearchNDArray(d, 5.0, start=(0, 2)) == (2, 2)
    assert cb.SGL_SearchNDArray(d, 6.5) is None
    with pytest.raises(ValueError, match="outside"):
        cb.SGL_SearchNDArray(d, 5.0, start=(3, 0))


def test_remove_duplicates_keeps_first_occurrences():
    x = np.array([2, 7, 2, -0.0, 0.0, 7, np.nan, np.nan, -1], np.float32)
    out = cb.SGL_RemoveDup1DArray(cb.to_device(x))
    assert same_bits(out.to_numpy(), np.array([2, 7, -0.0, np.nan, np.nan, -1], np.float32))
    assert cb.SGL_RemoveDup1DArray(cb.to_device(np.zeros(0, np.float32))).size == 0


def test_shuffle_is_a_seeded_permutation(runtime_hooks):
    x = np.arange(200, dtype=np.float32)
    runs = []
    for _ in range(2):
        runtime_hooks.hostcudaFixSeed(1, 42)
        a = cb.to_device(x)
        cb.SGL_ShuffleNDArray(a)
        runs.append(a.to_numpy())
    assert same_bits(np.sort(runs[0]), x) and not same_bits(runs[0], x)
    assert same_bits(runs[0], runs[1])


@pytest.mark.parametrize("shape", [(2, 5), (3, 6), (7,)])
def test_complete_fft_mirrors_each_row(shape):
    x = (rand(shape) + 1j * rand(shape, seed=9)).astype(np.complex64)
    a = cb.to_device(x)
    cb.CompleteFFT(a)
    n = shape[-1]
    expected = x.copy()
    for j in range(1, (n + 1) // 2):
        expected[..., n - j] = np.conj(x[..., j])
    assert same_bits(a.to_numpy(), expected)
