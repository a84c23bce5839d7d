"""One planted fault: a small, plausible mistake in the product code.

`anchor` must occur exactly once across engine/ and src/; planting replaces
it with `replacement`. `why` says what a user would suffer from it.
"""
from dataclasses import dataclass


@dataclass(frozen=True)
class Fault:
    name: str
    why: str
    anchor: str
    replacement: str
