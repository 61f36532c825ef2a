"""The JSON seed corpus under tests/fuzz/corpus against Python's own json module.

The C++ tests check that the module's reader accepts exactly the ok_* files and refuses the err_*
files. Here Python's json.loads must accept every ok_* file too, so nothing the module reads is
text that Python would reject, and it must refuse every err_* file except those where the module
is deliberately stricter than Python."""

import json
import math
import pathlib
import sys

import pytest

CORPUS = pathlib.Path(__file__).resolve().parents[1] / "fuzz" / "corpus"
FILES = sorted(p.name for p in CORPUS.iterdir())

# Python reads these; the module refuses them: the words NaN and Infinity, unpaired surrogate
# escapes, nesting beyond 127 levels and numbers beyond the largest double.
STRICTER_THAN_PYTHON = {
    "err_nan.json",
    "err_infinity_in_list.json",
    "err_minus_infinity.json",
    "err_lone_low_surrogate.json",
    "err_lone_high_surrogate.json",
    "err_high_then_bmp.json",
    "err_nested_128.json",
    "err_out_of_range.json",
    "err_out_of_range_exponent.json",
}


def load(name):
    return json.loads((CORPUS / name).read_bytes().decode("utf-8"))


def test_corpus_is_labelled():
    assert len(FILES) >= 20
    assert all(name.startswith(("ok_", "err_")) for name in FILES)
    assert STRICTER_THAN_PYTHON <= set(FILES)


@pytest.mark.parametrize("name", [n for n in FILES if n.startswith("ok_")])
def test_python_accepts_what_the_module_accepts(name):
    load(name)


@pytest.mark.parametrize(
    "name", [n for n in FILES if n.startswith("err_") and n not in STRICTER_THAN_PYTHON]
)
def test_python_refuses_malformed_text(name):
    with pytest.raises(json.JSONDecodeError):
        load(name)


@pytest.mark.parametrize("name", sorted(STRICTER_THAN_PYTHON))
def test_python_is_more_lenient(name):
    limit = sys.getrecursionlimit()
    sys.setrecursionlimit(max(limit, 2000))
    try:
        value = load(name)
    finally:
        sys.setrecursionlimit(limit)
    if "out_of_range" in name:
        number = value[0] if isinstance(value, list) else value
        # Beyond the largest double Python gives inf; the module refuses the number instead.
        assert math.isinf(number)
