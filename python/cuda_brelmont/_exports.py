"""The 95 exports, callable with Python arguments.

Every wrapper keeps its export's name. Arrays are DeviceArrays or objects with __cuda_array_interface__;
counts and dimension sizes come from their shapes. New arrays are returned as DeviceArrays (several as a tuple,
in the order of the export's output arguments), host results as Python values; exports that work in place
return None. A failed status raises CudaError (ReductionError for the reductions); an export without a status
that produces no output raises CudaError with the runtime's pending error, or cudaErrorInvalidValue when the
library refused its arguments.
"""

import ctypes
import math

from . import _runtime as rt
from ._array import DeviceArray, shape_of, complex64, float32, host_or_device, operand

INT_MAX = 2**31 - 1
MAX_RANK = 10


class _Float2(ctypes.Structure):
    _fields_ = [("x", ctypes.c_float), ("y", ctypes.c_float)]


# One letter per C type. Results: e cudaError_t, s brelmontStatus_t, v void, p a new device pointer.
# Arguments: p device array, i int, f float, I host int array, F host float result, c host float2,
# P address of a device pointer (also a host array of them).
_TYPES = {
    "e": ctypes.c_int, "s": ctypes.c_int, "v": None, "p": ctypes.c_void_p, "i": ctypes.c_int,
    "f": ctypes.c_float, "I": ctypes.POINTER(ctypes.c_int), "F": ctypes.POINTER(ctypes.c_float),
    "c": ctypes.POINTER(_Float2), "P": ctypes.POINTER(ctypes.c_void_p),
}

# The elementwise families that share one calling shape.
IN_PLACE = (  # (float* data, int n)
    "SGL_Sine", "SGL_Cosine", "SGL_Tangent", "SGL_Secant", "SGL_Cosecant", "SGL_Cotangent",
    "SGL_InverseSine", "SGL_InverseCosine", "SGL_InverseTangent", "SGL_InverseSecant", "SGL_InverseCosecant",
    "SGL_InverseCotangent", "SGL_Sinc", "SGL_Exponential", "SGL_ExponentialArgMinusOne", "SGL_PowerOf10",
    "SGL_PowerOf2", "SGL_LN", "SGL_LNArgPlusOne", "SGL_LogBase10", "SGL_LogBase2", "SGL_HyperbolicSine",
    "SGL_HyperbolicCosine", "SGL_HyperbolicTangent", "SGL_HyperbolicSecant", "SGL_HyperbolicCosecant",
    "SGL_HyperbolicCotangent", "SGL_InverseHyperbolicSine", "SGL_InverseHyperbolicCosine",
    "SGL_InverseHyperbolicTangent", "SGL_InverseHyperbolicSecant", "SGL_InverseHyperbolicCosecant",
    "SGL_InverseHyperbolicCotangent",
    "SGL_Increment", "SGL_Decrement", "SGL_Square", "SGL_Negate", "SGL_Reciprocal", "SGL_SquareRoot",
    "SGL_Absolute", "SGL_RoundToNearest", "SGL_RoundTowardLessInfinity", "SGL_RoundTowardMoreInfinity",
    "SGL_Sign",
)
COUNT_FIRST = ("SGL_SortNDArray", "SGL_ShuffleNDArray", "SGL_Reverse1DArray")  # (int n, float* data)
WITH_SCALAR = (  # (float* data, float s, int n)
    "SGL_AddArrayScalar", "SGL_SubtractArrayScalar", "SGL_SubtractScalarArray", "SGL_MultArrayScalar",
    "SGL_DivideArrayScalar", "SGL_DivideScalarArray", "SGL_SetTensor",
)
WITH_INT = ("SGL_ScaleByPowerOfTwo", "SGL_IncrementElement", "SGL_DecrementElement")  # (float*, int, int n)
TWO_INPUTS = ("SGL_PowerOfX", "SGL_YTHRootOfX", "SGL_LogBaseX", "SGL_InverseTangent2Input")  # x, y, n, out
ARRAY_ARRAY = ("SGL_AddArrayArray", "SGL_SubstractArrayArray", "SGL_MultArrayArray", "SGL_DivideArrayArray")
SUMS = ("SGL_AddArrayElement", "SGL_MultiplyArrayElement")  # (float* data, int count, float* result)

