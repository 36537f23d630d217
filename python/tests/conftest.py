import gc

import numpy as np
import pytest

import cuda_brelmont as cb
from cuda_brelmont import _runtime


def hooks():
    return _runtime.loaded().hooks


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    report = (yield).get_result()
    if call.when == "call":
        item.failed_call = report.failed


@pytest.fixture(autouse=True)
def no_leaks(request):
    """Every test releases what it allocated, through the arrays' own collection, failed calls included."""
    gc.collect()
    before = hooks().hostcudaLiveAllocations() if hooks() else 0
    yield
    _runtime.clear_last_error()
    gc.collect()
    if hooks() and not getattr(request.node, "failed_call", False):  # a failure's traceback holds arrays
        assert hooks().hostcudaLiveAllocations() == before, "device allocations leaked"


@pytest.fixture
def runtime_hooks():
    if hooks() is None:
        pytest.skip("needs hostcuda's hooks (the host variant)")
    yield hooks()
    hooks().hostcudaFailAllocation(0)
    hooks().hostcudaFailLaunch(0, 0)
    hooks().hostcudaFixSeed(0, 0)


def rand(shape, lo=-4.0, hi=4.0, seed=1):
    return np.random.default_rng(seed).uniform(lo, hi, shape).astype(np.float32)


def ulps(a, b):
    """Distance in float32 ulps, NaNs equal to NaNs."""
    def ordered(x):
        i = np.asarray(x, np.float32).view(np.int32).astype(np.int64)
        return np.where(i < 0, -(i & 0x7FFFFFFF), i)
    a, b = np.asarray(a, np.float32), np.asarray(b, np.float32)
    d = np.abs(ordered(a) - ordered(b))
    return np.where(np.isnan(a) & np.isnan(b), 0, d)


def same_bits(a, b):
    a, b = np.asarray(a), np.asarray(b)
    return a.shape == b.shape and a.dtype == b.dtype and a.tobytes() == b.tobytes()
