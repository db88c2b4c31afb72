"""The Python module over the C interface, against the built library
($QZNVGEZHUANDB_LIBRARY) and, when $QZ_BUILD_DIR names the build, as
installed from it."""
import os
import subprocess
import sys
import uuid

import pytest

import qznvgezhuandb as qz


@pytest.fixture
def db(tmp_path):
    with qz.open(str(tmp_path), "python.db") as database:
        database.create_tables()
        database.add_sample_catalogue()
        yield database


@pytest.fixture
def store(tmp_path, monkeypatch):
    """A settings store of the test's own."""
    path = tmp_path / "dbsettings.ini"
    monkeypatch.setenv("QZ_DB_SETTINGS", str(path))
    return path


def test_tasks_round_trip_as_dicts(db):
    task_id, item_id = uuid.uuid4(), uuid.uuid4()
    # Longer than a page of UTF-16, outside the BMP: read back whole.
    name = "\U0001F3AC 新闻联播 " + "x" * 5000
    db.add_tasks([{"guidTaskID": task_id, "strTaskName": name, "odtTaskBeginDateTime": "1998-05-01 19:00:00",
                   "arrItems": [{"guidItem": item_id, "strItemName": "片头", "dwTrimOut": 250},
                                {"strItemName": "正片"}]},
                  {"guidTaskID": str(uuid.uuid4()), "strTaskName": "other"}])
    found = db.tasks("strTaskName like '\U0001F3AC%'")
    assert len(found) == 1
    task = found[0]
    assert isinstance(task, dict)
    assert task["guidTaskID"] == str(task_id).upper()
    assert task["strTaskName"] == name
    assert task["odtTaskBeginDateTime"] == "1998-05-01T19:00:00"
    assert [i["strItemName"] for i in task["arrItems"]] == ["片头", "正片"]
    assert all(i["guidTask"] == task["guidTaskID"] for i in task["arrItems"])
    assert task["arrItems"][0]["guidItem"] == str(item_id).upper()
    assert len(db.tasks()) == 2
    assert db.tasks("strTaskName = 'none'") == []

    task["strTaskName"] = "renamed"
    task["arrItems"] = [{"strItemName": "only"}]
    db.modify_task(task, with_items=True)
    assert [t["strTaskName"] for t in db.tasks("guidTaskID = '%s'" % task["guidTaskID"])] == ["renamed"]
    assert [i["strItemName"] for i in db.items("guidTask = '%s'" % task["guidTaskID"])] == ["only"]

    db.delete_task(task_id)
    assert db.tasks("strTaskName = 'renamed'") == []
    assert db.items("guidTask = '%s'" % task["guidTaskID"]) == []
    assert len(db.tasks()) == 1
    assert db.default_tape()["bIfDefault"] == 1
    assert len(db.tape_groups()) >= 2


def test_every_failure_raises_with_the_reason(db, tmp_path):
    with pytest.raises(qz.Error) as refused:
        db.add_tasks([{"strTaskNmae": "typo"}])
    assert refused.value.kind == qz.REFUSED and "strTaskNmae" in refused.value.reason
    with pytest.raises(qz.Error) as engine:
        db.tasks("no_such_column = 1")
    assert engine.value.kind == qz.DATABASE and "no_such_column" in str(engine.value)
    with pytest.raises(qz.Error) as state:
        db.add_tasks([{"strTaskName": "a\0b"}])
    assert state.value.sql_state == "22021" and "22021" in str(state.value)
    with pytest.raises(qz.NothingFound) as nothing:
        db.modify_task({"guidTaskID": str(uuid.uuid4())})
    assert nothing.value.kind == qz.NOTHING_FOUND
    # A lone surrogate is refused, never stored replaced.
    with pytest.raises(qz.Error) as lone:
        db.add_tasks([{"strTaskName": "x\udc00y"}])
    assert lone.value.kind == qz.REFUSED and "surrogate" in lone.value.reason
    with pytest.raises(TypeError):
        db.add_tasks([{"strTaskName": object()}])
    assert db.tasks() == []
    # A file that cannot be opened says why, and nothing is left open.
    with pytest.raises(qz.Error) as unopened:
        qz.open(str(tmp_path / "missing" / "deeper"), "x.db")
    assert unopened.value.kind == qz.DATABASE and "missing" in unopened.value.reason
    db.close()
    with pytest.raises(qz.Error):
        db.tasks()


