"""The module object and the Experiment type: attributes, introspection, what the type refuses,
the once-per-process initialisation and loading under every other interpreter on the machine."""

import gc
import glob
import inspect
import os
import re
import shutil
import subprocess
import sys
import weakref

import pytest

from conftest import run_python

# Interpreters before 3.10 drop the text signature from the docstring of a type built from a spec.
CLASS_SIGNATURE_SHOWN = sys.version_info >= (3, 10)

STANDARD_MODULE_ATTRIBUTES = {
    "__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__",
}


def test_module_attributes_are_experiment_all_and_the_private_restore(trovik):
    assert trovik.__all__ == ["Experiment"]
    assert type(trovik.__all__) is list
    # _restore is private: pickle finds Experiment's reconstructor by it.
    assert set(vars(trovik)) - STANDARD_MODULE_ATTRIBUTES == {"Experiment", "__all__", "_restore"}
    assert trovik.__doc__ == ""
    assert not any(
        isinstance(value, type) and issubclass(value, BaseException)
        for value in vars(trovik).values()
    )


def test_type_names_and_documentation(trovik):
    experiment = trovik.Experiment
    assert experiment.__name__ == "Experiment"
    assert experiment.__qualname__ == "Experiment"
    assert experiment.__module__ == "builtins"
    assert repr(experiment) == "<class 'builtins.Experiment'>"
    assert experiment.__doc__ == ""
    if CLASS_SIGNATURE_SHOWN:
        assert experiment.__text_signature__ == "(name, metadata=None)"
    assert experiment.__mro__ == (experiment, object)
    assert experiment.track.__doc__ is None or experiment.track.__doc__ == ""
    assert experiment.track.__text_signature__ == "($self, value, note=None)"


def test_members_and_their_order(trovik):
    own = [name for name in vars(trovik.Experiment) if not name.startswith("__")]
    assert own == ["track", "close", "record_environment", "run_id", "name", "path"]
    for name in ("run_id", "name", "path"):
        assert inspect.isdatadescriptor(vars(trovik.Experiment)[name])
        assert vars(trovik.Experiment)[name].__doc__ == ""


def test_signatures(trovik, root):
    if CLASS_SIGNATURE_SHOWN:
        assert str(inspect.signature(trovik.Experiment)) == "(name, metadata=None)"
    track = inspect.signature(trovik.Experiment.track)
    assert list(track.parameters) == ["self", "value", "note"]
    assert track.parameters["value"].default is inspect.Parameter.empty
    assert track.parameters["note"].default is None
    assert str(inspect.signature(trovik.Experiment("demo").track)) == "(value, note=None)"


def test_not_an_acceptable_base_type(trovik):
    with pytest.raises(TypeError, match="is not an acceptable base type"):
        type("Derived", (trovik.Experiment,), {})


def test_instances_have_no_weakref_no_dict_and_no_gc(trovik, root):
    run = trovik.Experiment("demo")
    with pytest.raises(TypeError, match="weak reference"):
        weakref.ref(run)
    assert not hasattr(run, "__dict__")
    with pytest.raises(AttributeError):
        run.extra = 1
    assert not gc.is_tracked(run)


def test_destroyed_instances_release_their_type(trovik, root):
    experiment = trovik.Experiment
    experiment("warm-up")
    before = sys.getrefcount(experiment)
    runs = [experiment("demo") for _ in range(10)]
    assert sys.getrefcount(experiment) >= before + 10
    del runs
    assert sys.getrefcount(experiment) == before


SECOND_INITIALISATION = """
import importlib.machinery, importlib.util, sys, trovik
loader = importlib.machinery.ExtensionFileLoader("trovik", trovik.__file__)
spec = importlib.util.spec_from_loader("trovik", loader)
for attempt in range(2):
    try:
        importlib.util.module_from_spec(spec)
    except ImportError as error:
        print(type(error).__name__, repr(error.args))
    else:
        print("loaded again")
print(sys.modules["trovik"] is trovik, trovik.__all__)
print(trovik.Experiment("after").name)
"""


def test_second_initialisation_fails_and_the_first_module_stays(tmp_path):
    result = run_python(SECOND_INITIALISATION, cwd=tmp_path, env={"TROVIK_DIR": "root"})
    message = (
        "PyO3 modules compiled for CPython 3.8 or older may only be initialized once per "
        "interpreter process"
    )
    assert result.stdout.decode().splitlines() == [
        f"ImportError ({message!r},)",
        f"ImportError ({message!r},)",
        "True ['Experiment']",
        "after",
    ]
    assert len(os.listdir(tmp_path / "root" / "runs")) == 1


def other_interpreters():
    """Every CPython 3.8 or later that pyenv has installed, except the one running the tests."""
    pyenv = shutil.which("pyenv")
    if pyenv is None:
        return []
    root = subprocess.run([pyenv, "root"], capture_output=True, text=True).stdout.strip()
    found = []
    for path in sorted(glob.glob(os.path.join(root, "versions", "*", "bin", "python3.*"))):
        match = re.fullmatch(r"python3\.(\d+)", os.path.basename(path))
        if match and int(match.group(1)) >= 8 and int(match.group(1)) != sys.version_info[1]:
            found.append(path)
    return found


EVERY_INTERPRETER = """
import inspect, json, sys, trovik
run = trovik.Experiment("elsewhere", metadata={"python": sys.version_info[1]})
run.track([1, 2.5, None], note="n")
try:
    run.track(1, note=5)
except TypeError as error:
    print(error)
if sys.version_info >= (3, 10):
    assert str(inspect.signature(trovik.Experiment)) == "(name, metadata=None)"
print(inspect.signature(run.track), trovik.__all__, trovik.Experiment.__module__)
with open(run.path) as records:
    print([json.loads(line)["kind"] for line in records])
"""


@pytest.mark.parametrize("python", other_interpreters() or [None])
def test_the_same_module_loads_in_other_interpreters(python, tmp_path):
    if python is None:
        pytest.skip("no other CPython 3.8 or later found through pyenv")
    result = run_python(EVERY_INTERPRETER, executable=python, cwd=tmp_path,
                        env={"TROVIK_DIR": None})
    assert result.stdout.decode().splitlines() == [
        "argument 'note': 'int' object cannot be converted to 'PyString'",
        "(value, note=None) ['Experiment'] builtins",
        "['run_start', 'track']",
    ]
