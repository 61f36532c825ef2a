"""Calls mypy must reject: a wrong note type, a missing name, writing a property, an argument
to close()."""

import trovik

run = trovik.Experiment("typed")
run.track(1, note=5)
trovik.Experiment()
run.name = "other"
run.close(True)
