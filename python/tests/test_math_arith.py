"""Elementwise math, arithmetic and reductions against NumPy references in double precision."""
import math

import numpy as np
import pytest

import cuda_brelmont as cb

from conftest import rand, same_bits, ulps

f64 = np.float64
UNARY = [  # export, reference in double, domain, ulps allowed
    ("SGL_Sine", np.sin, (-6, 6), 3), ("SGL_Secant", lambda x: 1 / np.cos(x), (-1.4, 1.4), 6),
    ("SGL_InverseTangent", np.arctan, (-9, 9), 3), ("SGL_Exponential", np.exp, (-20, 20), 3),
    ("SGL_PowerOf2", np.exp2, (-30, 30), 1), ("SGL_LogBase2", np.log2, (0.01, 900), 2),
    ("SGL_HyperbolicCotangent", lambda x: 1 / np.tanh(x), (0.1, 5), 6),
    ("SGL_InverseHyperbolicSine", np.arcsinh, (-50, 50), 4),
    ("SGL_Square", lambda x: x * x, (-1e3, 1e3), 0), ("SGL_Reciprocal", lambda x: 1 / x, (0.5, 7), 0),
    ("SGL_SquareRoot", np.sqrt, (0, 1e6), 0), ("SGL_Decrement", lambda x: x - 1, (-3, 3), 0),
]


@pytest.mark.parametrize("name,reference,domain,allowed", UNARY, ids=[row[0] for row in UNARY])
def test_unary_in_place(name, reference, domain, allowed):
    x = rand(1000, *domain)
    a = cb.to_device(x)
    getattr(cb, name)(a)
    assert ulps(a.to_numpy(), reference(x.astype(f64))).max() <= allowed


@pytest.mark.parametrize("name,expected", [
    ("SGL_RoundToNearest", [2, -2, -0.0, 0, 3, -1]), ("SGL_RoundTowardLessInfinity", [2, -3, -1, 0, 3, -2]),
    ("SGL_RoundTowardMoreInfinity", [3, -2, -0.0, 1, 4, -1]), ("SGL_Sign", [1, -1, -1, 1, 1, -1]),
])
def test_rounding_keeps_its_rules(name, expected):
    a = cb.to_device([2.5, -2.5, -0.5, 0.25, 3.5, -1.25])
    getattr(cb, name)(a)
    assert same_bits(a.to_numpy(), np.array(expected, np.float32))


SCALAR = [("SGL_AddArrayScalar", lambda x, s: x + s), ("SGL_SubtractArrayScalar", lambda x, s: x - s),
          ("SGL_SubtractScalarArray", lambda x, s: s - x), ("SGL_MultArrayScalar", lambda x, s: x * s),
          ("SGL_DivideArrayScalar", lambda x, s: x / s), ("SGL_DivideScalarArray", lambda x, s: s / x),
          ("SGL_SetTensor", lambda x, s: np.full_like(x, s))]


@pytest.mark.parametrize("name,reference", SCALAR, ids=[row[0] for row in SCALAR])
def test_array_scalar_is_bit_exact(name, reference):
    x, s = rand((3, 50)), np.float32(-1.375)
    a = cb.to_device(x)
    getattr(cb, name)(a, s)
    assert same_bits(a.to_numpy(), reference(x, s).astype(np.float32))


def test_scale_by_power_of_two_and_element_updates():
    x = rand(40)
    a = cb.to_device(x)
    cb.SGL_ScaleByPowerOfTwo(a, -3)
    cb.SGL_IncrementElement(a, 7)
    cb.SGL_DecrementElement(a, 39)
    cb.SGL_IncrementElement(a, 40)  # past the end: nothing
    cb.synchronize()
    expected = np.ldexp(x, -3)
    expected[7] += 1
    expected[39] -= 1
    assert same_bits(a.to_numpy(), expected)


TWO = [("SGL_PowerOfX", lambda x, y: np.power(x, y), 4), ("SGL_LogBaseX", lambda x, y: np.log(y) / np.log(x), 7),
       ("SGL_InverseTangent2Input", lambda x, y: np.arctan2(y, x), 3),
       ("SGL_YTHRootOfX", lambda x, y: np.power(x, f64(np.float32(1) / y.astype(np.float32))), 5)]


@pytest.mark.parametrize("name,reference,allowed", TWO, ids=[row[0] for row in TWO])
def test_two_inputs_into_a_new_array(name, reference, allowed):
    x, y = rand((4, 25), 1.5, 9), rand((4, 25), 0.5, 3, seed=2)
    out = getattr(cb, name)(cb.to_device(x), cb.to_device(y))
    assert out.shape == x.shape
    assert ulps(out.to_numpy(), reference(x.astype(f64), y.astype(f64))).max() <= allowed


def test_sine_and_cosine_match_the_in_place_exports():
    x = rand(300, -50, 50)
    sin, cos = cb.SGL_SineAndCosine(cb.to_device(x))
    alone = [cb.to_device(x), cb.to_device(x)]
    cb.SGL_Sine(alone[0])
    cb.SGL_Cosine(alone[1])
    assert same_bits(sin.to_numpy(), alone[0].to_numpy()) and same_bits(cos.to_numpy(), alone[1].to_numpy())


def test_quotient_and_remainder_over_the_shorter_input():
    x = np.array([7, -7, 9.5, 1e10, 5, 6], np.float32)
    y = np.array([2, 2, -3, 3], np.float32)
    remainder, quotient = cb.SGL_QuotientAndRemainder(cb.to_device(x), cb.to_device(y))
    q = np.floor(x[:4] / y)
    np.testing.assert_array_equal(quotient.to_numpy(), q)
    np.testing.assert_array_equal(remainder.to_numpy(), [1, 1, -2.5, 256])


ARRAY_ARRAY = [("SGL_AddArrayArray", np.add), ("SGL_SubstractArrayArray", np.subtract),
               ("SGL_MultArrayArray", np.multiply), ("SGL_DivideArrayArray", np.divide)]


@pytest.mark.parametrize("name,reference", ARRAY_ARRAY, ids=[row[0] for row in ARRAY_ARRAY])
@pytest.mark.parametrize("shape_a,shape_b", [((2, 3, 4), (3, 2, 5)), ((), ())])
def test_array_array_over_the_common_extent(name, reference, shape_a, shape_b):
    a, b = rand(shape_a), rand(shape_b, 0.5, 2, seed=3)
    common = tuple(min(p, q) for p, q in zip(shape_a, shape_b))
    cut = tuple(slice(0, n) for n in common)
    out = getattr(cb, name)(cb.to_device(a), cb.to_device(b))
    assert out.shape == common
    assert same_bits(out.to_numpy(), reference(a[cut], b[cut]).astype(np.float32))


def test_reductions():
    x = rand(1001, 0.5, 1.5)
    a = cb.to_device(x)
    assert cb.SGL_AddArrayElement(a) == np.float32(math.fsum(x.astype(f64)))
    assert cb.SGL_MultiplyArrayElement(cb.to_device(x[:40])) == np.float32(np.prod(x[:40], dtype=f64))
    data = rand((3, 4, 5))
    data[2, 1, 3] = data[0, 3, 1] = -7  # two minima: the first in row-major order wins
    data[1, 2, 0] = 9
    low, high, at_low, at_high = cb.SGL_MinMaxArray(cb.to_device(data))
    assert (low, high, at_low, at_high) == (-7, 9, (0, 3, 1), (1, 2, 0))
