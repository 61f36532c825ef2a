"""Integers of any size are recorded with exactly the digits json.dumps wrote, in tracked values
and in metadata; only a number with a fraction or an exponent can be out of range."""

import json
import random
import sys
import uuid

import pytest

from conftest import read_lines, read_records

RNG = random.Random(20261208)

INTEGERS = [
    2**63,
    -(2**63),
    2**63 - 1,
    -(2**63) - 1,
    2**64 - 1,
    2**64,
    -(2**64),
    10**20 + 1,
    -(10**20 + 1),
    uuid.UUID(int=RNG.getrandbits(128)).int,
    RNG.getrandbits(128),  # what numpy's SeedSequence().entropy holds
    2**1024 + 1,  # beyond the largest double
    10**4000,
    -(10**4000) - 7,
]


@pytest.fixture
def any_digit_count():
    """Python 3.11+ caps int <-> str conversions at 4300 digits unless told otherwise."""
    if not hasattr(sys, "set_int_max_str_digits"):
        yield
        return
    previous = sys.get_int_max_str_digits()
    sys.set_int_max_str_digits(0)
    yield
    sys.set_int_max_str_digits(previous)


@pytest.mark.parametrize("number", INTEGERS, ids=lambda n: f"{str(n)[:12]}..{len(str(n))}")
def test_integers_keep_their_digits(trovik, root, number):
    metadata = {"seed": number, "seeds": [number, [number, -1]]}
    run = trovik.Experiment("integers", metadata=metadata)
    run.track(number)
    run.track({"nested": [number, {"again": number}], "small": 3})
    start, plain, nested = read_records(run.path)
    assert start["value"]["metadata"] == metadata
    assert plain["value"] == number and type(plain["value"]) is int
    assert nested["value"] == {"nested": [number, {"again": number}], "small": 3}
    # The very digits, not a float that json.loads would also turn back into an int.
    digits = str(number).encode()
    assert read_lines(run.path)[1].endswith(b'"value":' + digits + b"}")


def test_five_thousand_digits(trovik, root, any_digit_count):
    number = int("9" * 4999 + "7")
    run = trovik.Experiment("wide", metadata={"id": -number})
    run.track([number])
    start, tracked = read_records(run.path)
    assert start["value"]["metadata"]["id"] == -number
    assert tracked["value"] == [number]


@pytest.mark.parametrize(
    "dumps_text, message",
    [
        ("1" + "0" * 309 + ".0", "number out of range at line 1 column 312"),
        ("[1e309]", "number out of range at line 1 column 6"),
        ("-" + "9" * 400 + "e0", "number out of range at line 1 column 403"),
    ],
)
def test_only_fractions_and_exponents_are_out_of_range(trovik, root, monkeypatch, dumps_text,
                                                        message):
    run = trovik.Experiment("range")
    monkeypatch.setattr(json, "dumps", lambda value: dumps_text)
    with pytest.raises(ValueError) as caught:
        run.track(1)
    assert caught.value.args == (message,)
    assert len(read_records(run.path)) == 1
