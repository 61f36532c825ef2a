"""Argument binding and conversion of Experiment() and track(): every message, the order of the
checks, and that a rejected call leaves nothing behind."""

import os

import pytest

from conftest import read_records

NEW = "Experiment.__new__()"
TRACK = "Experiment.track()"


class Outer:
    class Inner:
        pass


class UnnamedMeta(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise RuntimeError("no name")
        return super().__getattribute__(name)


class Unnamed(metaclass=UnnamedMeta):
    pass


class Text(str):
    def __str__(self):
        return "not the text"

    def encode(self, *args, **kwargs):
        return b"not the text"


def conversion(parameter, type_name):
    return f"argument '{parameter}': '{type_name}' object cannot be converted to 'PyString'"


BINDING_ERRORS = [
    ((), {}, "missing 1 required positional argument: '{0}'"),
    (("a", None, 3), {}, "takes from 1 to 2 positional arguments but 3 were given"),
    (("a", None, 3, 4), {}, "takes from 1 to 2 positional arguments but 4 were given"),
    (("a", None, 3), {"bogus": 1}, "takes from 1 to 2 positional arguments but 3 were given"),
    (("a",), {"{0}": "b"}, "got multiple values for argument '{0}'"),
    (("a", None), {"{1}": None}, "got multiple values for argument '{1}'"),
    (("a",), {"tags": 1}, "got an unexpected keyword argument 'tags'"),
    (("a",), {"\udc80": 1}, "got an unexpected keyword argument '\udc80'"),
    ((), {"{1}": None}, "missing 1 required positional argument: '{0}'"),
    # The first offending key ends the walk, and binding comes before any conversion.
    ((), {"{0}": 5, "tags": 1, "{1}": 5}, "got an unexpected keyword argument 'tags'"),
    ((), {"other": 1, "tags": 1}, "got an unexpected keyword argument 'other'"),
    ((5,), {"{0}": 5}, "got multiple values for argument '{0}'"),
    ((), {"{1}": 5}, "missing 1 required positional argument: '{0}'"),
]


def fill(args, kwargs, parameters):
    return args, {key.format(*parameters): value for key, value in kwargs.items()}


@pytest.mark.parametrize("args, kwargs, message", BINDING_ERRORS)
def test_constructor_binding_errors(trovik, workdir, args, kwargs, message):
    args, kwargs = fill(args, kwargs, ("name", "metadata"))
    with pytest.raises(TypeError) as raised:
        trovik.Experiment(*args, **kwargs)
    assert raised.value.args == (f"{NEW} {message.format('name', 'metadata')}",)
    assert os.listdir(workdir) == []


@pytest.mark.parametrize("args, kwargs, message", BINDING_ERRORS)
def test_track_binding_errors(trovik, root, args, kwargs, message):
    run = trovik.Experiment("demo")
    args, kwargs = fill(args, kwargs, ("value", "note"))
    with pytest.raises(TypeError) as raised:
        run.track(*args, **kwargs)
    assert raised.value.args == (f"{TRACK} {message.format('value', 'note')}",)
    assert len(read_records(run.path)) == 1


WRONG_TEXT = [
    (42, "int"),
    (None, "NoneType"),
    (b"demo", "bytes"),
    (["demo"], "list"),
    (Outer.Inner(), "Outer.Inner"),
    (Unnamed(), "<failed to extract type name>"),
]


@pytest.mark.parametrize("value, type_name", WRONG_TEXT)
def test_name_must_be_text(trovik, workdir, value, type_name):
    with pytest.raises(TypeError) as raised:
        trovik.Experiment(value)
    assert type(raised.value) is TypeError
    assert raised.value.args == (conversion("name", type_name),)
    assert raised.value.__cause__ is None
    assert os.listdir(workdir) == []


@pytest.mark.parametrize("value, type_name", [case for case in WRONG_TEXT if case[0] is not None])
def test_note_must_be_text_or_none(trovik, root, value, type_name):
    run = trovik.Experiment("demo")
    with pytest.raises(TypeError) as raised:
        run.track(1, note=value)
    assert raised.value.args == (conversion("note", type_name),)
    assert raised.value.__cause__ is None
    assert len(read_records(run.path)) == 1


def test_note_is_checked_before_the_value_is_converted(trovik, root):
    run = trovik.Experiment("demo")
    with pytest.raises(TypeError, match="^argument 'note'"):
        run.track(object(), note=5)
    with pytest.raises(TypeError, match="not JSON serializable"):
        run.track(object(), note="fine")
    assert len(read_records(run.path)) == 1


@pytest.mark.parametrize("text", ["\ud800", "ok\udfff", "\udc80tail"])
def test_lone_surrogates_raise_the_interpreters_encode_error(trovik, root, text):
    with pytest.raises(UnicodeEncodeError) as raised:
        trovik.Experiment(text)
    assert raised.value.reason == "surrogates not allowed"
    assert not root.exists()
    run = trovik.Experiment("demo")
    with pytest.raises(UnicodeEncodeError):
        run.track(1, note=text)
    assert len(read_records(run.path)) == 1


@pytest.mark.parametrize(
    "call",
    [
        lambda e: e("demo"),
        lambda e: e("demo", None),
        lambda e: e("demo", metadata=None),
        lambda e: e(metadata=None, name="demo"),
    ],
)
def test_omitted_and_none_metadata_are_the_same(trovik, root, call):
    run = call(trovik.Experiment)
    assert "metadata" not in read_records(run.path)[0]["value"]


def test_metadata_by_keyword_and_by_position(trovik, root):
    by_keyword = trovik.Experiment(metadata={"k": [1]}, name="demo")
    by_position = trovik.Experiment("demo", {"k": [1]})
    for run in (by_keyword, by_position):
        assert read_records(run.path)[0]["value"]["metadata"] == {"k": [1]}


def test_track_arguments_reach_the_record(trovik, root):
    run = trovik.Experiment("demo")
    assert run.track(1) is None
    assert run.track(2, None) is None
    assert run.track(note=None, value=3) is None
    assert run.track(4, note="") is None
    assert run.track(value=5, note=Text("plain")) is None
    records = read_records(run.path)[1:]
    assert [record["value"] for record in records] == [1, 2, 3, 4, 5]
    assert [record.get("note", "absent") for record in records] == [
        "absent", "absent", "absent", "", "plain",
    ]


@pytest.mark.parametrize("name", ["demo", " demo ", "é ☃ 𝄞", "tab\tinside", "\u200b"])
def test_name_is_stored_exactly_and_returned_as_plain_str(trovik, root, name):
    for given in (name, Text(name)):
        run = trovik.Experiment(given)
        assert type(run.name) is str
        assert run.name == name
        assert read_records(run.path)[0]["experiment_name"] == name


@pytest.mark.parametrize("attribute", ["run_id", "name", "path"])
def test_properties_are_read_only(trovik, root, attribute):
    run = trovik.Experiment("demo")
    before = getattr(run, attribute)
    assert type(before) is str
    with pytest.raises(AttributeError):
        setattr(run, attribute, "changed")
    with pytest.raises(AttributeError):
        delattr(run, attribute)
    assert getattr(run, attribute) == before


@pytest.mark.parametrize("attribute", ["run_id", "name", "path"])
def test_property_descriptor_rejects_other_objects(trovik, attribute):
    with pytest.raises(TypeError, match="descriptor"):
        vars(trovik.Experiment)[attribute].__get__(5)


def test_track_through_the_class_rejects_other_objects(trovik, root):
    run = trovik.Experiment("demo")
    with pytest.raises(TypeError, match="descriptor 'track'"):
        trovik.Experiment.track(5, 1)
    trovik.Experiment.track(run, 1)
    assert [record["kind"] for record in read_records(run.path)] == ["run_start", "track"]