SIGNATURES = {
    **{name: "e:pi" for name in IN_PLACE},
    **{name: "e:ip" for name in COUNT_FIRST},
    **{name: "e:pfi" for name in WITH_SCALAR},
    **{name: "e:pii" for name in WITH_INT},
    **{name: "e:ppiP" for name in TWO_INPUTS},
    **{name: "e:iIIppPII" for name in ARRAY_ARRAY},
    **{name: "s:piF" for name in SUMS},
    "SGL_SineAndCosine": "e:piPP",
    "SGL_QuotientAndRemainder": "e:ppiiPP",
    "SGL_MinMaxArray": "s:iiIpFFII",
    "SGL_ArraySubset": "e:iIIIpP",
    "SGL_IndexArray": "v:iIIpPI",
    "SGL_ReplaceArraySubset": "e:iIIIpp",
    "CSG_ReplaceArraySubset": "e:iIIIpp",
    "SGL_DeleteFromArray": "e:iIiiipPIPI",
    "CSG_DeleteFromArray": "e:iIiiipPIPI",
    "SGL_InsertIntoArray": "e:iiIIiippPI",
    "SGL_BuildArray": "v:iiIIppPI",
    "SGL_ConcatenateArray": "v:iiIIppPI",
    "SGL_ReshapeArray": "e:piIiP",
    "SGL_Transpose2DArray": "e:Ipp",
    "SGL_TransposeNDArray": "v:iIIpPI",
    "SGL_Split1DArray": "e:iipPIPI",
    "SGL_Split2DArray": "e:IiipPIPI",
    "SGL_InitArray": "p:if",
    "CSG_InitArray": "p:ic",
    "CSG_SetTensor": "e:pci",
    "SGL_Decimate1DArray": "e:piiP",
    "SGL_Interleave1DArray": "e:PiiPI",
    "SGL_Interpolate1DArray": "e:ifpF",
    "SGL_Threshold1DArray": "e:ifipF",
    "SGL_Rotate1DArray": "e:iip",
    "SGL_SearchNDArray": "v:iiIIfpII",
    "SGL_RemoveDup1DArray": "v:piPI",
    "CompleteFFT": "v:pIi",
}

_bound = {}


def function(name):
    """The export `name` as a ctypes function with its C signature."""
    bound = _bound.get(name)
    if bound is None:
        result, arguments = SIGNATURES[name].split(":")
        bound = getattr(rt.loaded().library, name)
        bound.restype = _TYPES[result]
        bound.argtypes = [_TYPES[letter] for letter in arguments]
        _bound[name] = bound
    return bound


# ---- Argument helpers -------------------------------------------------------------------------------------

def _int(value, what):
    value = int(value)
    if not -INT_MAX - 1 <= value <= INT_MAX:
        raise OverflowError(f"{what} = {value} does not fit a 32-bit int")
    return value


def _count(array, what):
    if array.size > INT_MAX:
        raise ValueError(f"{what}: {array.size} elements, more than a 32-bit count holds")
    return array.size


def _ints(values, what="sizes"):
    values = [_int(v, what) for v in values]
    return (ctypes.c_int * max(len(values), 1))(*values)


def _coordinates(values, rank, what):
    values = tuple(values)
    if len(values) != rank:
        raise ValueError(f"{what}: {len(values)} entries for an array of {rank} dimensions")
    return _ints(values, what)


def _real(obj, what, writable=False):
    return operand(obj, float32, what, writable)


def _complex(obj, what, writable=False):
    return operand(obj, complex64, what, writable)


def _status(name, *args):
    rt.check(name, function(name)(*args))


def _new(pointer, shape, dtype=float32):
    return DeviceArray(pointer.value if isinstance(pointer, ctypes.c_void_p) else pointer, shape, dtype)


def _float2(value):
    value = complex(value)
    return _Float2(value.real, value.imag)


def _no_status(name, *args):
    """Calls an export that reports nothing, with no stale runtime error to mistake for one of its own."""
    rt.clear_last_error()
    function(name)(*args)


# ---- The elementwise families -----------------------------------------------------------------------------

def _in_place(name):
    def call(data):
        a = _real(data, f"{name} data", writable=True)
        _status(name, a.ptr, _count(a, name))
    return call


def _count_first(name):
    def call(data):
        a = _real(data, f"{name} data", writable=True)
        _status(name, _count(a, name), a.ptr)
    return call


