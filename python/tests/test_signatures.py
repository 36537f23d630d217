"""The binding covers the header: every export wrapped, each with the C signature the header declares."""
import re
from pathlib import Path

import pytest

import cuda_brelmont as cb
from cuda_brelmont import _exports

HEADER = Path(__file__).resolve().parents[2] / "include" / "cuda_brelmont.h"

# The C spellings each signature letter stands for.
LETTERS = {
    "e": {"cudaError_t"}, "s": {"brelmontStatus_t"}, "v": {"void"}, "p": {"float*", "float2*"},
    "i": {"int"}, "f": {"float"}, "I": {"int*"}, "F": {"float*"}, "c": {"float2*"}, "P": {"float**", "float2**"},
}


def declarations():
    text = re.sub(r"/\*.*?\*/", "", HEADER.read_text(), flags=re.S)
    for result, name, params in re.findall(r"CUDA_BRELMONT_API\s+([\w\s\*]+?)\s*\b(\w+)\(([^)]*)\);", text):
        types = [re.sub(r"\s+", "", re.sub(r"\w+$", "", p.strip())) for p in params.split(",") if p.strip()]
        yield name, re.sub(r"\s+", "", result), [t for t in types if t != "void"]


DECLARED = sorted(declarations())


def test_every_declared_export_is_wrapped():
    assert len(DECLARED) == 95
    assert sorted(name for name, _, _ in DECLARED) == sorted(cb.EXPORTS)


@pytest.mark.parametrize("name,result,params", DECLARED, ids=[d[0] for d in DECLARED])
def test_signature_matches_header(name, result, params):
    letters = _exports.SIGNATURES[name].replace(":", "")
    c_types = [result, *params]
    assert len(letters) == len(c_types), f"{name}: {letters} for {c_types}"
    for letter, c_type in zip(letters, c_types):
        assert c_type in LETTERS[letter], f"{name}: {letter!r} stands for {LETTERS[letter]}, header has {c_type}"
