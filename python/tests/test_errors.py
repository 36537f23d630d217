"""Failures reach Python as exceptions carrying the runtime's error name and number, whatever the result kind."""
import numpy as np
import pytest

import cuda_brelmont as cb

OUT_OF_RESOURCES = 701  # cudaErrorLaunchOutOfResources, what the refused launches below report


def ones(*shape, dtype=np.float32):
    return cb.to_device(np.ones(shape, dtype))


# (case, failure injected once the operands exist, export, its arguments, exception, name, number)
CASES = [
    ("status refused", None, "SGL_ArraySubset", lambda: (ones(3), (-1,), (2,)),
     cb.CudaError, "cudaErrorInvalidValue", 1),
    ("allocation failed", "allocation", "SGL_PowerOfX", lambda: (ones(4), ones(4)),
     cb.CudaError, "cudaErrorMemoryAllocation", 2),
    ("launch refused", "launch", "SGL_Reverse1DArray", lambda: (ones(9),),
     cb.CudaError, "cudaErrorLaunchOutOfResources", OUT_OF_RESOURCES),
    ("reduction refused", None, "SGL_MinMaxArray", lambda: (ones(0),),
     cb.ReductionError, "BRELMONT_STATUS_BAD_PARAM", 2000),
    ("reduction allocation", "allocation", "SGL_AddArrayElement", lambda: (ones(5000),),
     cb.ReductionError, "BRELMONT_STATUS_DEVICE_ALLOCATION_FAILED", 4004),
    ("new array not made", "allocation", "SGL_InitArray", lambda: (8, 1.0),
     cb.CudaError, "cudaErrorMemoryAllocation", 2),
    ("no-status refusal", None, "SGL_TransposeNDArray", lambda: (ones(2, 3), (0, 0)),
     cb.CudaError, "cudaErrorInvalidValue", 1),
    ("no-status ranks", None, "SGL_BuildArray", lambda: (ones(2, 2, 2), ones(2)),
     cb.CudaError, "cudaErrorInvalidValue", 1),
    ("no-status allocation", "allocation", "SGL_IndexArray", lambda: (ones(2, 3), (0, None)),
     cb.CudaError, "cudaErrorMemoryAllocation", 2),
    ("no-status launch", "launch", "SGL_ConcatenateArray", lambda: (ones(2, 3), ones(1, 3)),
     cb.CudaError, "cudaErrorLaunchOutOfResources", OUT_OF_RESOURCES),
    ("search fails, not misses", "launch", "SGL_SearchNDArray", lambda: (ones(50), 2.0),
     cb.CudaError, "cudaErrorLaunchOutOfResources", OUT_OF_RESOURCES),
    ("duplicates not removed", "allocation", "SGL_RemoveDup1DArray", lambda: (ones(6),),
     cb.CudaError, "cudaErrorMemoryAllocation", 2),
    ("FFT completion", "launch", "CompleteFFT", lambda: (ones(2, 6, dtype=np.complex64),),
     cb.CudaError, "cudaErrorLaunchOutOfResources", OUT_OF_RESOURCES),
]


@pytest.mark.parametrize("inject,export,arguments,error,name,code", [c[1:] for c in CASES],
                         ids=[c[0] for c in CASES])
def test_failure_raises_with_name_and_number(runtime_hooks, inject, export, arguments, error, name, code):
    args = arguments()
    if inject == "allocation":
        runtime_hooks.hostcudaFailAllocation(1)
    elif inject == "launch":
        runtime_hooks.hostcudaFailLaunch(1, OUT_OF_RESOURCES)
    with pytest.raises(error) as raised:
        getattr(cb, export)(*args)
    assert (raised.value.function, raised.value.name, raised.value.code) == (export, name, code)
    assert f"{name} ({code})" in str(raised.value)


@pytest.mark.parametrize("call,error,message", [
    (lambda: cb.SGL_AddArrayArray(ones(2, 2), ones(4)), ValueError, "dimensions"),
    (lambda: cb.SGL_ArraySubset(ones(2, 2), (0,), (1, 1)), ValueError, "entries"),
    (lambda: cb.SGL_Rotate1DArray(ones(3), 2**31), OverflowError, "32-bit"),
    (lambda: cb.SGL_PowerOfX(ones(3), ones(4)), ValueError, "elements"),
    (lambda: cb.SGL_Interleave1DArray([ones(3), np.ones(4)]), ValueError, "lengths"),
])
def test_python_side_mistakes_are_plain_errors(call, error, message):
    with pytest.raises(error, match=message):
        call()
