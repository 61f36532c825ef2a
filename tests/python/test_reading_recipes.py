"""The README's recipes for reading runs back, run as written on runs whose metadata keys differ and
whose tracked values gain a key late in a file: every value must come back exactly as tracked."""

import json
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest
import trovik

README = Path(__file__).parents[2] / "README.md"

# 17-digit floats that a reader parsing with less than correct rounding gets wrong.
LOSSES = [0.055364750824420376, 0.30000000000000004, 0.3333333333333333, 2.718281828459045]
# Runs with keys of their own come after more files than DuckDB samples for its schema (32).
RUNS = [(f"sweep-{i}", {"lr": 0.001 * (i + 1)}, 4) for i in range(34)] + [
    ("batched", {"lr": 0.01, "batch": 64}, 2),
    ("long", {"optimizer": "adam", "seed": 2**31}, 150),
]


def readme_recipes():
    """The Python blocks of the README's section on reading runs back, keyed by the reader they
    import."""
    text = README.read_text(encoding="utf-8")
    section = text.split("\n## Reading runs back\n", 1)[1].split("\n## ", 1)[0]
    recipes = {}
    for block in re.findall(r"```python\n(.*?)```", section, re.S):
        imports = [name for name in re.findall(r"^import (\w+)", block, re.M) if name != "glob"]
        recipes[imports[0]] = block
    return recipes


@pytest.fixture(scope="module")
def made_runs(tmp_path_factory):
    """The runs above, made once, under .trovik in a directory of their own: (directory, name ->
    (run id, metadata, losses)). Files are renamed to sort in the order made; readers find runs by
    their content."""
    directory = tmp_path_factory.mktemp("recipes")
    made = {}
    with pytest.MonkeyPatch.context() as patch:
        patch.setenv("TROVIK_DIR", str(directory / ".trovik"))
        for index, (name, metadata, steps) in enumerate(RUNS):
            run = trovik.Experiment(name, metadata=metadata)
            losses = [LOSSES[step % len(LOSSES)] for step in range(steps)]
            for step, loss in enumerate(losses):
                value = {"step": step, "loss": loss}
                if step > 120:
                    value["grad_norm"] = 1.5  # a key first seen past the readers' usual sample
                run.track(value)
            os.rename(run.path, os.path.join(os.path.dirname(run.path), f"{index:02d}.jsonl"))
            made[name] = (run.run_id, metadata, losses)
    return directory, made


@pytest.fixture
def runs(made_runs, monkeypatch):
    directory, made = made_runs
    monkeypatch.chdir(directory)
    return made


def check_json(namespace, runs):
    for run_id, metadata, losses in runs.values():
        records = namespace["runs"][run_id]
        assert records[0]["value"]["metadata"] == metadata
        assert [r["value"]["loss"] for r in records[1:]] == losses


def check_pandas(namespace, runs):
    tracks = namespace["tracks"]
    for run_id, _, losses in runs.values():
        of_run = tracks[tracks.run_id == run_id].sort_values("step")
        assert of_run["loss"].tolist() == losses
    assert tracks["grad_norm"].notna().sum() == 150 - 121


def check_duckdb(namespace, runs):
    summary = {str(row[0]): row[1:] for row in namespace["summary"]}
    assert len(summary) == len(runs)
    for name, (run_id, metadata, losses) in runs.items():
        found_name, found_metadata, last_loss = summary[run_id]
        assert found_name == name
        assert {k: v for k, v in found_metadata.items() if v is not None} == metadata
        assert last_loss == losses[-1]


def check_polars(namespace, runs):
    tracks = namespace["tracks"]
    for run_id, _, losses in runs.values():
        of_run = tracks.filter(tracks["run_id"] == run_id).sort("step")
        assert of_run["loss"].to_list() == losses
    assert tracks["grad_norm"].drop_nulls().len() == 150 - 121


CHECKS = {"json": check_json, "pandas": check_pandas, "duckdb": check_duckdb,
          "polars": check_polars}


def test_every_recipe_is_checked():
    assert set(readme_recipes()) == set(CHECKS)


@pytest.mark.parametrize("library", sorted(CHECKS))
def test_recipe_reads_every_value_exactly(library, runs):
    namespace = {}
    exec(compile(readme_recipes()[library], f"README.md ({library})", "exec"), namespace)
    CHECKS[library](namespace, runs)


def test_pandas_without_precise_float_alters_17_digit_floats(runs):
    # Why the README insists on precise_float=True: without it the same reading loses digits.
    recipe = readme_recipes()["pandas"].replace("precise_float=True", "precise_float=False")
    namespace = {}
    exec(recipe, namespace)
    assert LOSSES[0] not in namespace["tracks"]["loss"].tolist()


READ_RUN = Path(__file__).parents[2] / "examples" / "read_run.py"


def test_read_run_prints_a_table_and_skips_a_torn_line(runs, tmp_path):
    run_id, metadata, losses = runs["batched"]
    torn = tmp_path / "torn.jsonl"
    torn.write_bytes(Path(".trovik/runs/34.jsonl").read_bytes() + b'{"kind":"tr')
    result = subprocess.run([sys.executable, str(READ_RUN), str(torn)], capture_output=True,
                            text=True, check=True)
    lines = result.stdout.splitlines()
    assert lines[0] == f"experiment 'batched', run {run_id}"
    assert lines[2] == "metadata " + json.dumps(metadata, sort_keys=True)
    assert lines[4].split() == ["elapsed", "ms", "note", "loss", "step"]
    assert [line.split()[-2] for line in lines[5:]] == [repr(loss) for loss in losses]
    assert "1 line(s) skipped" in result.stderr


@pytest.mark.parametrize("argument, message", [
    ([], "the following arguments are required: run_file"),
    (["missing.jsonl"], "cannot read missing.jsonl: No such file or directory"),
    (["README.md"], "README.md is not a trovik run file"),
])
def test_read_run_rejects_a_bad_argument(argument, message, tmp_path):
    (tmp_path / "README.md").write_text("# not a run\n")
    result = subprocess.run([sys.executable, str(READ_RUN)] + argument, capture_output=True,
                            text=True, cwd=tmp_path)
    assert result.returncode == 2
    assert message in result.stderr
