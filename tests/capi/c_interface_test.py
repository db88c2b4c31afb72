"""The C interface from Python's ctypes, as a script of the suite would use
it: UTF-16 text in and out, tasks as JSON, the error text of the handle.
Usage: c_interface_test.py PATH_OF_THE_LIBRARY
"""
import ctypes
import json
import sys
import tempfile

lib = ctypes.CDLL(sys.argv[1])
Text = ctypes.POINTER(ctypes.c_uint16)


def utf16(text):
    """A NUL-terminated UTF-16 buffer holding text."""
    data = text.encode("utf-16-le") + b"\0\0"
    return ctypes.cast(ctypes.create_string_buffer(data, len(data)), Text)


def from_utf16(pointer):
    units = []
    while pointer[len(units)] != 0:
        units.append(pointer[len(units)])
    return b"".join(u.to_bytes(2, "little") for u in units).decode("utf-16-le")


lib.QZNVGeZhuanDB_Create.restype = ctypes.c_void_p
lib.QZNVGeZhuanDB_Destroy.argtypes = [ctypes.c_void_p]
lib.QZNVGeZhuanDB_LastError.argtypes = [ctypes.c_void_p]
lib.QZNVGeZhuanDB_LastError.restype = Text
lib.QZNVGeZhuanDB_LastErrorState.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t]
lib.QZNVGeZhuanDB_FreeText.argtypes = [Text]
lib.QZNVGeZhuanDB_Open.argtypes = [ctypes.c_void_p, ctypes.c_int, Text, Text, Text, Text]
for name in ("CreateTables", "Close"):
    getattr(lib, "QZNVGeZhuanDB_" + name).argtypes = [ctypes.c_void_p]
lib.QZNVGeZhuanDB_AddTasks.argtypes = [ctypes.c_void_p, Text]
lib.QZNVGeZhuanDB_GetTasks.argtypes = [ctypes.c_void_p, Text, ctypes.POINTER(Text)]


def get_tasks(db, condition=""):
    out = Text()
    if not lib.QZNVGeZhuanDB_GetTasks(db, utf16(condition), ctypes.byref(out)):
        return None
    try:
        return json.loads(from_utf16(out))
    finally:
        lib.QZNVGeZhuanDB_FreeText(out)


def last_error_state(db):
    """The kind of the last answer, its SQLSTATE and LastError's text."""
    state = ctypes.create_string_buffer(6)
    kind = lib.QZNVGeZhuanDB_LastErrorState(db, state, len(state))
    return kind, state.value.decode("ascii"), from_utf16(lib.QZNVGeZhuanDB_LastError(db))


OK, NOTHING_FOUND, REFUSED, DATABASE = 0, 1, 2, 3

folder = tempfile.TemporaryDirectory()
db = lib.QZNVGeZhuanDB_Create()
# A failed open says what the engine said, not where the reason went.
assert lib.QZNVGeZhuanDB_Open(db, 0, utf16(folder.name + "/missing/deeper"), utf16("x.db"), None, None) == 0
kind, state, why = last_error_state(db)
assert kind == DATABASE and "missing" in why and "debug output" not in why, (kind, why)
assert lib.QZNVGeZhuanDB_Open(db, 0, utf16(folder.name), utf16("ctypes.db"), None, None) == 1
assert lib.QZNVGeZhuanDB_CreateTables(db) == 1
name = "\U0001F3AC 新闻联播 1998"
task = {"guidTaskID": "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9", "strTaskName": name,
        "odtTaskBeginDateTime": "1998-05-01 19:00:00",
        "arrItems": [{"guidTask": "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9", "strItemName": "片头", "dwTrimOut": 250}]}
assert lib.QZNVGeZhuanDB_AddTasks(db, utf16(json.dumps([task]))) == 1, from_utf16(lib.QZNVGeZhuanDB_LastError(db))
tasks = get_tasks(db)
assert len(tasks) == 1, tasks
assert tasks[0]["strTaskName"] == name, tasks[0]["strTaskName"]
assert tasks[0]["odtTaskBeginDateTime"] == "1998-05-01T19:00:00"
assert tasks[0]["arrItems"][0]["strItemName"] == "片头"
assert tasks[0]["arrItems"][0]["dwTrimOut"] == 250
assert get_tasks(db, "strTaskName = 'none'") is None
assert last_error_state(db) == (NOTHING_FOUND, "", "nothing found"), last_error_state(db)
assert get_tasks(db, "strTaskName = ") is None
kind, state, why = last_error_state(db)
assert kind == DATABASE and "incomplete input" in why, (kind, why)
assert lib.QZNVGeZhuanDB_AddTasks(db, utf16('[{"nIndex": 1}]')) == 0
kind, state, why = last_error_state(db)
assert kind == REFUSED and "nIndex" in why, (kind, why)
assert lib.QZNVGeZhuanDB_AddTasks(db, utf16('[{"strTaskName": "a\\u0000b"}]')) == 0
assert last_error_state(db)[:2] == (DATABASE, "22021"), last_error_state(db)

# Text that cannot be kept whole is refused, and nothing takes its place.
buffer = (ctypes.c_uint16 * 40)(*([ord(c) for c in '[{"strTaskName": "x'] + [0xDC00] + [ord(c) for c in '"}]'] + [0]))
assert lib.QZNVGeZhuanDB_AddTasks(db, ctypes.cast(buffer, Text)) == 0
kind, state, why = last_error_state(db)
assert kind == REFUSED and "surrogate" in why, (kind, why)
assert len(get_tasks(db)) == 1
assert lib.QZNVGeZhuanDB_Close(db) == 1
lib.QZNVGeZhuanDB_Destroy(db)
print("C interface from ctypes: every check held")