def _with_scalar(name):
    def call(data, value):
        a = _real(data, f"{name} data", writable=True)
        _status(name, a.ptr, float(value), _count(a, name))
    return call


def _with_int(name):
    def call(data, k):
        a = _real(data, f"{name} data", writable=True)
        _status(name, a.ptr, _int(k, "k" if name == "SGL_ScaleByPowerOfTwo" else "index"), _count(a, name))
    return call


def _two_inputs(name):
    def call(x, y):
        x, y = _real(x, f"{name} x"), _real(y, f"{name} y")
        if x.size != y.size:
            raise ValueError(f"{name}: x has {x.size} elements and y {y.size}")
        out = ctypes.c_void_p()
        _status(name, x.ptr, y.ptr, _count(x, name), ctypes.byref(out))
        return _new(out, x.shape)
    return call


def _array_array(name):
    def call(a, b):
        a, b = _real(a, f"{name} A"), _real(b, f"{name} B")
        if a.ndim != b.ndim:
            raise ValueError(f"{name}: A has {a.ndim} dimensions and B {b.ndim}")
        result, sizes, nbytes = ctypes.c_void_p(), _ints([0] * a.ndim), ctypes.c_int()
        _status(name, a.ndim, _ints(a.shape), _ints(b.shape), a.ptr, b.ptr, ctypes.byref(result), sizes,
                ctypes.byref(nbytes))
        return _new(result, sizes[:a.ndim])
    return call


def _sum(name):
    def call(data):
        a = _real(data, f"{name} data")
        result = ctypes.c_float()
        rt.check_reduction(name, function(name)(a.ptr, _count(a, name), ctypes.byref(result)))
        return result.value
    return call


EXPORTS = {}
for _names, _make in ((IN_PLACE, _in_place), (COUNT_FIRST, _count_first), (WITH_SCALAR, _with_scalar),
                      (WITH_INT, _with_int), (TWO_INPUTS, _two_inputs), (ARRAY_ARRAY, _array_array),
                      (SUMS, _sum)):
    for _name in _names:
        EXPORTS[_name] = _make(_name)
        EXPORTS[_name].__name__ = EXPORTS[_name].__qualname__ = _name


def export(wrapper):
    EXPORTS[wrapper.__name__] = wrapper
    return wrapper


# ---- Math and arithmetic with several outputs, and the extremes ------------------------------------------

@export
def SGL_SineAndCosine(x):
    """(sin x, cos x) as two new arrays."""
    x = _real(x, "SGL_SineAndCosine x")
    sin, cos = ctypes.c_void_p(), ctypes.c_void_p()
    _status("SGL_SineAndCosine", x.ptr, _count(x, "x"), ctypes.byref(sin), ctypes.byref(cos))
    return _new(sin, x.shape), _new(cos, x.shape)


@export
def SGL_QuotientAndRemainder(x, y):
    """(remainder, quotient) of the first min(x.size, y.size) pairs, as two new 1-D arrays."""
    x, y = _real(x, "SGL_QuotientAndRemainder x"), _real(y, "SGL_QuotientAndRemainder y")
    remainder, quotient = ctypes.c_void_p(), ctypes.c_void_p()
    _status("SGL_QuotientAndRemainder", x.ptr, y.ptr, _count(x, "x"), _count(y, "y"), ctypes.byref(remainder),
            ctypes.byref(quotient))
    m = min(x.size, y.size)
    return _new(remainder, m), _new(quotient, m)


@export
def SGL_MinMaxArray(data):
    """(minimum, maximum, coordinates of the minimum, coordinates of the maximum)."""
    a = _real(data, "SGL_MinMaxArray data")
    low, high = ctypes.c_float(), ctypes.c_float()
    at_low, at_high = _ints([0] * a.ndim), _ints([0] * a.ndim)
    rt.check_reduction("SGL_MinMaxArray", function("SGL_MinMaxArray")(
        a.ndim, 0, _ints(a.shape), a.ptr, ctypes.byref(low), ctypes.byref(high), at_low, at_high))
    return low.value, high.value, tuple(at_low[:a.ndim]), tuple(at_high[:a.ndim])


# ---- N-D restructuring --------------------------------------------------------------------------------------

def _refused_unless(pointer, name):
    if not pointer.value:
        raise rt.refused(name)


