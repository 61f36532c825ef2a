"""The type stubs installed with the wheel: mypy understands the API through them, and they match
the runtime surface."""

import ast
import inspect
import os
import subprocess
import sys

import trovik

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TYPING_DIR = os.path.join(REPO, "tests", "typing")


def installed_stub():
    return os.path.join(os.path.dirname(trovik.__file__), "trovik-stubs", "__init__.pyi")


def mypy(path):
    return subprocess.run(
        [sys.executable, "-m", "mypy", "--no-incremental", "--python-executable", sys.executable,
         "--strict", path],
        capture_output=True, text=True, cwd=TYPING_DIR,
    )


def test_stub_is_installed_beside_the_module():
    assert os.path.isfile(installed_stub())


def test_mypy_accepts_typed_usage():
    result = mypy("usage.py")
    assert result.returncode == 0, result.stdout + result.stderr


def test_mypy_rejects_misuse():
    result = mypy("misuse.py")
    assert result.returncode == 1
    errors = [line for line in result.stdout.splitlines() if ": error:" in line]
    assert [line.split(":")[1] for line in errors] == ["7", "8", "9", "10"], result.stdout


def stub_class():
    with open(installed_stub(), encoding="utf-8") as f:
        module = ast.parse(f.read())
    (cls,) = [node for node in module.body if isinstance(node, ast.ClassDef)]
    return module, cls


def stub_parameters(function):
    args = function.args
    defaults = [None] * (len(args.args) - len(args.defaults)) + list(args.defaults)
    return [(a.arg, d is not None) for a, d in zip(args.args, defaults)]


def test_stub_matches_the_runtime_surface():
    module, cls = stub_class()
    exported = [n for n in module.body if isinstance(n, ast.AnnAssign)]
    assert [n.target.id for n in exported] == ["__all__"] == [
        name for name in dir(trovik) if name == "__all__"
    ]
    assert trovik.__all__ == [cls.name]
    members = {node.name: node for node in cls.body if isinstance(node, ast.FunctionDef)}
    properties = {name for name, node in members.items()
                  if any(getattr(d, "id", None) == "property" for d in node.decorator_list)}
    runtime_properties = {name for name, value in vars(trovik.Experiment).items()
                          if inspect.isdatadescriptor(value) and not name.startswith("__")}
    assert properties == runtime_properties == {"run_id", "name", "path"}

    runtime_new = inspect.signature(trovik.Experiment)
    assert stub_parameters(members["__new__"])[1:] == [
        (p.name, p.default is not inspect.Parameter.empty) for p in runtime_new.parameters.values()
    ]
    for method in ("track", "close", "record_environment", "__enter__", "__exit__"):
        runtime = inspect.signature(getattr(trovik.Experiment, method))
        assert [name for name, _ in stub_parameters(members[method])] == list(runtime.parameters)
        assert stub_parameters(members[method]) == [
            (p.name, p.default is not inspect.Parameter.empty) for p in runtime.parameters.values()
        ]
    public_methods = {name for name, value in vars(trovik.Experiment).items()
                      if callable(value) and not name.startswith("_")}
    assert public_methods == {"track", "close", "record_environment"}
