"""Integers of any size are recorded with exactly the digits json.dumps wrote."""

import random
import sys
import uuid

import pytest

from conftest import read_lines, read_records

RNG = random.Random(20261208)


@pytest.fixture
def any_digit_count():
    """Python 3.11+ caps int <-> str conversions at 4300 digits unless told otherwise."""
    previous = getattr(sys, "get_int_max_str_digits", lambda: None)()
    if previous is not None:
        sys.set_int_max_str_digits(0)
    yield
    if previous is not None:
        sys.set_int_max_str_digits(previous)


@pytest.mark.parametrize(
    "number",
    [2**63, -(2**63), -(2**63) - 1, 2**64 - 1, 2**64, -(2**64), 10**20 + 1,
     uuid.UUID(int=RNG.getrandbits(128)).int, 2**1024 + 1, -(10**4000), (10**5000 - 1) // 9 * 7],
    ids=lambda n: ("minus-" if n < 0 else "") + f"{abs(n).bit_length()}-bits",
)
def test_integers_keep_their_digits(trovik, root, any_digit_count, number):
    metadata = {"seed": number, "seeds": [number, [number, -1]]}
    run = trovik.Experiment("integers", metadata=metadata)
    run.track(number)
    run.track({"nested": [number, {"again": number}]})
    start, plain, nested = read_records(run.path)
    assert start["value"]["metadata"] == metadata
    assert plain["value"] == number and type(plain["value"]) is int
    assert nested["value"] == {"nested": [number, {"again": number}]}
    # The very digits, not a float that json.loads would also turn back into an int.
    assert read_lines(run.path)[1].endswith(b'"value":' + str(number).encode() + b"}")