@export
def SGL_ArraySubset(src, start, shape):
    """The box of the given shape whose first element is src at start, wrapping in every dimension."""
    a = _real(src, "SGL_ArraySubset src")
    out = ctypes.c_void_p()
    _status("SGL_ArraySubset", a.ndim, _ints(a.shape), _coordinates(start, a.ndim, "start"),
            _coordinates(shape, a.ndim, "shape"), a.ptr, ctypes.byref(out))
    return _new(out, shape)


@export
def SGL_IndexArray(src, indices):
    """The elements of src at the given index in every dimension whose entry is not -1 (or None)."""
    a = _real(src, "SGL_IndexArray src")
    indices = [-1 if i is None else i for i in indices]
    out, dims = ctypes.c_void_p(), _ints([0] * a.ndim)
    _no_status("SGL_IndexArray", a.ndim, _ints(a.shape), _coordinates(indices, a.ndim, "indices"), a.ptr,
               ctypes.byref(out), dims)
    _refused_unless(out, "SGL_IndexArray")
    return _new(out, dims[:a.ndim])


def _replace(name, dtype):
    def call(dst, sub, start):
        d, s = operand(dst, dtype, f"{name} dst", writable=True), operand(sub, dtype, f"{name} sub")
        if s.ndim != d.ndim:
            raise ValueError(f"{name}: dst has {d.ndim} dimensions and sub {s.ndim}")
        _status(name, d.ndim, _ints(d.shape), _ints(s.shape), _coordinates(start, d.ndim, "start"), d.ptr, s.ptr)
    call.__name__ = call.__qualname__ = name
    call.__doc__ = "In place: the box of dst at start = sub (nothing wraps)."
    return call


def _delete(name, dtype):
    def call(src, start, count, axis):
        a = operand(src, dtype, f"{name} src")
        out, deleted = ctypes.c_void_p(), ctypes.c_void_p()
        out_dims, deleted_dims = _ints([0] * a.ndim), _ints([0] * a.ndim)
        _status(name, a.ndim, _ints(a.shape), _int(start, "start"), _int(count, "count"), _int(axis, "axis"),
                a.ptr, ctypes.byref(out), out_dims, ctypes.byref(deleted), deleted_dims)
        return _new(out, out_dims[:a.ndim], dtype), _new(deleted, deleted_dims[:a.ndim], dtype)
    call.__name__ = call.__qualname__ = name
    call.__doc__ = "(what remains, the removed part) after removing count positions from start along axis."
    return call


for _name, _dtype in (("SGL", float32), ("CSG", complex64)):
    export(_replace(f"{_name}_ReplaceArraySubset", _dtype))
    export(_delete(f"{_name}_DeleteFromArray", _dtype))


@export
def SGL_InsertIntoArray(src, ins, start, axis):
    """src with the block ins inserted along axis at position start (ins of src's rank, or one less)."""
    a, b = _real(src, "SGL_InsertIntoArray src"), _real(ins, "SGL_InsertIntoArray ins")
    out, dims = ctypes.c_void_p(), _ints([0] * a.ndim)
    _status("SGL_InsertIntoArray", a.ndim, b.ndim, _ints(a.shape), _ints(b.shape), _int(start, "start"),
            _int(axis, "axis"), a.ptr, b.ptr, ctypes.byref(out), dims)
    return _new(out, dims[:a.ndim])


def _join(name, equal_ranks_add_one):
    def call(a, b):
        x, y = _real(a, f"{name} a"), _real(b, f"{name} b")
        rank = max(x.ndim, y.ndim) + (1 if equal_ranks_add_one and x.ndim == y.ndim else 0)
        out, dims = ctypes.c_void_p(), _ints([0] * (MAX_RANK + 1))
        _no_status(name, x.ndim, y.ndim, _ints(x.shape), _ints(y.shape), x.ptr, y.ptr, ctypes.byref(out), dims)
        _refused_unless(out, name)
        return _new(out, dims[:rank])
    call.__name__ = call.__qualname__ = name
    return call


SGL_BuildArray = export(_join("SGL_BuildArray", True))
SGL_BuildArray.__doc__ = "a and b as the two entries of a new first dimension (or one appended as a slice)."
SGL_ConcatenateArray = export(_join("SGL_ConcatenateArray", False))
SGL_ConcatenateArray.__doc__ = "a and b joined along their first dimension (or one appended as a slice)."


