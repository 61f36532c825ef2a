"""Deterministic values of a given JSON text size, in the shapes that training code tracks."""

from __future__ import annotations

import json
import random
from typing import Callable, Dict, List, Tuple

_WORDS = ("loss", "accuracy", "epoch", "layer", "weights", "bias", "gradient", "norm", "adam",
          "warmup", "cosine", "schedule", "batch", "token", "über", "naïve", "日本語", "🚀")


def _float_block(rng: random.Random) -> dict:
    # Full-precision doubles across magnitudes: the shortest round-trip form is 15-17 digits,
    # with exponents both in and out of the plain-decimal range.
    return {
        "name": f"layer{rng.randrange(1000)}",
        "weights": [rng.gauss(0, 1) * 10 ** rng.randint(-8, 8) for _ in range(64)],
        "bias": rng.random(),
        "step": rng.randrange(1 << 40),
    }


def _string_block(rng: random.Random) -> dict:
    def sentence(words: int) -> str:
        text = " ".join(rng.choice(_WORDS) for _ in range(words))
        # Quotes, backslashes and control characters that json.dumps escapes.
        if rng.random() < 0.3:
            text += ' "quoted" \\path\\to\tfile\n'
        return text

    return {
        "note": sentence(rng.randint(5, 40)),
        "tags": [sentence(2) for _ in range(rng.randint(1, 6))],
        "id": f"{rng.getrandbits(128):032x}",
    }


def _nested_block(rng: random.Random) -> dict:
    def level(depth: int) -> dict:
        node = {
            "lr": rng.random() / 100,
            "units": rng.randrange(4096),
            "active": rng.random() < 0.5,
            "kind": rng.choice(_WORDS),
            "none": None,
        }
        if depth:
            node["children"] = [level(depth - 1) for _ in range(2)]
        return node

    return {"config": level(4), "metrics": {w: rng.random() for w in _WORDS[:8]}}


SHAPES: Dict[str, Callable[[random.Random], dict]] = {
    "floats": _float_block,
    "strings": _string_block,
    "nested": _nested_block,
}


def sized_value(shape: str, text_bytes: int, seed: int = 7,
                distinct: int = 2000) -> Tuple[List[dict], int]:
    """A list of blocks of `shape` whose json.dumps text is just over `text_bytes` long, and the
    exact length of that text.

    At most `distinct` different blocks are made, then repeated: the text and the work of
    converting it are the same as for all-different blocks, and building a 50 MB value stays fast.
    """
    rng = random.Random(seed)
    block = SHAPES[shape]
    pool = []
    value: List[dict] = []
    size = 2  # the list's brackets
    while size < text_bytes:
        if len(pool) < distinct:
            item = block(rng)
            pool.append((item, len(json.dumps(item)) + 2))  # ", " between items
        item, item_size = pool[len(value) % len(pool)]
        value.append(item)
        size += item_size
    return value, size - 2  # no separator after the last item


def flat_value(shape: str, text_bytes: int, seed: int = 7) -> Tuple[list, int]:
    """A flat list of scalars (1 KiB strings or doubles) with a text just over `text_bytes`, and
    the exact length of that text.

    These are the two extremes for memory: few large leaves, or very many small ones.
    """
    rng = random.Random(seed)
    if shape == "strings":
        piece = "".join(rng.choice("abcdefghijklmnopqrstuvwxyz ") for _ in range(1024))
        count = text_bytes // (len(piece) + 4) + 1
        return [piece] * count, count * (len(piece) + 4)
    if shape == "floats":
        pool = [rng.random() for _ in range(10000)]
        per_item = len(json.dumps(pool)) / len(pool)
        count = int(text_bytes / per_item) + 1
        value = (pool * (count // len(pool) + 1))[:count]
        # A finite float's JSON text is its repr; items are joined by ", ".
        return value, sum(len(repr(x)) for x in value) + 2 * count
    raise ValueError(shape)
