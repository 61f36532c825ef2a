"""Calls mypy must reject: a wrong note type, a missing name, writing a property."""

import trovik

run = trovik.Experiment("typed")
run.track(1, note=5)
trovik.Experiment()
run.name = "other"