@export
def SGL_ReshapeArray(src, shape):
    """A new array of the given shape: src's elements in order, then 0.0."""
    a = _real(src, "SGL_ReshapeArray src")
    shape = tuple(shape)
    out = ctypes.c_void_p()
    _status("SGL_ReshapeArray", a.ptr, _count(a, "src"), _ints(shape), len(shape), ctypes.byref(out))
    return _new(out, shape)


@export
def SGL_Transpose2DArray(src, dst=None):
    """dst = the transpose of the 2-D src (a new (cols, rows) array unless dst is given); returns dst."""
    a = _real(src, "SGL_Transpose2DArray src")
    if a.ndim != 2:
        raise ValueError(f"SGL_Transpose2DArray: src has {a.ndim} dimensions, not 2")
    rows, cols = a.shape
    if dst is None:
        dst = DeviceArray.empty((cols, rows))
    d = _real(dst, "SGL_Transpose2DArray dst", writable=True)
    if d.size != a.size:
        raise ValueError(f"SGL_Transpose2DArray: dst has {d.size} elements, src {a.size}")
    _status("SGL_Transpose2DArray", _ints(a.shape), a.ptr, d.ptr)
    return dst


@export
def SGL_TransposeNDArray(src, perm):
    """src with its dimensions permuted: output dimension j is source dimension perm[j]."""
    a = _real(src, "SGL_TransposeNDArray src")
    out, dims = ctypes.c_void_p(), _ints([0] * a.ndim)
    _no_status("SGL_TransposeNDArray", a.ndim, _ints(a.shape), _coordinates(perm, a.ndim, "perm"), a.ptr,
               ctypes.byref(out), dims)
    _refused_unless(out, "SGL_TransposeNDArray")
    return _new(out, dims[:a.ndim])


@export
def SGL_Split1DArray(src, index):
    """(elements before index, the rest), index clamped into 0 ... src.size."""
    a = _real(src, "SGL_Split1DArray src")
    first, second, first_count, second_count = ctypes.c_void_p(), ctypes.c_void_p(), ctypes.c_int(), ctypes.c_int()
    _status("SGL_Split1DArray", _count(a, "src"), _int(index, "index"), a.ptr, ctypes.byref(first),
            ctypes.byref(first_count), ctypes.byref(second), ctypes.byref(second_count))
    return _new(first, first_count.value), _new(second, second_count.value)


@export
def SGL_Split2DArray(src, index, mode):
    """The 2-D src cut before row index (mode 1) or before column index (any other mode)."""
    a = _real(src, "SGL_Split2DArray src")
    if a.ndim != 2:
        raise ValueError(f"SGL_Split2DArray: src has {a.ndim} dimensions, not 2")
    first, second, first_dims, second_dims = ctypes.c_void_p(), ctypes.c_void_p(), _ints([0, 0]), _ints([0, 0])
    _status("SGL_Split2DArray", _ints(a.shape), _int(index, "index"), _int(mode, "mode"), a.ptr,
            ctypes.byref(first), first_dims, ctypes.byref(second), second_dims)
    return _new(first, first_dims[:2]), _new(second, second_dims[:2])


# ---- Creation and filling --------------------------------------------------------------------------------

def _created(name, shape, dtype, *value):
    shape = shape_of(shape)
    n = math.prod(shape)
    if n == 0:
        return DeviceArray(0, shape, dtype)
    rt.clear_last_error()
    pointer = function(name)(_int(n, "n"), *value)
    if not pointer:
        raise rt.refused(name)
    return _new(pointer, shape, dtype)


@export
def SGL_InitArray(shape, value):
    """A new float32 array of the given shape (or count), every element value."""
    return _created("SGL_InitArray", shape, float32, float(value))


@export
def CSG_InitArray(shape, value):
    """A new complex64 array of the given shape (or count), every element value."""
    return _created("CSG_InitArray", shape, complex64, ctypes.byref(_float2(value)))


@export
def CSG_SetTensor(data, value):
    """In place: every element of the complex data = value."""
    a = _complex(data, "CSG_SetTensor data", writable=True)
    _status("CSG_SetTensor", a.ptr, ctypes.byref(_float2(value)), _count(a, "data"))


# ---- 1-D sequences ------------------------------------------------------------------------------------------