def test_settings_saved_read_and_opened_by_name(store, tmp_path):
    six = qz.settings()
    assert [s["strSettingName"] for s in six] == list(qz.SETTING_NAMES)
    assert all(s["strCaption"] for s in six)
    with pytest.raises(qz.Error) as incomplete:
        qz.open_setting("QZNVCENTERDBSetting")
    assert incomplete.value.kind == qz.REFUSED and "incomplete" in incomplete.value.reason

    qz.save_setting({"strSettingName": "QZNVCENTERDBSetting", "nDBType": 0, "strConnect1": str(tmp_path),
                     "strConnect2": "由设置.db", "strConnect3": "用户"})
    saved = qz.setting("qznvcenterdbsetting")
    assert saved["strSettingName"] == "QZNVCENTERDBSetting"
    assert (saved["nDBType"], saved["strConnect1"], saved["strConnect2"], saved["strConnect3"],
            saved["strConnect4"]) == (0, str(tmp_path), "由设置.db", "用户", "")
    assert qz.setting("CommonDataDBSetting")["strConnect1"] == ""
    with qz.open_setting("QZNVCENTERDBSetting") as db:
        db.create_tables()
        db.add_task({"strTaskName": "by setting"})
    assert (tmp_path / "由设置.db").exists()

    with pytest.raises(qz.Error) as unknown:
        qz.setting("NoSuchSetting")
    assert "QZNVCENTERDBSetting" in unknown.value.reason
    with pytest.raises(qz.Error) as line_break:
        qz.save_setting({"strSettingName": "QZNVCENTERDBSetting", "strConnect1": "a\nb", "strConnect2": "x"})
    assert line_break.value.kind == qz.REFUSED
    assert qz.setting("QZNVCENTERDBSetting")["strConnect2"] == "由设置.db"
    if sys.platform != "win32":
        with pytest.raises(qz.Error) as no_dialog:
            qz.show_settings_dialog()
        assert no_dialog.value.kind == qz.REFUSED and "no settings dialog" in no_dialog.value.reason


def test_the_installed_module_finds_its_library(tmp_path):
    build = os.environ.get("QZ_BUILD_DIR")
    if not build:
        pytest.skip("QZ_BUILD_DIR names no build to install")
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", build, "--prefix", str(prefix)], check=True, stdout=subprocess.DEVNULL)
    module = prefix / "share" / "qz" / "python"
    assert (module / "qznvgezhuandb.py").exists()
    environment = {k: v for k, v in os.environ.items() if k != "QZNVGEZHUANDB_LIBRARY"}
    environment["PYTHONPATH"] = str(module)
    script = ("import qznvgezhuandb as qz, uuid\n"
              "with qz.open(%r, 'installed.db') as db:\n"
              "    db.create_tables()\n"
              "    guid = uuid.uuid4()\n"
              "    db.add_task({'guidTaskID': guid, 'strTaskName': 'installed'})\n"
              "    db.delete_task(guid)\n"
              "    print(qz._library_path(None))\n") % str(tmp_path)
    run = subprocess.run([sys.executable, "-c", script], env=environment, cwd=str(tmp_path),
                         stdout=subprocess.PIPE, universal_newlines=True, check=True)
    assert run.stdout.strip().startswith(str(prefix))


def test_the_readme_example_runs_twice(tmp_path, capsys):
    readme = open(os.path.join(os.path.dirname(__file__), "..", "..", "README.md"), encoding="utf-8").read()
    start = readme.index("```python\nimport uuid\nimport qznvgezhuandb")
    example = readme[start + len("```python\n"):readme.index("```\n", start + 10)]
    assert '"/data"' in example
    example = example.replace('"/data"', repr(str(tmp_path)))
    for _ in range(2):
        exec(compile(example, "README.md", "exec"), {})
    printed = capsys.readouterr().out.splitlines()
    assert len(printed) == 4 and "Betacam to XDCAM 1" in printed[0] and "no_such_column" in printed[1]
    with qz.open(str(tmp_path), "gezhuan.db") as db:
        assert db.tasks() == []
