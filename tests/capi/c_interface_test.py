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


folder = tempfile.TemporaryDirectory()
db = lib.QZNVGeZhuanDB_Create()
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
assert from_utf16(lib.QZNVGeZhuanDB_LastError(db)) != ""
assert lib.QZNVGeZhuanDB_AddTasks(db, utf16('[{"nIndex": 1}]')) == 0
assert "nIndex" in from_utf16(lib.QZNVGeZhuanDB_LastError(db))
assert lib.QZNVGeZhuanDB_Close(db) == 1
lib.QZNVGeZhuanDB_Destroy(db)
print("C interface from ctypes: every check held")
