"""N-D restructuring against NumPy's own slicing, stacking and transposing."""
import numpy as np
import pytest

import cuda_brelmont as cb

from conftest import rand, same_bits

SRC = rand((3, 4, 5))


def complex_src(shape):
    return (rand(shape) + 1j * rand(shape, seed=7)).astype(np.complex64)


def test_subset_wraps_in_every_dimension():
    ramp = np.arange(3, dtype=np.float32)
    np.testing.assert_array_equal(cb.SGL_ArraySubset(cb.to_device(ramp), (1,), (7,)).to_numpy(), [1, 2, 0, 1, 2, 0, 1])
    box = cb.SGL_ArraySubset(cb.to_device(SRC), (2, 3, 1), (2, 3, 6))
    rows, cols, depth = (np.arange(2, 4) % 3, np.arange(3, 6) % 4, np.arange(1, 7) % 5)
    assert same_bits(box.to_numpy(), SRC[np.ix_(rows, cols, depth)])


def test_index_keeps_the_dimensions_marked_none():
    out = cb.SGL_IndexArray(cb.to_device(SRC), (1, None, 2))
    assert same_bits(out.to_numpy(), SRC[1:2, :, 2:3])


@pytest.mark.parametrize("prefix,make", [("SGL", rand), ("CSG", complex_src)])
def test_replace_and_delete(prefix, make):
    dst, sub = make((4, 5)), make((2, 3))
    d = cb.to_device(dst)
    getattr(cb, f"{prefix}_ReplaceArraySubset")(d, cb.to_device(sub), (1, 2))
    dst[1:3, 2:5] = sub
    assert same_bits(d.to_numpy(), dst)
    rest, deleted = getattr(cb, f"{prefix}_DeleteFromArray")(d, 1, 3, 1)
    assert same_bits(rest.to_numpy(), np.delete(dst, [1, 2, 3], axis=1))
    assert same_bits(deleted.to_numpy(), dst[:, 1:4])


def test_insert_pads_a_smaller_block_and_takes_a_slice():
    src, block = rand((3, 4)), rand((2, 2), seed=4)
    padded = np.zeros((3, 2), np.float32)
    padded[:2] = block
    out = cb.SGL_InsertIntoArray(cb.to_device(src), cb.to_device(block), 1, 1)
    assert same_bits(out.to_numpy(), np.concatenate([src[:, :1], padded, src[:, 1:]], axis=1))
    row = rand(4, seed=5)
    out = cb.SGL_InsertIntoArray(cb.to_device(src), cb.to_device(row), 3, 0)
    assert same_bits(out.to_numpy(), np.concatenate([src, row[None]]))


def test_build_and_concatenate():
    a, b = rand((2, 3)), rand((1, 2), seed=6)
    padded = np.zeros((2, 3), np.float32)
    padded[:1, :2] = b
    assert same_bits(cb.SGL_BuildArray(cb.to_device(a), cb.to_device(b)).to_numpy(), np.stack([a, padded]))
    c = rand(3, seed=8)
    assert same_bits(cb.SGL_ConcatenateArray(cb.to_device(a), cb.to_device(b)).to_numpy(),
                     np.concatenate([a, padded[:1]]))
    assert same_bits(cb.SGL_ConcatenateArray(cb.to_device(a), cb.to_device(c)).to_numpy(), np.concatenate([a, c[None]]))


def test_reshape_keeps_the_order_and_fills_with_zero():
    out = cb.SGL_ReshapeArray(cb.to_device(SRC[0, 0]), (2, 4))
    assert same_bits(out.to_numpy(), np.concatenate([SRC[0, 0], np.zeros(3, np.float32)]).reshape(2, 4))


def test_transposes():
    m = rand((37, 70))
    assert same_bits(cb.SGL_Transpose2DArray(cb.to_device(m)).to_numpy(), m.T)
    dst = cb.SGL_InitArray(m.size, 0).reshape(70, 37)
    assert cb.SGL_Transpose2DArray(cb.to_device(m), dst) is dst
    assert same_bits(dst.to_numpy(), m.T)
    assert same_bits(cb.SGL_TransposeNDArray(cb.to_device(SRC), (2, 0, 1)).to_numpy(), SRC.transpose(2, 0, 1))


@pytest.mark.parametrize("index,mode", [(2, 1), (3, 0), (-5, 1), (99, 0)])
def test_split_2d(index, mode):
    m = rand((4, 6))
    first, second = cb.SGL_Split2DArray(cb.to_device(m), index, mode)
    axis = 0 if mode == 1 else 1
    cut = min(max(index, 0), m.shape[axis])
    expected = np.split(m, [cut], axis=axis)
    for got, want in zip((first, second), expected):
        assert got.shape == want.shape and (got.size == 0 or same_bits(got.to_numpy(), want))


def test_split_1d():
    x = rand(9)
    first, second = cb.SGL_Split1DArray(cb.to_device(x), 4)
    assert same_bits(first.to_numpy(), x[:4]) and same_bits(second.to_numpy(), x[4:])