@export
def SGL_Decimate1DArray(src, factor):
    """A list of factor new arrays: output k holds src[k], src[k + factor], ... (empty ones for factor > n)."""
    a = _real(src, "SGL_Decimate1DArray src")
    factor = _int(factor, "factor")
    slots = (ctypes.c_void_p * max(factor, 1))()
    _status("SGL_Decimate1DArray", a.ptr, _count(a, "src"), factor, slots)
    if factor < 0:
        return []
    return [_new(slot, a.size // factor) for slot in slots[:factor]]


@export
def SGL_Interleave1DArray(inputs):
    """A new array merging equal-length sequences: out[j * count + k] = inputs[k][j]. Inputs may be device
    arrays or host data (NumPy arrays, sequences), which the library copies to the device."""
    held = [host_or_device(x, f"SGL_Interleave1DArray inputs[{k}]") for k, x in enumerate(inputs)]
    lengths = {size for _, size, _ in held}
    if len(lengths) > 1:
        raise ValueError(f"SGL_Interleave1DArray: inputs of different lengths {sorted(lengths)}")
    length = lengths.pop() if lengths else 0
    pointers = (ctypes.c_void_p * max(len(held), 1))(*[address for address, _, _ in held])
    out, out_length = ctypes.c_void_p(), ctypes.c_int()
    _status("SGL_Interleave1DArray", pointers, _int(length, "length"), _int(len(held), "count"),
            ctypes.byref(out), ctypes.byref(out_length))
    return _new(out, out_length.value)


@export
def SGL_Interpolate1DArray(src, x):
    """src read at the fractional index x by linear interpolation, as a float."""
    a = _real(src, "SGL_Interpolate1DArray src")
    result = ctypes.c_float()
    _status("SGL_Interpolate1DArray", _count(a, "src"), float(x), a.ptr, ctypes.byref(result))
    return result.value


@export
def SGL_Threshold1DArray(src, threshold, start=0):
    """The fractional index at which src rises to threshold, searching from start (NaN where none)."""
    a = _real(src, "SGL_Threshold1DArray src")
    result = ctypes.c_float()
    _status("SGL_Threshold1DArray", _count(a, "src"), float(threshold), _int(start, "start"), a.ptr,
            ctypes.byref(result))
    return result.value


@export
def SGL_Rotate1DArray(data, shift):
    """In place: new[i] = old[(i - shift) mod n]."""
    a = _real(data, "SGL_Rotate1DArray data", writable=True)
    _status("SGL_Rotate1DArray", _count(a, "data"), _int(shift, "shift"), a.ptr)


# ---- Search, duplicate removal, FFT completion ------------------------------------------------------------

@export
def SGL_SearchNDArray(data, value, start=None):
    """The coordinates of the first element at or after start (row-major) equal to value, or None."""
    a = _real(data, "SGL_SearchNDArray data")
    start = (0,) * a.ndim if start is None else tuple(int(s) for s in start)
    if len(start) != a.ndim or any(not 0 <= s < d for s, d in zip(start, a.shape)):
        raise ValueError(f"SGL_SearchNDArray: start {start} lies outside the shape {a.shape}")
    found, index = ctypes.c_int(), _ints([0] * a.ndim)
    _no_status("SGL_SearchNDArray", a.ndim, _count(a, "data"), _ints(a.shape), _ints(start), float(value), a.ptr,
               ctypes.byref(found), index)
    if found.value:
        return tuple(index[:a.ndim])
    rt.raise_pending("SGL_SearchNDArray")  # a device failure also reads as a miss
    return None


@export
def SGL_RemoveDup1DArray(src):
    """A new 1-D array of the distinct values of src in the order of their first occurrence."""
    a = _real(src, "SGL_RemoveDup1DArray src")
    out, count = ctypes.c_void_p(), ctypes.c_int()
    _no_status("SGL_RemoveDup1DArray", a.ptr, _count(a, "src"), ctypes.byref(out), ctypes.byref(count))
    if a.size and not out.value:
        raise rt.refused("SGL_RemoveDup1DArray")
    return _new(out, count.value)


@export
def CompleteFFT(data):
    """In place: completes every row of the complex data by conjugate symmetry along its last dimension."""
    a = _complex(data, "CompleteFFT data", writable=True)
    if a.ndim < 1:
        raise ValueError("CompleteFFT: data needs at least one dimension")
    _no_status("CompleteFFT", a.ptr, _ints(a.shape), a.ndim)
    rt.raise_pending("CompleteFFT")
